// The results grid's popup menu and its commands: viewing and opening a file, renaming it,
// removing rows from the results (and their files to the trash), locating a file in the file
// manager, the check commands and the file's properties.
#include "ui/MainUnit.h"

#include "engine/DFinder.h"
#include "engine/Project.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"
#include "platform/FileOperations.h"
#include "toolkit/FileManager.h"
#include "toolkit/FilePropertiesForm.h"
#include "toolkit/NextGrid.h"
#include "toolkit/WaitCursor.h"
#include "ui/RenameFileUnit.h"

#include <QAction>
#include <QFont>
#include <QMenu>

#include <algorithm>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// The question of the check commands that may uncheck files checked by hand.
std::string ManualCheckQuestion(const std::string& what)
{
    return "You have checked some files manually.\r\nThis operation may uncheck some of "
           "them.\r\n\r\nAre you sure that you want to " +
        what + "?";
}

// At most this many failed files are named in the error box of "Delete from Disk...".
constexpr std::size_t NamedFailuresMost = 20;

// Takes the rows of the records out of the grid, keeping the others in order.
void RemoveRowsOf(TNextGrid& grid, const std::vector<TDImage*>& records)
{
    const std::unordered_set<const TDImage*> leaving(records.begin(), records.end());
    grid.RemoveRowsIf([&leaving](TDImage* image) { return leaving.count(image) != 0; });
}

// Frees the groups and every file in them; their rows must have left the grid.
void FreeGroups(TDFinder& finder, const std::vector<TDGroup*>& groups)
{
    for (TDGroup* group : groups) {
        // Copied: each removal takes the file out of the group's list.
        const std::vector<TDImage*> files = group->Items;
        for (TDImage* file : files) {
            finder.RemoveFile(file);
        }
        finder.Groups.Remove(group);
    }
}

} // namespace

void TMainForm::SetUpGridCommands()
{
    DupGridPopupMenu = new QMenu(this);
    DupGridPopupMenu->setObjectName(QStringLiteral("DupGridPopupMenu"));

    // Items are made in the menu's order; each is put on the grid too, so that its shortcut
    // works while the grid (and only the grid) has the focus.
    const auto item = [this](QMenu* menu, QAction*& action, const char* name, const char* caption,
                          const QList<QKeySequence>& keys, std::function<void()> handler) {
        action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        if (!keys.isEmpty()) {
            DupGrid->addAction(action);
        }
        connect(action, &QAction::triggered, this, [handler = std::move(handler)] {
            try {
                handler();
            } catch (const std::exception& error) {
                ShowErrorMessage(error.what());
            }
        });
    };
    const auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    QMenu* menu = DupGridPopupMenu;
    item(menu, OpenMenu, "OpenMenu", "View", {}, [this] { OpenMenuClick(); });
    QFont bold = OpenMenu->font();
    bold.setBold(true);
    OpenMenu->setFont(bold);
    menu->setDefaultAction(OpenMenu);
    item(menu, OpenShellMenu, "OpenShellMenu", "Open with Associated Program", {},
        [this] { OpenShellMenuClick(); });
    separator(menu, "N8");
    item(menu, RenameFileMenu, "RenameFileMenu", "Rename...", {QKeySequence(Qt::Key_F2)},
        [this] { RenameFileMenuClick(); });
    separator(menu, "N12");
    item(menu, RemoveFromListMenu, "RemoveFromListMenu", "Remove from List...",
        {QKeySequence(Qt::Key_Delete)}, [this] { RemoveFromListMenuClick(); });
    item(menu, RemoveGroupMenu, "RemoveGroupMenu", "Remove Group from List...", {},
        [this] { RemoveGroupMenuClick(); });
    separator(menu, "N16");
    item(menu, DeleteImageMenu, "DeleteImageMenu", "Delete from Disk...",
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete)}, [this] { DeleteImageMenuClick(); });
    separator(menu, "N4");
    item(menu, ExploreFolderMenu, "ExploreFolderMenu", "Locate in Explorer", {},
        [this] { ExploreFolderMenuClick(); });
    separator(menu, "N14");
    Check1 = menu->addMenu(QStringLiteral("Check"));
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->menuAction()->setObjectName(QStringLiteral("Check1Item"));
    item(Check1, CheckAllExceptExcluded, "CheckAllExceptExcluded", "All Except Excluded",
        {QKeySequence(Qt::CTRL | Qt::Key_E)}, [this] { CheckAllExceptExcludedClick(); });
    item(Check1, CheckSelectedMenu, "CheckSelectedMenu", "Selected",
        {QKeySequence(Qt::CTRL | Qt::Key_K)},
        [this] { CheckSelectedMenuClick(CheckSelectedMenu); });
    separator(Check1, "N17");
    item(Check1, CheckAllInCurrentFolder, "CheckAllInCurrentFolder", "All in This Folder", {},
        [this] { CheckAllInCurrentFolderClick(); });
    item(Check1, CheckAllInCurrentFolderandSubfoldersMenuClick,
        "CheckAllInCurrentFolderandSubfoldersMenuClick", "All in This Folder and Subfolders", {},
        [this] { CheckAllInCurrentFolderandSubfoldersMenuClickClick(); });
    item(menu, MenuInvertSelected, "MenuInvertSelected", "Invert Selected",
        {QKeySequence(Qt::CTRL | Qt::Key_I)}, [this] { MenuInvertSelectedClick(); });
    item(menu, UncheckSelectedMenu, "UncheckSelectedMenu", "Uncheck Selected",
        {QKeySequence(Qt::CTRL | Qt::Key_U)}, [this] { UncheckSelectedMenuClick(); });
    separator(menu, "N15");
    item(menu, PropertiesPopupMenu, "PropertiesPopupMenu", "Properties",
        {QKeySequence(Qt::ALT | Qt::Key_Enter), QKeySequence(Qt::ALT | Qt::Key_Return)},
        [this] { PropertiesPopupMenuClick(); });

    connect(DupGridPopupMenu, &QMenu::aboutToShow, this, &TMainForm::DupGridPopupMenuPopup);
    connect(DupGridPopupMenu, &QMenu::aboutToHide, this, [this] {
        // The items' shortcuts work whatever the menu showed; each command looks for a
        // selected row itself. Enabled only once the menu has gone: the item clicked runs
        // after this.
        QMetaObject::invokeMethod(
            this,
            [this] {
                for (QAction* action : DupGridPopupMenu->actions()) {
                    action->setEnabled(true);
                }
            },
            Qt::QueuedConnection);
    });
    connect(DupGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        DupGridPopupMenu->popup(DupGrid->viewport()->mapToGlobal(at));
    });
}

void TMainForm::DupGridPopupMenuPopup()
{
    const bool selected = DupGrid->SelectedRow() >= 0;
    for (QAction* action : DupGridPopupMenu->actions()) {
        if (!action->isSeparator()) {
            action->setEnabled(selected);
        }
    }
}

// ---- viewing and opening -----------------------------------------------------------------------

void TMainForm::OpenMenuClick()
{
    const std::int32_t row = DupGrid->SelectedRow();
    if (DupGrid->Record(row) == nullptr) {
        return;
    }
    DupGridCellDblClick(FileNameColumn, row);
}

void TMainForm::OpenShellMenuClick()
{
    const TDImage* image = DupGrid->Record(DupGrid->SelectedRow());
    if (image == nullptr) {
        return;
    }
    const std::string path = image->FullPath();
    // A program, or a desktop entry, runs when it is opened.
    if (OpensAsProgram(path) &&
        !ShowConfirmMessage(
            "This file is a program. Opening it runs it.\r\nDo you want to open it?", this)) {
        return;
    }
    OpenWithDefaultProgram(path);
}

void TMainForm::ExploreFolderMenuClick()
{
    const TDImage* image = DupGrid->Record(DupGrid->SelectedRow());
    if (image == nullptr) {
        return;
    }
    LocateInFileManager(image->FullPath());
}

void TMainForm::PropertiesPopupMenuClick()
{
    const TDImage* image = DupGrid->Record(DupGrid->SelectedRow());
    if (image == nullptr) {
        return;
    }
    const std::string path = image->FullPath();
    ShowPropertiesInFileManager(path, this, [this, path] { ShowFilePropertiesForm(path, this); });
}

// ---- renaming ----------------------------------------------------------------------------------

void TMainForm::RenameFileMenuClick()
{
    const std::int32_t row = DupGrid->SelectedRow();
    TDImage* image = DupGrid->Record(row);
    if (image == nullptr || DupGrid->SelectedRows().size() != 1) {
        return;
    }
    TRenameFileForm form(this);
    form.SetFile(image->FullPath());
    if (ExecDialog(&form) != QDialog::Accepted) {
        return;
    }
    // The preview lets go of the old name and shows the file under its new one.
    ClearPreview();
    image->SetFullPath(form.NewPath());
    DupGrid->Model().RefreshRows(row, row);
    UpdateCaption(true);
    DupGridSelectCell(FileNameColumn, row);
}

// ---- removing rows -----------------------------------------------------------------------------

void TMainForm::RemoveFromListMenuClick()
{
    if (DupGrid->SelectedRow() < 0 ||
        !ShowConfirmMessage("Do you want to remove the selected items from the list (no files "
                            "will be deleted)?",
            this)) {
        return;
    }
    RemoveSelectedRows(false);
}

void TMainForm::DeleteImageMenuClick()
{
    if (DupGrid->SelectedRow() < 0 ||
        !ShowConfirmMessage("Do you want to delete the selected file(s) from disk?", this)) {
        return;
    }
    RemoveSelectedRows(true);
}

void TMainForm::RemoveGroupMenuClick()
{
    if (Finder == nullptr || DupGrid->SelectedRow() < 0 ||
        !ShowConfirmMessage("Do you want to remove the selected item's group from the list (no "
                            "files will be deleted)?",
            this)) {
        return;
    }
    const std::int32_t selected = DupGrid->SelectedRow();
    std::vector<TDGroup*> groups;
    for (const std::int32_t row : DupGrid->SelectedRows()) {
        TDGroup* group = DupGrid->Record(row)->Group.load();
        if (group != nullptr && std::find(groups.begin(), groups.end(), group) == groups.end()) {
            groups.push_back(group);
        }
    }
    const std::unordered_set<const TDGroup*> doomed(groups.begin(), groups.end());
    {
        const TWaitCursor wait;
        // Nothing may keep the records that are freed here.
        ClearPreview();
        DupGrid->RemoveRowsIf(
            [&doomed](TDImage* image) { return doomed.count(image->Group.load()) != 0; });
        FreeGroups(*Finder, groups);
    }
    DupGrid->SelectRow(std::min(selected, DupGrid->RowCount() - 1));
    UpdateCheckedCounts();
    UpdateCaption(true);
}

void TMainForm::RemoveSelectedRows(bool deleteFiles)
{
    if (Finder == nullptr || DupGrid->SelectedRow() < 0) {
        return;
    }
    const std::int32_t selected = DupGrid->SelectedRow();
    // The records are collected before any row goes.
    std::vector<TDImage*> leaving;
    std::vector<std::string> failures;
    {
        const TWaitCursor wait;
        for (const std::int32_t row : DupGrid->SelectedRows()) {
            TDImage* image = DupGrid->Record(row);
            if (deleteFiles) {
                const std::string path = image->FullPath();
                if (const int code = platform::DeleteFileOrRecycle(path, true); code != 0) {
                    failures.push_back(path + ": " + platform::FileOperationErrorText(code));
                    continue;
                }
            }
            leaving.push_back(image);
        }
        if (!leaving.empty()) {
            ClearPreview();
            RemoveRowsOf(*DupGrid, leaving);
            // The records stay in the finder's file list, in no group.
            for (TDImage* image : leaving) {
                if (TDGroup* group = image->Group.load(); group != nullptr) {
                    std::erase(group->Items, image);
                    image->Group = nullptr;
                }
            }
            RemoveSingleFileGroups();
            DupGrid->SelectRow(std::min(selected, DupGrid->RowCount() - 1));
        }
    }
    if (!leaving.empty()) {
        UpdateCheckedCounts();
        UpdateCaption(true);
    }
    if (!failures.empty()) {
        std::string text = failures.size() == 1
            ? "This file could not be moved to the trash and stays in the list:\r\n\r\n"
            : "These files could not be moved to the trash and stay in the list:\r\n\r\n";
        for (std::size_t i = 0; i < failures.size() && i < NamedFailuresMost; ++i) {
            text += failures[i] + "\r\n";
        }
        if (failures.size() > NamedFailuresMost) {
            text += "... and " + std::to_string(failures.size() - NamedFailuresMost) +
                " more files.\r\n";
        }
        ShowErrorMessage(text, this);
    }
}

void TMainForm::RemoveSingleFileGroups()
{
    if (Finder == nullptr || !AppSettings.RemoveSingleFileGroups) {
        return;
    }
    std::vector<TDImage*> alone;
    std::vector<TDGroup*> groups;
    for (std::int32_t row = 0; row < DupGrid->RowCount(); ++row) {
        TDImage* image = DupGrid->Record(row);
        TDGroup* group = image->Group.load();
        if (group != nullptr && group->Count() == 1) {
            alone.push_back(image);
            groups.push_back(group);
        }
    }
    if (alone.empty()) {
        return;
    }
    // The files and their groups are freed: nothing may keep them.
    ClearPreview();
    RemoveRowsOf(*DupGrid, alone);
    FreeGroups(*Finder, groups);
}

// ---- checking ----------------------------------------------------------------------------------

bool TMainForm::SelectionHasManualCheck() const
{
    if (DupGrid->SelectedRow() < 0) {
        return false;
    }
    const std::vector<std::int32_t> rows = DupGrid->SelectedRows();
    return std::any_of(rows.begin(), rows.end(),
        [this](std::int32_t row) { return DupGrid->Record(row)->CheckState == 2; });
}

namespace {

// Gives the rows' records the states the rule says (a rule answering -1 leaves a record as
// it is); true when some state changed.
bool SetCheckStates(TNextGrid& grid, const std::vector<std::int32_t>& rows,
    const std::function<int(const TDImage&)>& rule)
{
    bool changed = false;
    for (const std::int32_t row : rows) {
        TDImage* image = grid.Record(row);
        const int state = rule(*image);
        if (state >= 0) {
            changed = changed || image->CheckState != state;
            image->CheckState = std::uint8_t(state);
        }
    }
    grid.RefreshChecks();
    return changed;
}

std::vector<std::int32_t> AllRows(const TNextGrid& grid)
{
    std::vector<std::int32_t> rows(std::size_t(grid.RowCount()));
    for (std::size_t row = 0; row < rows.size(); ++row) {
        rows[row] = std::int32_t(row);
    }
    return rows;
}

} // namespace

void TMainForm::MenuInvertSelectedClick()
{
    if (DupGrid->SelectedRow() < 0 ||
        (SelectionHasManualCheck() &&
            !ShowConfirmMessage(
                ManualCheckQuestion("invert the checked state of the selected files")))) {
        return;
    }
    SetCheckStates(*DupGrid, DupGrid->SelectedRows(),
        [](const TDImage& image) { return image.CheckState != 0 ? 0 : 2; });
    UpdateCaption(true);
    UpdateCheckedCounts();
}

void TMainForm::UncheckSelectedMenuClick()
{
    if (DupGrid->SelectedRow() < 0 ||
        (SelectionHasManualCheck() &&
            !ShowConfirmMessage(ManualCheckQuestion("uncheck the selected files")))) {
        return;
    }
    if (SetCheckStates(*DupGrid, DupGrid->SelectedRows(), [](const TDImage&) { return 0; })) {
        UpdateCaption(true);
    }
    UpdateCheckedCounts();
}

void TMainForm::CheckSelectedMenuClick(QObject* sender)
{
    std::vector<std::int32_t> rows;
    if (sender == nullptr) {
        rows = AllRows(*DupGrid);
    } else if (DupGrid->SelectedRow() >= 0) {
        rows = DupGrid->SelectedRows();
    } else {
        return;
    }
    if (SetCheckStates(*DupGrid, rows, [](const TDImage&) { return 2; })) {
        UpdateCaption(true);
    }
    UpdateCheckedCounts();
}

void TMainForm::CheckAllExceptExcludedClick()
{
    // Every row changes; whether to ask depends on the selected rows only.
    if (Finder == nullptr ||
        (SelectionHasManualCheck() &&
            !ShowConfirmMessage(ManualCheckQuestion("check all except the excluded files")))) {
        return;
    }
    SetCheckStates(*DupGrid, AllRows(*DupGrid), [](const TDImage& image) {
        const bool excluded = AppSettings.IsExcludedFromAutoCheck(image) ||
            Finder->IsInFlaggedFolder(image.Folder.Str(), 0);
        return excluded ? 0 : 2;
    });
    UpdateCaption(true);
    UpdateCheckedCounts();
}

void TMainForm::CheckAllInCurrentFolderClick()
{
    if (const TDImage* image = DupGrid->Record(DupGrid->SelectedRow()); image != nullptr) {
        CheckAllInFolder(image->Folder.Str(), false);
    }
}

void TMainForm::CheckAllInCurrentFolderandSubfoldersMenuClickClick()
{
    if (const TDImage* image = DupGrid->Record(DupGrid->SelectedRow()); image != nullptr) {
        CheckAllInFolder(image->Folder.Str(), true);
    }
}

void TMainForm::CheckAllInFolder(const std::string& folder, bool withSubfolders)
{
    SetCheckStates(*DupGrid, AllRows(*DupGrid), [&folder, withSubfolders](const TDImage& image) {
        const std::string& own = image.Folder.Str();
        const bool inside = withSubfolders ? PathStartsWith(own, folder) : SamePath(own, folder);
        return inside ? 2 : -1;
    });
    UpdateCaption(true);
    UpdateCheckedCounts();
}
