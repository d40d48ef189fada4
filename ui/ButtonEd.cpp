#include "ui/ButtonEd.h"

#include <QResizeEvent>
#include <QToolButton>

TCustomButtonEdit::TCustomButtonEdit(QWidget* parent)
    : QLineEdit(parent)
    , FButton(new QToolButton(this))
{
    FButton->setObjectName(QStringLiteral("Button"));
    FButton->setText(QStringLiteral("..."));
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->setCursor(Qt::ArrowCursor);
    FButton->setAccessibleName(tr("Browse"));
    connect(FButton, &QToolButton::clicked, this, [this] {
        DoButtonClick();
        setFocus(Qt::OtherFocusReason);
    });
    PlaceButton();
}

void TCustomButtonEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    PlaceButton();
}

void TCustomButtonEdit::PlaceButton()
{
    // With a frame the button sits one pixel inside it; without one it fills the height.
    const int flat = hasFrame() ? 1 : 0;
    const int side = std::max(height() - 2 * flat, 0);
    FButton->setGeometry(width() - side - flat, flat, side, side);
    setTextMargins(0, 0, side + 2, 0);
}

TButtonEdit::TButtonEdit(QWidget* parent)
    : TCustomButtonEdit(parent)
{ }

void TButtonEdit::DoButtonClick()
{
    Q_EMIT OnButtonClick();
}
