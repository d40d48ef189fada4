#pragma once

#include <QDoubleSpinBox>
#include <QPointer>
#include <QPushButton>

class QAction;

// A push button that can carry an action: it shows the action's text, icon, tool tip and
// enabled state, follows their changes, and a click triggers the action. Carrying another
// action (or none) drops the link to the previous one.
class TNxButton : public QPushButton {
    Q_OBJECT

public:
    explicit TNxButton(QWidget* parent = nullptr);

    void SetAction(QAction* action);
    QAction* Action() const { return FAction; }

private:
    void FollowAction();

    QPointer<QAction> FAction;
    QMetaObject::Connection FChanged;
};

// A number box with a fixed count of decimals, stepped by the arrows, the keys and the wheel;
// its range, step and decimals come from the form.
class TNxSpinEdit : public QDoubleSpinBox {
    Q_OBJECT

public:
    explicit TNxSpinEdit(QWidget* parent = nullptr);
};
