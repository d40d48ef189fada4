#pragma once

#include "toolkit/MessageBoxes.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QFileSystemModel;
class TFolderCheckProxy;
class TFolderListBox;
class TSettings;

namespace Ui {
class BrowseForFoldersForm;
}

// The picker's result from the checked folders: folders that are not existing directories
// are dropped; the rest are sorted by path components (so every folder comes right before
// the folders inside it) and a folder inside the one kept just before it is dropped, so a
// checked folder's checked subfolders do not come back as well. The result is ordered without
// regard to letter case first, then exactly, with duplicates dropped; folders are given
// without a trailing "/" (the root stays "/").
std::vector<std::string> ReduceCheckedFolders(std::vector<std::string> folders);

// The folder picker "Browse For Folders": the folder tree from "/" down, hidden folders
// included, with a check box at every folder, so several folders can be chosen at once; the
// selected folder is taken when nothing is checked. A folder typed into the edit is gone to
// with Enter or "Go To"; Enter never confirms the dialog, Esc cancels it.
//
// Its size and place are stored under the key "BrowseForm" when it closes and restored when
// it is made.
class TBrowseForFoldersForm : public QDialog {
    Q_OBJECT

public:
    // Opens on "/" with the home folder expanded and selected.
    explicit TBrowseForFoldersForm(QWidget* owner = nullptr);
    ~TBrowseForFoldersForm() override;

    // The Add Folder commands: opens the picker over the owner browsed to the initial folder
    // (when it names one), through the program's questions (ExecDialog). On OK the chosen
    // folders, in the picker's order, are put into folders and the answer is true.
    static bool Execute(
        QWidget* owner, const std::string& initialFolder, std::vector<std::string>& folders);

    // One folder only: no check boxes, the title as caption and as the line above the tree.
    void SetSingleFolder(const QString& title);
    // Shows only the folders inside root (an existing folder; anything else is ignored).
    void SetRootFolder(const std::string& root);

    // Browses the tree to the folder: expands the path to it and the folder itself, selects it
    // and focuses the tree. An empty path or one that is no folder leaves the tree as it is.
    void SelectFolder(const std::string& folder);
    // The result of OK (at least one folder), valid while the dialog lives.
    const std::vector<std::string>& SelectedFolders() const { return FFolderList; }

    // The tree's model: folders with their check marks (for the callers' tests).
    TFolderCheckProxy& CheckModel() const { return *FProxy; }
    // The selected folder's path, "" when none is selected.
    std::string SelectedPath() const;

    void OKButtonClick();
    // "Go To" and Enter: goes to the typed folder, or says that it does not exist.
    void GoToTypedFolder();

    // Every way of closing the dialog: the placement is stored first.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void VETChecked();
    void VETChange();
    std::vector<std::string> CheckedFolders() const;

    std::unique_ptr<Ui::BrowseForFoldersForm> FUi;
    QFileSystemModel* FFolders = nullptr;
    TFolderCheckProxy* FProxy = nullptr;
    std::vector<std::string> FFolderList;
    // The folder browsed to, kept in view while the folders above it load, until the user
    // works in the tree.
    std::string FKeepInView;
};

// The program's questions with this picker, for one folder, in place of a plain folder
// dialog (the target folder of moves and copies). Installed in place of TWidgetQuestions.
class TPickerQuestions : public TWidgetQuestions {
public:
    // The picker titled as given, owned by the main window, opened at the initial folder (else
    // the home folder), showing only the root's folders when a root is given. The chosen
    // folder with a trailing "/", or "" when cancelled. Off the GUI thread as TWidgetQuestions.
    std::string BrowseForFolder(
        const std::string& title, const std::string& root, const std::string& initial) override;
};

// The Add button of a folder list in a dialog (the quick check's and the filter's): the
// picker opens, owned by the dialog, at the list's selected folder, or at the last folder
// chosen (settings.LastFolder) when that still exists. Each folder it returns is appended
// with a trailing "/" unless the list holds it already, and the last one handled becomes
// settings.LastFolder. True when the picker was closed with OK.
bool AddFoldersFromPicker(QWidget* dialog, TFolderListBox& list, TSettings& settings);
