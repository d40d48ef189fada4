#pragma once

#include <QDialog>

#include <memory>

class TDateRow;
class TSettings;
class TSizeRow;

namespace Ui {
class ExcludeForm;
}

// The dialog "Exclude Files From Auto Check": the rules that keep files from being checked by
// the autocheck (extensions, sizes, dates, name words) in the options.
//
// Two ways of storing: the size and date rules go into the options the moment a control
// changes, whatever way the dialog closes later; the extension list, the name words and
// "Match full path" are stored by OK alone, which then saves every option. Cancel, Esc and the
// window's close store nothing more. New rules take effect at the next autocheck run.
class TExcludeForm : public QDialog {
    Q_OBJECT

public:
    // Filled from the settings at once; the dialog writes into them as described above.
    explicit TExcludeForm(TSettings& settings, QWidget* owner = nullptr);
    ~TExcludeForm() override;

    // The "Advanced..." command: opens the dialog on AppSettings over the owner, through the
    // program's questions (ExecDialog). True when it was closed with OK.
    static bool Execute(QWidget* owner);

    void AddButtonClick();
    void OKButtonClick();

private:
    void FormShow();
    void ConnectImmediateHandlers();

    std::unique_ptr<Ui::ExcludeForm> FUi;
    TSettings& FSettings;
    TSizeRow* FSmaller = nullptr;
    TSizeRow* FBigger = nullptr;
    TDateRow* FOlder = nullptr;
    TDateRow* FNewer = nullptr;
};
