#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class YesNoForm;
}

// A confirmation whose text may be too long for a message box: the text in a read-only,
// scrollable memo above the buttons "Yes" (modal result 6) and "No" (7). Caption "Confirm"; no
// close box, so only the two buttons (or Esc, which counts as No) end it.
class TYesNoForm : public QDialog {
    Q_OBJECT

public:
    enum TModalResult { mrYes = 6, mrNo = 7 };

    explicit TYesNoForm(QWidget* parent = nullptr);
    ~TYesNoForm() override;

    // The text shown; lines may end with CR LF or LF.
    void SetText(const std::string& text);
    std::string Text() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Centres the two buttons with 12 pixels between them.
    void FormResize();

    std::unique_ptr<Ui::YesNoForm> FUi;
};

// Shows the text in a TYesNoForm owned by owner through the program's questions
// (ExecDialog). True when the user answered Yes.
bool AskYesNo(const std::string& text, QWidget* owner);
