#pragma once

#include <QToolButton>

// A flat tool-bar button that looks like a link to another product: its picture beside its
// caption in bold navy type, no frame until the mouse is over it, and no tab stop (the Help
// menu offers the same commands to the keyboard).
class TLbButton : public QToolButton {
    Q_OBJECT

public:
    explicit TLbButton(QWidget* parent = nullptr);
};
