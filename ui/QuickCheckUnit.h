#pragma once

#include <QDialog>

#include <memory>

class QWidget;
class TDFinder;
class TDGroup;
class TDImage;
class TDateRow;
class TSettings;
class TSizeRow;
template<class T>
class TOwningList;

namespace Ui {
class QuickCheckForm;
}

// What the quick check does to the results: the main window implements it over its results
// grid and the finder.
class TQuickCheckTarget {
public:
    virtual ~TQuickCheckTarget() = default;

    // "Check All": every row of the results grid, selected or not, checked by hand.
    virtual void CheckAllRows() = 0;
    // "Uncheck All": every file unchecked, after the main window's confirmation when files
    // are checked by hand; the question is asked over the dialog.
    virtual void UncheckAllRows(QWidget* dialog) = 0;
    // The results whose check states the dialog sets itself; null when there are none.
    virtual TDFinder* Results() = 0;
    // After the dialog set check states: the grid is rebuilt from the records, every check
    // state kept and no rule applied, and the checked counts and the caption follow.
    virtual void ChecksChanged() = 0;
};

// Whether the file matches every quick-check criterion in use: the listed folders (the file
// lies in one of them, by whole path components), the checked extensions, the size limits
// with their units (in 64 bits), the date limits with their kinds, and the name words
// (against the name without its extension, or the full path with QuickMatchFullPath). With no
// criterion in use nothing matches.
bool QuickCheckMatches(const TDImage& file, const TSettings& settings);

// "Check All Except First in Group": in every group the first file unchecked, every other one
// checked by hand. Groups left without files are passed over.
void CheckAllExceptFirstInGroup(const TOwningList<TDGroup>& groups);

// Checks by hand (check) or unchecks every file of the groups that QuickCheckMatches.
void CheckMatchingFiles(const TOwningList<TDGroup>& groups, const TSettings& settings, bool check);

// The dialog "Quick Check/Uncheck": keeps the quick-check criteria in the options and checks
// or unchecks the results in the main window while it stays open.
//
// The size and date rules go into the options the moment a control changes; the folders,
// extensions, name words and "Match full path" are stored, and every option saved, however
// the dialog closes ("Close", Esc, the window's close). There is no cancel.
class TQuickCheckForm : public QDialog {
    Q_OBJECT

public:
    // Filled from the settings at once.
    TQuickCheckForm(TSettings& settings, TQuickCheckTarget& target, QWidget* owner = nullptr);
    ~TQuickCheckForm() override;

    // The "Quick Check" command: opens the dialog on AppSettings over the owner, through the
    // program's questions (ExecDialog).
    static void Execute(QWidget* owner, TQuickCheckTarget& target);

    void AddButtonClick();
    void AddFolderButtonClick();
    void RemoveFolderButtonClick();
    void CheckAllButtonClick();
    void CheckAllExceptFirstButtonClick();
    void UncheckAllButtonClick();
    void CheckButtonClick();
    void UncheckButtonClick();

    // Stores the folders, the checked extensions, the name words and "Match full path" into
    // the options; with save, every option is then saved.
    void StoreQuickCheckCriteria(bool save);

    // Every way of closing the dialog stores the criteria first.
    void done(int result) override;

private:
    void FormShow();
    void ConnectImmediateHandlers();
    void CheckMatching(bool check);

    std::unique_ptr<Ui::QuickCheckForm> FUi;
    TSettings& FSettings;
    TQuickCheckTarget& FTarget;
    TSizeRow* FSmaller = nullptr;
    TSizeRow* FBigger = nullptr;
    TDateRow* FOlder = nullptr;
    TDateRow* FNewer = nullptr;
};
