#include "toolkit/NxFlipPanel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>

TNxFlipPanel::TNxFlipPanel(QWidget* parent)
    : QWidget(parent)
{
    UpdateMargins();
}

void TNxFlipPanel::setTitle(const QString& title)
{
    FTitle = title;
    setAccessibleName(title);
    update();
}

int TNxFlipPanel::HeaderHeight() const
{
    QFont bold = font();
    bold.setBold(true);
    return QFontMetrics(bold).height() + 8;
}

void TNxFlipPanel::UpdateMargins()
{
    setContentsMargins(0, HeaderHeight(), 0, 0);
}

void TNxFlipPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        UpdateMargins();
    }
}

void TNxFlipPanel::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    const QRect header(0, 0, width(), HeaderHeight());
    const QPalette& colors = palette();
    QLinearGradient shade(header.topLeft(), header.bottomLeft());
    shade.setColorAt(0.0, colors.color(QPalette::Button).lighter(108));
    shade.setColorAt(1.0, colors.color(QPalette::Button).darker(106));
    painter.fillRect(header, shade);
    painter.setPen(colors.color(QPalette::Mid));
    painter.drawLine(header.bottomLeft(), header.bottomRight());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(
        colors.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(header.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, FTitle);
}
