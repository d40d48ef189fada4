#include "toolkit/NxControls.h"

#include <QAction>

TNxButton::TNxButton(QWidget* parent)
    : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, [this] {
        if (FAction && FAction->isEnabled()) {
            FAction->trigger();
        }
    });
}

void TNxButton::SetAction(QAction* action)
{
    disconnect(FChanged);
    FAction = action;
    if (action != nullptr) {
        FChanged = connect(action, &QAction::changed, this, &TNxButton::FollowAction);
        FollowAction();
    }
}

void TNxButton::FollowAction()
{
    if (!FAction) {
        return;
    }
    setText(FAction->iconText());
    setIcon(FAction->icon());
    setToolTip(FAction->toolTip());
    setEnabled(FAction->isEnabled());
}

TNxSpinEdit::TNxSpinEdit(QWidget* parent)
    : QDoubleSpinBox(parent)
{
    setAccelerated(true);
}
