#pragma once

#include <QLineEdit>

class QToolButton;

// An edit box with a small square "..." button inside its right edge; typed text never runs
// under the button. Clicking the button runs DoButtonClick and then gives the edit the
// keyboard focus. The button has no tab stop of its own; disabling the edit disables it too.
class TCustomButtonEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TCustomButtonEdit(QWidget* parent = nullptr);

    QToolButton* Button() const { return FButton; }

protected:
    virtual void DoButtonClick() = 0;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceButton();

    QToolButton* FButton;
};

// The edit box with the event of its button: OnButtonClick.
class TButtonEdit : public TCustomButtonEdit {
    Q_OBJECT

public:
    explicit TButtonEdit(QWidget* parent = nullptr);

Q_SIGNALS:
    void OnButtonClick();

protected:
    void DoButtonClick() override;
};
