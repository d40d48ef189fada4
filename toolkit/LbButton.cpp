#include "toolkit/LbButton.h"

TLbButton::TLbButton(QWidget* parent)
    : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setCursor(Qt::PointingHandCursor);
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    QPalette colors = palette();
    colors.setColor(QPalette::ButtonText, QColor(0x00, 0x00, 0x80));
    setPalette(colors);
}
