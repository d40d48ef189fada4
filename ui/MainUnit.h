#pragma once

#include "ui/ImgTools.h"
#include "ui/QuickCheckUnit.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QKeyEvent;
class QMenu;
class QProgressBar;
class QSplitter;
class QTimer;
class QToolButton;
class TDFinderThread;
class TDImage;
class TLbButton;
class TMostRecentFiles;
class TNextGrid;
class TPreviewForm;
class TPreviewImage;
class TPreviewNavigator;
class TProject;
class TTaskbarListProgress;
class TTrayIcon;
class TWhisperSplitter;
class TActionLink;

namespace Ui {
class TMainForm;
}

// The rule of a splitter's limits: a drag to a new size of the panel the splitter sizes is
// accepted when it shrinks the panel while the panel is at least shrinkFloor, or grows it
// while mayGrow holds. Staying at the same size is refused.
bool SplitterAccepts(int newSize, int currentSize, int shrinkFloor, bool mayGrow);

// The main window: the folder list and the scan options on the right, the results grid with
// the autocheck, Perform and preview areas on the left, the menus, the tool bar, the status
// bar with its progress bar, and the tray icon. It makes and frees the program's finder, file
// searcher and project, loads the options when it is created and saves them, with its
// placement, the grid layout and the recent files, when it closes.
//
// The implementation is split by concern: MainUnit.cpp (start-up, layout, closing, tray, drops,
// help and links), MainUnitFolders.cpp (folder list and scan options), and one file for each
// further command group. Everything here runs on the main thread.
class TMainForm : public QMainWindow, public TQuickCheckTarget {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- the form, start-up and frame (MainUnit.cpp) ---------------------------------------

    std::unique_ptr<Ui::TMainForm> ui;

    // Tool-bar buttons, made from the tool-bar table.
    QToolButton* NewScanToolButton = nullptr;
    QToolButton* OpenToolButton = nullptr;
    QToolButton* SaveToolButton = nullptr;
    QToolButton* AddFolderToolButton = nullptr;
    QToolButton* FilterToolButton = nullptr;
    QToolButton* StartScanToolButton = nullptr;
    QToolButton* PauseToolButton = nullptr;
    QToolButton* AutoCheckToolButton = nullptr;
    QToolButton* QuickCheckToolButton = nullptr;
    QToolButton* OptionsToolButton = nullptr;
    TLbButton* PCTRWButton = nullptr;
    TLbButton* SoundsieveButton = nullptr;

    // Tray icon and its menu.
    TTrayIcon* TrayIcon = nullptr;
    QMenu* TrayPopupMenu = nullptr;
    QAction* StartScanTrayMenu = nullptr;
    TActionLink* StartScanTrayLink = nullptr; // which action the tray's start item carries
    QAction* PauseTrayMenu = nullptr;
    QAction* RestoreTrayMenu = nullptr;
    QAction* ExitTrayMenu = nullptr;
    std::vector<QIcon> TrayImageList;

    // Run-time parts.
    TImageList ImageList16 {16};
    TImageList ImageList32 {32};
    TImageList DisabledImageList32 {32};
    QProgressBar* StatusProgressBar = nullptr;
    TTaskbarListProgress* TaskbarListProgress = nullptr;
    std::unique_ptr<TWhisperSplitter> WhisperSplitter;
    TMostRecentFiles* MRU = nullptr;
    std::unique_ptr<TProject> Project;
    // The results grid's cache of file icons: entry i of the extensions names icon i.
    TImageList FileIconList {16};
    std::vector<std::string> FileIconExtensions;
    // The progress timer of a scan (250 ms, off until a scan starts).
    QTimer* Timer = nullptr;

    void FormCreate();
    void FormShow();
    void WMAfterShow();
    void FormClose();
    void FormDestroy();

    // The caption: the title, the project's file name, and " *" when modified.
    void UpdateCaption(bool modified);

    // Minimising to the tray, and back.
    void WMSysCommandMinimize();
    void TrayIconDblClick();
    void menuTrayExitClick();
    // Adds the dropped folders to the folder list (files are ignored; nothing while scanning).
    void WMDropFiles(const std::vector<std::string>& paths);

    void VertSplitterCanResize(int& newSize, bool& accept);
    void HorzSplitterCanResize(int& newSize, bool& accept);
    void ScanSplitterCanResize(int& newSize, bool& accept);
    void StatusBarResize();

    void MenuHelpHelpClick();
    void MenuHelpGoToHomepageClick();
    void MenuHelpTellAFriendClick();
    void MenuHelpSupportClick();
    void MenuHelpFAQClick();
    void HelpFolderButtonClick();
    void PCTRWButtonClick();
    void SoundsieveButtonClick();
    void ActionOptionsExecute();
    void MenuHelpAboutClick();
    void MenuFileExitClick();

    // The recent-files list's events.
    void MRUMenuClick(QObject* sender, const std::string& fileName);
    void MRUFileNotExist(QObject* sender, const std::string& fileName);

    // True while a scan runs (its thread exists).
    bool IsScanning() const;

    // ---- folder list and scan options (MainUnitFolders.cpp) --------------------------------

    void AddFolderButtonClick();
    void RemoveFolderButtonClick();
    void FoldersGridKeyDown(int key);
    void FoldersGridItemChanged(int row, int column);
    void ScanSubFoldersClick();
    void CompareMethodChange();
    void SimilaritySpinEditChange();
    void ScanEqualExtOnlyClick();
    void DoNotCompareExtClick();
    void AfterScanChange();
    void FilterToolButtonClick();
    // Appends a folder (ending with "/") to the list and the finder with flags 0, or selects
    // its row when it is listed already. Returns the row.
    int AddFolderToList(const std::string& folder);
    // Appends a row for the folder showing its flag bits, without touching the finder.
    int AppendFolderRow(const std::string& folder, std::int32_t flags);
    // Shows the filter's on or off state on its tool button.
    void ShowFilterState();

    // ---- scan control and progress (MainUnitScan.cpp) ---------------------------------------

    // The running scan, or null. The window owns it: the scan thread's end posts a queued call
    // to the window, which joins and frees the object before ScanFinished runs.
    std::unique_ptr<TDFinderThread> ScanThread;

    // New Project: empties the folder list, the results and the project, switches the filter
    // off and opens the folder picker.
    void ActionNewScanExecute();
    // Start: refuses with a message when there is nothing to scan or the user declines, else
    // starts the scan on its thread with the progress timer.
    void ActionStartScanExecute();
    // Stop (also Esc): after the user's consent the running, pausing or paused scan ends at its
    // next test, keeping what it found.
    void ActionStopScanExecute();
    // Pause asks the scan to hold ("Pausing..." until the scan thread reports that it is held,
    // then "Resume"); Resume lets it go on.
    void PauseToolButtonClick();
    // Enables the window's controls for an idle window, or disables what a running scan must
    // not be disturbed by.
    void EnableScanControls(bool enable);
    // Whether the window may close; a running scan is asked about first, then stopped and
    // joined, and its completion does not run.
    void FormCloseQuery(bool& canClose);
    // The 250 ms progress display: status text, progress bar, tray hint and caption.
    void TimerTimer();
    // True from a Pause until the scan thread reports that it is held.
    bool IsPausing() const { return FPausing; }

    // ---- scan completion (MainUnitCompletion.cpp) -------------------------------------------

    // What ended: a scan, with the error text it kept when it failed (empty when it finished
    // or was stopped).
    struct TScanEnd {
        std::string ErrorText;
    };
    // The results are shown and the after-scan action carried out. sender is the scan that
    // ended, or null for results that were put into the finder otherwise (an opened project):
    // then only the grid and the folder list are filled, without messages, autosave or
    // dialogs.
    void ScanFinished(const TScanEnd* sender);
    // The autosave's file name in the Documents folder.
    static constexpr const char* AutoSaveFileName = "TWRK_AutoSave.twrk";

    // ---- results grid and autocheck (MainUnitResults.cpp) ----------------------------------

    // The results grid (the form's DupGrid).
    TNextGrid* DupGrid = nullptr;

    // Who asks for the rows to be rebuilt: a refill keeps every check state; the autocheck
    // buttons and a scan's completion reset them and apply the autocheck rule (the buttons
    // refuse when every listed folder is excluded from it).
    enum class TAutoCheckCaller { accRefill, accButton, accScan };
    // Rebuilds the grid's rows from the finder's groups, after applying the autocheck rule for
    // the buttons and the scan.
    void DoAutoSelect2(TAutoCheckCaller caller);
    // The caption above the grid: the checked files and all files in groups, with sizes.
    void UpdateCheckedCounts();
    // The options' column mask over the grid's columns.
    void ApplyColumnVisibility();
    // Sorts the rows again as the grid is sorted (a scan's completion).
    void ResortResults();
    // The user changed check states in the grid.
    void DupGridChange(int column, int row);
    // A new current row, and a double click or Enter on a row: the preview's place.
    void DupGridSelectCell(int column, int row);
    void DupGridCellDblClick(int column, int row);
    // A header click with the groups kept together: the finder's groups are sorted.
    void DupGridAfterSort(int column, bool descending);
    // The keys the window sees before the focused control: Esc stops the scan, "U" unchecks
    // the selected row's group. The key goes on to the control.
    void FormKeyPress(const QKeyEvent& key);
    void AutoCheckComboChange();
    void DateTypeChange();
    // "Uncheck All"; sender is the window the question is asked over (null: this one).
    void ClearButtonClick(QWidget* sender = nullptr);
    void AutoAdvancedClick();
    void QuickCheckToolButtonClick();
    // Lets the preview let go of the file it shows; called before anything frees records.
    void ClearPreview();
    // The preview pane in the " Preview " box, and the preview window (hidden between uses;
    // the grid's double click and Enter, and a click on the pane, show it).
    TPreviewImage* PreviewImage = nullptr;
    TPreviewForm* PreviewForm = nullptr;
    // Shows the preview window modally on the file of the grid's row, which becomes the
    // selected row: the window walks the grid from there.
    void ShowPreviewWindow(std::int32_t row);
    // A click on the preview pane's picture: the preview window on the file the pane shows,
    // when that file's row is still in the grid.
    void PreviewImageClick();
    // Until the user sizes a column (and while no layout is stored), the date columns fit
    // their dates and the file name and folder columns share the grid's spare width.
    void FitGridColumns();
    bool AutoFitGridColumns() const { return FAutoFitColumns; }

    // What the quick check dialog does to the results.
    void CheckAllRows() override;
    void UncheckAllRows(QWidget* dialog) override;
    TDFinder* Results() override;
    void ChecksChanged() override;

    // ---- project commands (MainUnitProject.cpp) ----------------------------------------------

    void ActionSaveProjectExecute();
    void ActionSaveAsProjectExecute();
    void ActionOpenProjectExecute();
    // "Export...": the results to an XML or CSV file the user names.
    void MenuFileExportClick();
    // Opens a project file into the results, after the user's consent when results are shown.
    // False, with everything as it was, when declined or when the file cannot be read.
    bool OpenProjectFile(const std::string& fileName);
    // The command line's export: every target of the ";"-separated list; each failure is
    // written to the standard error stream. False when some target failed.
    bool ExportToFiles(const std::string& list);
    // At a scan's end: the export that "-exp" asks for, and the program's end that "-s" asks
    // for (with a failure status when the export failed).
    void ProcessCommandLine();
    // Opens the most recent project when the options ask for it (at the first showing).
    void LoadLastProjectAtStart();

    // ---- Perform (MainUnitPerform.cpp) -------------------------------------------------------

    // "Perform": the checks and questions, the action on the checked files in the
    // file-operation dialog, then the results brought up to date: after anything but a copy
    // the grid is refilled from the groups left, every check state as the dialog left it.
    void PerformActionButtonClick();
    void PerformActionComboBoxChange();
    // The target folder edit's "..." button: the folder picker.
    void MoveToFolderButtonClick();
    // The target folder as the user types it, and when the edit loses the focus: taken as it
    // stands (a relative folder is refused when Perform runs).
    void MoveToFolderChange();
    void MoveToFolderExit();
    void KeepFolderStructureClick();
    void DeleteEmptyFoldersClick();
    // True while the file-operation dialog runs (the window does not close then).
    bool IsPerforming() const { return FPerforming; }

    // ---- results grid commands (MainUnitGridCommands.cpp) -----------------------------------

    // The grid's popup menu, its items and its "Check" submenu; the shortcuts act while the
    // grid has the focus.
    QMenu* DupGridPopupMenu = nullptr;
    QAction* OpenMenu = nullptr;
    QAction* OpenShellMenu = nullptr;
    QAction* RenameFileMenu = nullptr;
    QAction* RemoveFromListMenu = nullptr;
    QAction* RemoveGroupMenu = nullptr;
    QAction* DeleteImageMenu = nullptr;
    QAction* ExploreFolderMenu = nullptr;
    QMenu* Check1 = nullptr;
    QAction* CheckAllExceptExcluded = nullptr;
    QAction* CheckSelectedMenu = nullptr;
    QAction* CheckAllInCurrentFolder = nullptr;
    QAction* CheckAllInCurrentFolderandSubfoldersMenuClick = nullptr;
    QAction* MenuInvertSelected = nullptr;
    QAction* UncheckSelectedMenu = nullptr;
    QAction* PropertiesPopupMenu = nullptr;

    // Makes the popup menu and puts its shortcuts on the grid.
    void SetUpGridCommands();
    // The menu opens: its top-level items are enabled exactly when a row is selected (and
    // all enabled again once it closes, so the shortcuts keep working).
    void DupGridPopupMenuPopup();

    // Each command acts on the selected row (or rows) and does nothing when none is.
    // "View": the preview window on the selected row.
    void OpenMenuClick();
    // "Open with Associated Program": the desktop's program for the file; a file that is a
    // program itself is opened only after the user agrees.
    void OpenShellMenuClick();
    // "Rename...": exactly one row selected; the rename dialog, then the record, the row and
    // the preview follow the new name.
    void RenameFileMenuClick();
    // "Remove from List..." and "Remove Group from List..." (after the user's consent): the
    // rows, or every row of their groups, leave the results; no file is touched.
    void RemoveFromListMenuClick();
    void RemoveGroupMenuClick();
    // "Delete from Disk...": after the user's consent the files go to the trash; the rows of
    // those that went leave the results, the others stay and one error box names them.
    void DeleteImageMenuClick();
    // "Locate in Explorer": the file manager shows the file in its folder (or the folder opens).
    void ExploreFolderMenuClick();
    // The check commands: they set states 2 or 0 in the records and the grid, update the
    // counts and mark the project modified (some only when a state changed).
    void CheckAllExceptExcludedClick();
    // "Selected" (sender: the menu item), or every row (no sender: the quick check's "Check
    // All").
    void CheckSelectedMenuClick(QObject* sender);
    void CheckAllInCurrentFolderClick();
    void CheckAllInCurrentFolderandSubfoldersMenuClickClick();
    void MenuInvertSelectedClick();
    void UncheckSelectedMenuClick();
    // "Properties": the file manager's properties of the file, else a window of our own.
    void PropertiesPopupMenuClick();

    // The selected rows leave the results: with deleteFiles only those whose file went to
    // the trash. Removed records stay in the finder's file list with no group. Then the groups
    // left with one file go too (RemoveSingleFileGroups), and the row at the old selected
    // index is selected.
    void RemoveSelectedRows(bool deleteFiles);
    // When the options ask for it: the rows of groups that hold exactly one file leave the
    // grid, and those groups and files are freed.
    void RemoveSingleFileGroups();
    // True when a row is selected and some selected row's file is checked by hand.
    bool SelectionHasManualCheck() const;
    // Checks (by hand) every row whose file lies in the folder, or with withSubfolders also
    // below it; folders compare exactly and by whole components.
    void CheckAllInFolder(const std::string& folder, bool withSubfolders);

protected:
    // Starts the scan thread; false when it could not be started.
    virtual bool StartScanThread(TDFinderThread& thread);
    // The error text the scan thread kept when its scan failed; empty when it finished or was
    // stopped.
    virtual std::string ScanThreadErrorText(const TDFinderThread& thread) const;
    // Ends the program's event loop with the exit status ("-s" on the command line).
    virtual void TerminateApplication(int exitCode);

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUpToolBar();
    void SetUpTray();
    void SetUpStatusBar();
    void SetUpSplitters();
    void SetUpFoldersGrid();
    void SetUpResultsGrid();
    void SetUpPreviewWindow();
    void ConnectScanHandlers();
    void ConnectProjectHandlers();
    void ConnectPerformHandlers();
    void ApplyImages();
    void ConnectHandlers();
    void LoadControlsFromOptions();
    // A splitter drag that breaks the limits is taken back.
    void CheckSplitterMove(QSplitter* splitter);
    void FitRightPanel();

    // Scan control: the queued end of the scan of one start (the serial tells a stale call).
    void ScanThreadEnded(std::uint64_t serial);
    // The pause has taken hold: the controls read "Resume".
    void PauseTaken();
    // Puts the start action on the start buttons, or the stop action while a scan runs.
    void ShowStartOrStop(bool scanning);
    // Shows the pause button and tray item as "Pause" or "Resume".
    void ShowPauseOrResume(bool paused);
    // The progress bar in its normal style at the position (range 0 to 100).
    void ResetProgressBar(int position);
    // The window's state of an idle window after a scan (or a failed start).
    void ReturnToIdle();
    // Saves what a close saves (grid layout, placement, options, recent files); the parts
    // that failed are named in failed.
    void SaveClosingState(std::vector<std::string>& failed);
    // The folder list shows the finder's folders with their flags.
    void FillFolderList();
    // The busy display of a long step (marquee bar, wait cursor, the status text) and back.
    void ShowBusy(const QString& text);
    void EndBusy();
    // Runs a step that writes or reads a file with the busy display; false with the error
    // text when it failed (or raised).
    bool RunBusy(
        const QString& text, const std::function<bool(std::string&)>& step, std::string& errorText);
    // Sees every key of the application first and hands the window's to FormKeyPress.
    QObject* FKeyPreview = nullptr;
    // The results grid as the preview window walks it.
    std::unique_ptr<TPreviewNavigator> FGridNavigator;

    bool FAutoFitColumns = true;
    bool FFittingColumns = false;
    std::uint64_t FScanSerial = 0;
    bool FPausing = false;
    bool FFinishingScan = false;
    bool FFirstShowDone = false;
    bool FPerforming = false;

    bool FClosed = false;
    bool FWidthsFitted = false;
    // The panel sizes of each splitter that its limits last accepted.
    std::map<QSplitter*, QList<int>> FAcceptedSizes;
};
