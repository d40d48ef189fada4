#include "ui/ZYStatusBar.h"

#include <QLabel>
#include <QResizeEvent>

TZYStatusBar::TZYStatusBar(QWidget* parent)
    : QStatusBar(parent)
{
    setSizeGripEnabled(true);
    setMinimumHeight(fontMetrics().height() + 12);
}

int TZYStatusBar::AddPanel(int width, const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("Panel%1").arg(FPanels.size()));
    label->setTextFormat(Qt::PlainText);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    label->setIndent(4);
    label->show();
    FPanels.push_back({label, width});
    LayOutPanels();
    return int(FPanels.size()) - 1;
}

QString TZYStatusBar::PanelText(int index) const
{
    return PanelLabel(index) != nullptr ? PanelLabel(index)->text() : QString();
}

void TZYStatusBar::SetPanelText(int index, const QString& text)
{
    if (QLabel* label = PanelLabel(index)) {
        label->setText(text);
        label->setAccessibleName(text);
    }
}

int TZYStatusBar::PanelWidth(int index) const
{
    return index >= 0 && index < PanelCount() ? FPanels[std::size_t(index)].Width : 0;
}

void TZYStatusBar::SetPanelWidth(int index, int width)
{
    if (index >= 0 && index < PanelCount()) {
        FPanels[std::size_t(index)].Width = std::max(width, 0);
        LayOutPanels();
    }
}

int TZYStatusBar::PanelLeft(int index) const
{
    int left = 0;
    for (int k = 0; k < index && k < PanelCount(); ++k) {
        left += FPanels[std::size_t(k)].Width;
    }
    return left;
}

QLabel* TZYStatusBar::PanelLabel(int index) const
{
    return index >= 0 && index < PanelCount() ? FPanels[std::size_t(index)].Label : nullptr;
}

void TZYStatusBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    Q_EMIT Resized();
    LayOutPanels();
}

void TZYStatusBar::LayOutPanels()
{
    int left = 0;
    for (const TPanel& panel : FPanels) {
        panel.Label->setGeometry(left, 1, panel.Width - 2, std::max(height() - 2, 0));
        left += panel.Width;
    }
}
