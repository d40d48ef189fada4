#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

class QAction;

// Makes a menu item carry an action, as a button can: the item shows the action's text, icon,
// tool tip and enabled state, follows their changes, and choosing the item triggers the
// action. The link belongs to the item; carrying another action drops the previous link.
class TActionLink : public QObject {
    Q_OBJECT

public:
    explicit TActionLink(QAction* item);

    void SetAction(QAction* action);
    QAction* Action() const { return FAction; }

private:
    void FollowAction();

    QAction* FItem;
    QPointer<QAction> FAction;
    QMetaObject::Connection FChanged;
};
