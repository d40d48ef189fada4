#include "toolkit/ActionLink.h"

#include <QAction>

TActionLink::TActionLink(QAction* item)
    : QObject(item)
    , FItem(item)
{
    connect(item, &QAction::triggered, this, [this] {
        if (FAction && FAction->isEnabled()) {
            FAction->trigger();
        }
    });
}

void TActionLink::SetAction(QAction* action)
{
    disconnect(FChanged);
    FAction = action;
    if (action != nullptr) {
        FChanged = connect(action, &QAction::changed, this, &TActionLink::FollowAction);
        FollowAction();
    }
}

void TActionLink::FollowAction()
{
    if (!FAction) {
        return;
    }
    FItem->setText(FAction->text());
    FItem->setIcon(FAction->icon());
    FItem->setToolTip(FAction->toolTip());
    FItem->setEnabled(FAction->isEnabled());
}
