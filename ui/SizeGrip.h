#pragma once

#include <QSizeGrip>

// The sizing corner of a resizable dialog: a grip of fixed size that keeps to the bottom-right
// corner of the widget it is put on (its parent), whatever that widget's size, and resizes
// the window it belongs to. It shows the diagonal sizing cursor.
class TSizeGrip : public QSizeGrip {
    Q_OBJECT

public:
    // parent: the widget whose bottom-right corner the grip keeps to.
    explicit TSizeGrip(QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void KeepInCorner();
};
