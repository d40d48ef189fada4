#pragma once

#include "ui/ImgTools.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QProgressBar;
class QSplitter;
class QTimer;
class QToolButton;
class TDFinderThread;
class TLbButton;
class TMostRecentFiles;
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
class TMainForm : public QMainWindow {
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
    // Shows the filter's on or off state on its tool button.
    void ShowFilterState();

    // ---- scan control and progress (MainUnitScan.cpp) ---------------------------------------

    std::unique_ptr<TDFinderThread> ScanThread;
    // Whether the window may close; a running scan is asked about first.
    void FormCloseQuery(bool& canClose);

    // ---- scan completion (MainUnitScan.cpp) -------------------------------------------------

    // ---- results grid and autocheck (MainUnitResults.cpp) ----------------------------------

    // Shows the results grid's columns 1 to 8 as bits 1 to 8 of the options' column mask say
    // (the check-box column always shows).
    void ApplyColumnVisibility();

    // ---- project commands (MainUnitProject.cpp) ----------------------------------------------

    // ---- Perform (MainUnitPerform.cpp) -------------------------------------------------------

    // ---- results grid commands (MainUnitGridCommands.cpp) -----------------------------------

protected:
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
    void SetUpResultsGridColumns();
    void ApplyImages();
    void ConnectHandlers();
    void LoadControlsFromOptions();
    // A splitter drag that breaks the limits is taken back.
    void CheckSplitterMove(QSplitter* splitter);
    void FitRightPanel();

    bool FClosed = false;
    bool FWidthsFitted = false;
    // The panel sizes of each splitter that its limits last accepted.
    std::map<QSplitter*, QList<int>> FAcceptedSizes;
};
