#include "ui/MainUnit.h"

#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/FindFile.h"
#include "engine/Project.h"
#include "engine/Questions.h"
#include "engine/RegistryAccess.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYGlobals.h"
#include "engine/ZYUtils.h"
#include "platform/PathText.h"
#include "toolkit/AccessibleNames.h"
#include "toolkit/ActionLink.h"
#include "toolkit/FormPlacement.h"
#include "toolkit/GridLayout.h"
#include "toolkit/HelpLinks.h"
#include "toolkit/LauncherProgress.h"
#include "toolkit/LbButton.h"
#include "toolkit/NextGrid.h"
#include "toolkit/NxControls.h"
#include "toolkit/ProgramIcons.h"
#include "toolkit/TrayIcon.h"
#include "ui/AboutUnit.h"
#include "ui/MruUnit.h"
#include "ui/OptionsFormUnit.h"
#include "ui/PreviewFormUnit.h"
#include "ui/PreviewImage.h"
#include "ui/UWhisperSplitter.h"
#include "ui/ZYStatusBar.h"
#include "ui_MainUnit.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QShowEvent>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <sys/stat.h>

#include <exception>

namespace {

// The key of the results grid's layout, below the registry root.
const std::string GridLayoutSection = "Grid";
const std::string MainFormName = "MainForm";

// Sizes of the window's parts as the form has them.
constexpr int RightPanelWidth = 280;
constexpr int BottomPanelHeight = 220;
constexpr int ScanPanelHeight = 260;
constexpr int ProgressPanelWidth = 380;
constexpr int MessagePanelWidth = 500;

// Images of the 32-pixel list, by their place in it.
enum TImage32 : int {
    i32Stop,
    i32Info,
    i32Help,
    i32New,
    i32Open,
    i32Save,
    i32Settings,
    i32Play,
    i32Auto,
    i32Search,
    i32AddFolder,
    i32Filter,
    i32Quick,
    i32Pause,
};

// Images of the 16-pixel list, by their place in it.
enum TImage16 : int {
    i16Help,
    i16Mail,
    i16Info,
    i16Tell,
    i16New,
    i16Open,
    i16Lock,
    i16Save,
    i16Settings,
    i16Home,
    i16None = -1,
};

const char* const Images16[] = {"P_HELP", "P_MAIL", "P_INFO", "P_TELL", "P_NEW", "P_OPEN", "P_LOCK",
    "P_SAVE", "P_SETTINGS", "P_HOME"};
const char* const Images32[] = {"P_STOP", "P_INFO", "P_HELP", "P_NEW", "P_OPEN", "P_SAVE",
    "P_SETTINGS", "P_PLAY", "P_AUTO", "P_SEARCH", "P_ADD_FOLDER", "P_FILTER", "P_QUICK", "P_PAUSE"};

// The hints of the folder list's column headers.
const QString ExcludeColumnHint =
    QStringLiteral("Exclude from \"Auto-check\"\nItems in this folder will not be marked\n"
                   "when \"Auto-check\" feature is used.");
const QString SelfScanColumnHint =
    QStringLiteral("Disable \"Self-scan\"\nDo not compare the items inside this folder with each "
                   "other.\nCompare them only with those in other folders.");
const QString FolderColumnHint = QStringLiteral("List of folders to be scanned.");

bool IsFolder(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Runs a part of the closing on its own: a failure (or an exception) is noted, and the
// other parts still run.
template<class TPart>
void SaveOnItsOwn(std::vector<std::string>& failed, const char* what, TPart part)
{
    bool saved = false;
    try {
        saved = part();
    } catch (const std::exception&) {
        saved = false;
    }
    if (!saved) {
        failed.emplace_back(what);
    }
}

} // namespace

bool SplitterAccepts(int newSize, int currentSize, int shrinkFloor, bool mayGrow)
{
    return (newSize < currentSize && currentSize >= shrinkFloor) ||
        (newSize > currentSize && mayGrow);
}

// ---- construction ------------------------------------------------------------------------------

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::TMainForm>())
{
    ui->setupUi(this);
    setWindowIcon(MainIcon());
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(250);
    TaskbarListProgress = new TTaskbarListProgress(this);

    MRU = new TMostRecentFiles(this);
    MRU->setObjectName(QStringLiteral("MRU"));
    MRU->SetMaxFiles(5);
    MRU->SetShowFullPath(true);
    MRU->SetMenuPosition(0);
    MRU->SetOwnerMenuItem(ui->MenuFileReopen);
    MRU->RemoveMissingFiles = false;
    MRU->OnMenuClick = [this](QObject* sender, const std::string& name) {
        MRUMenuClick(sender, name);
    };
    MRU->OnFileNotExist = [this](QObject* sender, const std::string& name) {
        MRUFileNotExist(sender, name);
    };

    SetUpToolBar();
    SetUpTray();
    SetUpStatusBar();
    SetUpSplitters();
    SetUpFoldersGrid();
    SetUpResultsGrid();
    ConnectHandlers();
    ConnectScanHandlers();
    ConnectProjectHandlers();
    ConnectPerformHandlers();
    FormCreate();
    SetUpPreviewWindow();
}

TMainForm::~TMainForm()
{
    // A window destroyed without closing (never shown) still gives back what it made.
    if (!FClosed) {
        if (ScanThread) {
            ScanThread->DetachOnTerminate();
            ScanAborted = true;
            ScanThread.reset();
            ScanAborted = false;
        }
        DupGrid->ClearRows();
        ClearPreview();
        delete Finder;
        Finder = nullptr;
        delete FileSearcher;
        FileSearcher = nullptr;
    }
    FormDestroy();
}

void TMainForm::SetUpToolBar()
{
    struct TButton {
        QToolButton** Button;
        const char* Name;
        QAction* Action; // the action it carries, or none
        const char* Caption;
        const char* Hint;
        bool Check;
        bool Enabled;
    };
    const TButton buttons[] = {
        {&NewScanToolButton, "NewScanToolButton", ui->ActionNewScan, nullptr, nullptr, false, true},
        {&OpenToolButton, "OpenToolButton", ui->ActionOpenProject, nullptr, nullptr, false, true},
        {&SaveToolButton, "SaveToolButton", ui->ActionSaveProject, nullptr, nullptr, false, true},
        {nullptr, nullptr, nullptr, nullptr, nullptr, false, true},
        {&AddFolderToolButton, "AddFolderToolButton", nullptr, "Add Folder", nullptr, false, true},
        {&FilterToolButton, "FilterToolButton", nullptr, "Filter", nullptr, true, true},
        {nullptr, nullptr, nullptr, nullptr, nullptr, false, true},
        {&StartScanToolButton, "StartScanToolButton", ui->ActionStartScan, nullptr, nullptr, false,
            true},
        {&PauseToolButton, "PauseToolButton", nullptr, "Pause", nullptr, false, false},
        {nullptr, nullptr, nullptr, nullptr, nullptr, false, true},
        {&AutoCheckToolButton, "AutoCheckToolButton", nullptr, "Auto Check",
            "Auto Check Duplicates", false, false},
        {&QuickCheckToolButton, "QuickCheckToolButton", nullptr, "Quick Check", nullptr, false,
            false},
        {nullptr, nullptr, nullptr, nullptr, nullptr, false, true},
        {&OptionsToolButton, "OptionsToolButton", ui->ActionOptions, nullptr, nullptr, false, true},
        {nullptr, nullptr, nullptr, nullptr, nullptr, false, true},
    };
    QToolBar* bar = ui->ToolBar;
    for (const TButton& row : buttons) {
        if (row.Button == nullptr) {
            bar->addSeparator();
            continue;
        }
        auto* button = new QToolButton(bar);
        button->setObjectName(QString::fromLatin1(row.Name));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIconSize(QSize(32, 32));
        button->setMinimumSize(70, 52);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::TabFocus);
        if (row.Action != nullptr) {
            button->setDefaultAction(row.Action);
        } else {
            button->setText(QString::fromLatin1(row.Caption));
            button->setToolTip(QString::fromLatin1(row.Hint ? row.Hint : row.Caption));
            button->setCheckable(row.Check);
            button->setEnabled(row.Enabled);
        }
        bar->addWidget(button);
        *row.Button = button;
    }
    OptionsToolButton->setText(QStringLiteral("Options"));

    // The links to the two other products.
    auto makeLink = [bar](const char* name, const char* caption) {
        auto* link = new TLbButton(bar);
        link->setObjectName(QString::fromLatin1(name));
        link->setText(QString::fromLatin1(caption));
        link->setIconSize(QSize(32, 32));
        link->setMinimumSize(140, 52);
        bar->addWidget(link);
        return link;
    };
    PCTRWButton = makeLink("PCTRWButton", "Similar Images");
    SoundsieveButton = makeLink("SoundsieveButton", "  Soundsieve");
}

void TMainForm::SetUpTray()
{
    TrayIcon = new TTrayIcon(this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->SetAnimateInterval(200);
    TrayPopupMenu = new QMenu(this);
    TrayPopupMenu->setObjectName(QStringLiteral("TrayPopupMenu"));
    StartScanTrayMenu = TrayPopupMenu->addAction(QString());
    StartScanTrayMenu->setObjectName(QStringLiteral("StartScanTrayMenu"));
    StartScanTrayLink = new TActionLink(StartScanTrayMenu);
    StartScanTrayLink->SetAction(ui->ActionStartScan);
    PauseTrayMenu = TrayPopupMenu->addAction(QStringLiteral("Pause"));
    PauseTrayMenu->setObjectName(QStringLiteral("PauseTrayMenu"));
    PauseTrayMenu->setToolTip(QStringLiteral("Pause"));
    PauseTrayMenu->setEnabled(false);
    TrayPopupMenu->addSeparator();
    RestoreTrayMenu = TrayPopupMenu->addAction(QStringLiteral("Restore"));
    RestoreTrayMenu->setObjectName(QStringLiteral("RestoreTrayMenu"));
    TrayPopupMenu->addSeparator();
    ExitTrayMenu = TrayPopupMenu->addAction(QStringLiteral("Exit"));
    ExitTrayMenu->setObjectName(QStringLiteral("ExitTrayMenu"));
    TrayIcon->SetPopupMenu(TrayPopupMenu);
    TrayImageList = MakeTrayAnimationFrames(MainIcon(), 8);
    TrayIcon->SetFrames(TrayImageList);
}

void TMainForm::SetUpStatusBar()
{
    TZYStatusBar* bar = ui->StatusBar;
    bar->AddPanel(MessagePanelWidth);
    bar->AddPanel(ProgressPanelWidth, QStringLiteral("Progress:"));
}

void TMainForm::SetUpSplitters()
{
    // The right and bottom panels keep their size when the window grows; the grid takes it.
    ui->VertSplitter->setStretchFactor(0, 1);
    ui->VertSplitter->setStretchFactor(1, 0);
    ui->VertSplitter->setSizes({width() - RightPanelWidth, RightPanelWidth});
    ui->HorzSplitter->setStretchFactor(0, 1);
    ui->HorzSplitter->setStretchFactor(1, 0);
    ui->HorzSplitter->setSizes({height() - BottomPanelHeight, BottomPanelHeight});
    ui->ScanSplitter->setStretchFactor(0, 1);
    ui->ScanSplitter->setStretchFactor(1, 0);
    ui->ScanSplitter->setSizes({height() - ScanPanelHeight, ScanPanelHeight});
    for (QSplitter* splitter : {ui->VertSplitter, ui->HorzSplitter, ui->ScanSplitter}) {
        splitter->handle(1)->installEventFilter(this);
        connect(splitter, &QSplitter::splitterMoved, this,
            [this, splitter] { CheckSplitterMove(splitter); });
    }
}

void TMainForm::SetUpFoldersGrid()
{
    QTableWidget* grid = ui->FoldersGrid;
    const QString headers[] = {
        QString(), QString(), QStringLiteral(" Folder (Drag&Drop Folders Here)")};
    for (int column = 0; column < 3; ++column) {
        auto* item = new QTableWidgetItem(headers[column]);
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid->setHorizontalHeaderItem(column, item);
    }
    QHeaderView* header = grid->horizontalHeader();
    header->setFixedHeight(std::max(20, header->sizeHint().height()));
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    header->setSectionsMovable(false);
    grid->setColumnWidth(0, 32);
    grid->setColumnWidth(1, 32);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->installEventFilter(this);
}

void TMainForm::ConnectHandlers()
{
    // Frame.
    connect(ui->MenuFileExit, &QAction::triggered, this, &TMainForm::MenuFileExitClick);
    connect(ui->ActionOptions, &QAction::triggered, this, &TMainForm::ActionOptionsExecute);
    connect(ui->MenuHelpHelp, &QAction::triggered, this, &TMainForm::MenuHelpHelpClick);
    connect(
        ui->MenuHelpGoToHomepage, &QAction::triggered, this, &TMainForm::MenuHelpGoToHomepageClick);
    connect(
        ui->MenuHelpTellAFriend, &QAction::triggered, this, &TMainForm::MenuHelpTellAFriendClick);
    connect(ui->MenuHelpSupport, &QAction::triggered, this, &TMainForm::MenuHelpSupportClick);
    connect(ui->MenuHelpFAQ, &QAction::triggered, this, &TMainForm::MenuHelpFAQClick);
    connect(ui->MenuHelpAbout, &QAction::triggered, this, &TMainForm::MenuHelpAboutClick);
    connect(ui->MenuHelpFindSimilarImages, &QAction::triggered, this, &TMainForm::PCTRWButtonClick);
    connect(ui->MenuHelpFindAudioDuplicates, &QAction::triggered, this,
        &TMainForm::SoundsieveButtonClick);
    connect(ui->HelpFolderButton, &QToolButton::clicked, this, &TMainForm::HelpFolderButtonClick);
    connect(PCTRWButton, &QToolButton::clicked, this, &TMainForm::PCTRWButtonClick);
    connect(SoundsieveButton, &QToolButton::clicked, this, &TMainForm::SoundsieveButtonClick);
    connect(ui->StatusBar, &TZYStatusBar::Resized, this, &TMainForm::StatusBarResize);
    connect(TrayIcon, &TTrayIcon::DblClick, this, &TMainForm::TrayIconDblClick);
    connect(RestoreTrayMenu, &QAction::triggered, this, &TMainForm::TrayIconDblClick);
    connect(ExitTrayMenu, &QAction::triggered, this, &TMainForm::menuTrayExitClick);

    // Folder list and scan options: check boxes follow every change, also one made by code;
    // drop-down lists only the user's choices.
    connect(ui->AddFolderButton, &QPushButton::clicked, this, &TMainForm::AddFolderButtonClick);
    connect(AddFolderToolButton, &QToolButton::clicked, this, &TMainForm::AddFolderButtonClick);
    connect(
        ui->RemoveFolderButton, &QPushButton::clicked, this, &TMainForm::RemoveFolderButtonClick);
    connect(ui->FoldersGrid, &QTableWidget::itemChanged, this,
        [this](QTableWidgetItem* item) { FoldersGridItemChanged(item->row(), item->column()); });
    connect(ui->ScanSubFolders, &QCheckBox::toggled, this, &TMainForm::ScanSubFoldersClick);
    connect(ui->CompareMethod, &QComboBox::activated, this, &TMainForm::CompareMethodChange);
    connect(ui->SimilaritySpinEdit, &QDoubleSpinBox::valueChanged, this,
        &TMainForm::SimilaritySpinEditChange);
    connect(ui->ScanEqualExtOnly, &QCheckBox::toggled, this, &TMainForm::ScanEqualExtOnlyClick);
    connect(ui->DoNotCompareExt, &QCheckBox::toggled, this, &TMainForm::DoNotCompareExtClick);
    connect(ui->AfterScan, &QComboBox::activated, this, &TMainForm::AfterScanChange);
    connect(FilterToolButton, &QToolButton::clicked, this, &TMainForm::FilterToolButtonClick);
}

void TMainForm::ApplyImages()
{
    const std::vector<int> toolSizes = {16, 24, 32};
    // An action's picture: the 16-pixel image for menus, the 32-pixel one for the tool bar,
    // and the grey copy of that one while it is disabled.
    auto actionIcon = [&](int index16, int index32) {
        QIcon icon;
        if (index16 >= 0 && !ImageList16.Icon(index16).isNull()) {
            icon.addPixmap(ImageList16.Icon(index16).pixmap(16, 16));
        }
        if (index32 >= 0 && !ImageList32.Icon(index32).isNull()) {
            for (int size : {24, 32}) {
                icon.addPixmap(ImageList32.Icon(index32).pixmap(size, size));
                icon.addPixmap(
                    DisabledImageList32.Icon(index32).pixmap(size, size), QIcon::Disabled);
            }
        }
        return icon;
    };
    ui->ActionNewScan->setIcon(actionIcon(i16New, i32New));
    ui->ActionOpenProject->setIcon(actionIcon(i16Open, i32Open));
    ui->ActionSaveProject->setIcon(actionIcon(i16Save, i32Save));
    ui->ActionSaveAsProject->setIcon(actionIcon(i16Save, i32Save));
    ui->ActionOptions->setIcon(actionIcon(i16Settings, i32Settings));
    ui->ActionStartScan->setIcon(actionIcon(i16None, i32Play));
    ui->ActionStopScan->setIcon(actionIcon(i16None, i32Stop));
    ui->MenuHelpHelp->setIcon(actionIcon(i16Help, -1));
    ui->MenuHelpGoToHomepage->setIcon(actionIcon(i16Home, -1));
    ui->MenuHelpTellAFriend->setIcon(actionIcon(i16Tell, -1));
    ui->MenuHelpSupport->setIcon(actionIcon(i16Mail, -1));
    ui->MenuHelpAbout->setIcon(actionIcon(i16Info, -1));

    const std::pair<QToolButton*, int> buttons[] = {{AddFolderToolButton, i32AddFolder},
        {FilterToolButton, i32Filter}, {PauseToolButton, i32Pause}, {AutoCheckToolButton, i32Auto},
        {QuickCheckToolButton, i32Quick}};
    for (const auto& [button, image] : buttons) {
        button->setIcon(
            WithDisabledImage(ImageList32.Icon(image), DisabledImageList32.Icon(image), toolSizes));
    }
    ui->HelpFolderButton->setIcon(ImageList16.Icon(i16Help));
    PCTRWButton->setIcon(ResourceIcon(QStringLiteral("PCTRW")));
    SoundsieveButton->setIcon(ResourceIcon(QStringLiteral("SOUNDSIEVE")));

    const char* const headerImages[] = {"H_EXCLUDE", "H_SELFSCAN", "H_FOLDER"};
    for (int column = 0; column < 3; ++column) {
        ui->FoldersGrid->horizontalHeaderItem(column)->setIcon(
            ResourceIcon(QString::fromLatin1(headerImages[column])));
    }
}

// ---- creation ----------------------------------------------------------------------------------

void TMainForm::FormCreate()
{
    // The progress bar on the status bar, mirrored on the program's launcher entry.
    StatusProgressBar = new QProgressBar(ui->StatusBar);
    StatusProgressBar->setObjectName(QStringLiteral("StatusProgressBar"));
    StatusProgressBar->setAccessibleName(QStringLiteral("Progress"));
    StatusProgressBar->setRange(0, 100);
    StatusProgressBar->setValue(0);
    StatusProgressBar->setTextVisible(false);
    StatusProgressBar->move(StatusProgressBar->x(), 3);
    TaskbarListProgress->SetProgressBar(StatusProgressBar);

    // The image lists, in the order every image index relies on.
    for (const char* name : Images16) {
        AddIconResource(16, QString::fromLatin1(name), ImageList16);
    }
    for (const char* name : Images32) {
        AddIconResource(32, QString::fromLatin1(name), ImageList32);
    }

    // The hints of the folder list's column headers.
    ui->FoldersGrid->horizontalHeaderItem(0)->setToolTip(ExcludeColumnHint);
    ui->FoldersGrid->horizontalHeaderItem(1)->setToolTip(SelfScanColumnHint);
    ui->FoldersGrid->horizontalHeaderItem(2)->setToolTip(FolderColumnHint);

    // Grey pictures for disabled tool buttons; then every picture goes to its place.
    DisabledImageList32 = CreateDisabledImageList(ImageList32);
    ApplyImages();

    WhisperSplitter = std::make_unique<TWhisperSplitter>(ui->VertSplitter, ui->RightPanel);
    WhisperSplitter->GripBitmap = SplitterGripBitmap();
    WhisperSplitter->GripCount = 20;
    WhisperSplitter->HoverRestore = false;

    MRU->SetRegPath(RegistryRoot);
    RestoreFormPlacement(*this, MainFormName);

    // The start button carries the start action (and its picture) while no scan runs.
    ui->ScanButton->SetAction(ui->ActionStartScan);

    PreviewImage = new TPreviewImage(ui->PreviewGroupBox);
    ui->PreviewLayout->addWidget(PreviewImage);
    connect(PreviewImage, &TPreviewImage::Clicked, this, &TMainForm::PreviewImageClick);

    FileIconList.Images.clear();
    FileIconExtensions.clear();

    // The options; the two the options object leaves unloaded are read here, so that a box
    // the user ticked stays ticked.
    AppSettings.Load();
    AppSettings.DoNotMarkFolders = RegReadBool("Settings", "DoNotMarkFolders", false);
    AppSettings.DeleteEmptyFolders = RegReadBool("Settings", "DeleteEmptyFolders", false);

    TrayIcon->SetHint(QString::fromStdString(ProductName));
    TrayIcon->SetIcon(MainIcon());

    Finder = new TDFinder();

    FAutoFitColumns = !LoadGridLayout(*DupGrid->horizontalHeader(), GridLayoutSection);
    ApplyColumnVisibility();

    Project = std::make_unique<TProject>();
    LoadControlsFromOptions();
    FileSearcher = new TFindFile();
    setAcceptDrops(true);

    NameControlsForAccessibility(this);
    ui->FoldersGrid->setFocus(Qt::OtherFocusReason);
}

void TMainForm::LoadControlsFromOptions()
{
    ui->ScanSubFolders->setChecked(AppSettings.Recurse);
    ui->MoveToFolder->setText(QString::fromUtf8(AppSettings.MoveToFolder));
    ui->AfterScan->setCurrentIndex(AppSettings.AfterScan);
    ui->ScanEqualExtOnly->setChecked(AppSettings.ScanEqualExtOnly);
    ui->DeleteEmptyFolders->setChecked(AppSettings.DeleteEmptyFolders);
    UpdateCaption(true);
    ui->SimilaritySpinEdit->setValue(AppSettings.Similarity);
    ui->KeepFolderStructure->setChecked(AppSettings.KeepFolderStructure);
    ui->CompareMethod->setCurrentIndex(AppSettings.FindMode);
    ui->SimilaritySpinEdit->setEnabled(AppSettings.FindMode == 1 || AppSettings.FindMode == 2);
    ShowFilterState();
    ui->PerformActionComboBox->setCurrentIndex(AppSettings.PerformAction);
    ui->AutoCheckCombo->setCurrentIndex(AppSettings.AutoCheckType);
    ui->AutoCheckCombo->setToolTip(ui->AutoCheckCombo->currentText());
    ui->DateType->setCurrentIndex(AppSettings.CompareDateType);
    ui->DateType->setVisible(AppSettings.AutoCheckType == 3 || AppSettings.AutoCheckType == 4);
    // The stored choice shows at start; the method's rules below may clear it.
    ui->DoNotCompareExt->setChecked(AppSettings.DoNotCompareExt);
    ui->CompareMethod->setCurrentIndex(AppSettings.FindMode);
    CompareMethodChange();
}

// ---- showing and closing -----------------------------------------------------------------------

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TMainForm::FormShow()
{
    if (!FWidthsFitted) {
        FWidthsFitted = true;
        FitRightPanel();
    }
    QMetaObject::invokeMethod(this, &TMainForm::WMAfterShow, Qt::QueuedConnection);
}

void TMainForm::FitRightPanel()
{
    // The right panel is as wide as the form has it, or as its controls need in the
    // desktop's font (known once the controls are shown).
    const QMargins margins = ui->RightPanelLayout->contentsMargins();
    const int wanted = std::max(
        {RightPanelWidth, ui->RightTopPanel->sizeHint().width() + margins.left() + margins.right(),
            ui->ScanPanel->sizeHint().width() + margins.left() + margins.right()});
    const QList<int> sizes = ui->VertSplitter->sizes();
    if (sizes.size() == 2 && sizes[1] < wanted) {
        ui->VertSplitter->setSizes({sizes[0] + sizes[1] - wanted, wanted});
    }
}

void TMainForm::WMAfterShow()
{
    RestoreFormPlacement(*this, MainFormName);
    PullOntoMonitor(*this);
    if (!FFirstShowDone) {
        FFirstShowDone = true;
        LoadLastProjectAtStart();
    }
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (FClosed) {
        event->accept();
        return;
    }
    // The file-operation dialog works on the results until it ends.
    if (FPerforming) {
        event->ignore();
        return;
    }
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMainForm::FormClose()
{
    if (FClosed) {
        return;
    }
    FClosed = true;
    std::vector<std::string> failed;
    SaveClosingState(failed);
    if (!failed.empty()) {
        std::string text = "These could not be saved:";
        for (const std::string& what : failed) {
            text += "\r\n- " + what;
        }
        ShowErrorMessage(text);
    }

    ScanThread.reset();
    // The grid and the preview let go of the records before the finder frees them.
    DupGrid->ClearRows();
    ClearPreview();
    delete Finder;
    Finder = nullptr;
    Project.reset();
    delete MRU;
    MRU = nullptr;
    FileIconExtensions.clear();
    FileIconList.Images.clear();
    if (WhisperSplitter) {
        WhisperSplitter->GripBitmap = QPixmap();
    }
    delete FileSearcher;
    FileSearcher = nullptr;
    TrayIcon->SetAnimate(false);
    TrayIcon->SetVisible(false);
}

void TMainForm::SaveClosingState(std::vector<std::string>& failed)
{
    // Each part is saved on its own, so one that fails does not keep the others from it.
    SaveOnItsOwn(failed, "the layout of the results grid",
        [this] { return SaveGridLayout(*DupGrid->horizontalHeader(), GridLayoutSection); });
    SaveOnItsOwn(failed, "the window's placement",
        [this] { return StoreFormPlacement(*this, MainFormName); });
    SaveOnItsOwn(failed, "the options", [] { return AppSettings.Save(); });
    SaveOnItsOwn(failed, "the list of recent projects",
        [this] { return MRU == nullptr || MRU->SaveToRegistry(); });
}

void TMainForm::FormDestroy()
{
    WhisperSplitter.reset();
}

void TMainForm::UpdateCaption(bool modified)
{
    if (!Project) {
        return;
    }
    QString caption = QString::fromStdString(ProductTitle) + QStringLiteral(" - [") +
        QString::fromUtf8(Project->FileName) + QLatin1Char(']');
    if (modified) {
        caption += QStringLiteral(" *");
    }
    setWindowTitle(caption);
    Project->Modified = modified;
}

bool TMainForm::IsScanning() const
{
    return ScanThread != nullptr;
}

// ---- the tray ----------------------------------------------------------------------------------

void TMainForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && AppSettings.MinimizeToTray &&
        IsSystemTrayAvailable()) {
        // Hiding inside the state change confuses some window managers: hide right after it.
        QMetaObject::invokeMethod(this, &TMainForm::WMSysCommandMinimize, Qt::QueuedConnection);
    }
}

void TMainForm::WMSysCommandMinimize()
{
    // Without a tray the window stays an ordinary minimised window, so it can be got back.
    if (!isMinimized() || !AppSettings.MinimizeToTray || !IsSystemTrayAvailable()) {
        return;
    }
    TrayIcon->SetVisible(true);
    TrayIcon->ShowBalloon(QString::fromStdString(ProductName),
        QString::fromStdString(ProductName) +
            QStringLiteral(
                " is still running\r\nClick on its icon in the system tray to restore."));
    hide();
}

void TMainForm::TrayIconDblClick()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    TrayIcon->SetVisible(false);
    raise();
    activateWindow();
}

void TMainForm::menuTrayExitClick()
{
    TrayIconDblClick();
    close();
}

// ---- drops -------------------------------------------------------------------------------------

void TMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && !IsScanning()) {
        event->acceptProposedAction();
    }
}

void TMainForm::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
    }
    WMDropFiles(paths);
    event->acceptProposedAction();
}

void TMainForm::WMDropFiles(const std::vector<std::string>& paths)
{
    // The scan thread reads the folder list while it runs.
    if (IsScanning() || Finder == nullptr) {
        return;
    }
    for (const std::string& path : paths) {
        if (IsFolder(path)) {
            AddFolderToList(platform::WithTrailingSlash(path));
        }
    }
}

// ---- splitters and status bar ------------------------------------------------------------------

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        // A drag starts from the sizes the splitter has now.
        for (QSplitter* splitter : {ui->VertSplitter, ui->HorzSplitter, ui->ScanSplitter}) {
            if (watched == splitter->handle(1)) {
                FAcceptedSizes[splitter] = splitter->sizes();
            }
        }
    }
    if (watched == ui->FoldersGrid && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            FoldersGridKeyDown(key->key());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::CheckSplitterMove(QSplitter* splitter)
{
    auto accepted = FAcceptedSizes.find(splitter);
    if (accepted == FAcceptedSizes.end() || accepted->second.size() != splitter->count()) {
        FAcceptedSizes[splitter] = splitter->sizes();
        return;
    }
    // The panel each splitter sizes is its second widget.
    int newSize = splitter->sizes().at(1);
    bool accept = true;
    if (splitter == ui->VertSplitter) {
        VertSplitterCanResize(newSize, accept);
    } else if (splitter == ui->HorzSplitter) {
        HorzSplitterCanResize(newSize, accept);
    } else {
        ScanSplitterCanResize(newSize, accept);
    }
    if (accept) {
        accepted->second = splitter->sizes();
        return;
    }
    const QSignalBlocker quiet(splitter);
    splitter->setSizes(accepted->second);
}

void TMainForm::VertSplitterCanResize(int& newSize, bool& accept)
{
    const auto& sizes = FAcceptedSizes[ui->VertSplitter];
    const int current = sizes.size() > 1 ? sizes.at(1) : ui->RightPanel->width();
    accept = SplitterAccepts(newSize, current, RightPanelWidth, newSize < width() - 660);
}

void TMainForm::HorzSplitterCanResize(int& newSize, bool& accept)
{
    const auto& sizes = FAcceptedSizes[ui->HorzSplitter];
    const int current = sizes.size() > 1 ? sizes.at(1) : ui->BottomPanel->height();
    accept = SplitterAccepts(newSize, current, BottomPanelHeight, newSize < height() - 300);
}

void TMainForm::ScanSplitterCanResize(int& newSize, bool& accept)
{
    const auto& sizes = FAcceptedSizes[ui->ScanSplitter];
    const int current = sizes.size() > 1 ? sizes.at(1) : ui->ScanPanel->height();
    const int topHeight = sizes.size() > 1 ? sizes.at(0) : ui->RightTopPanel->height();
    accept = SplitterAccepts(newSize, current, 240, topHeight >= 250);
}

void TMainForm::StatusBarResize()
{
    TZYStatusBar* bar = ui->StatusBar;
    const int progressWidth = bar->PanelWidth(1);
    bar->SetPanelWidth(0, bar->width() - progressWidth);
    if (StatusProgressBar == nullptr) {
        return;
    }
    // The bar starts after the "Progress:" text and ends 15 pixels before the right edge.
    const int textWidth = bar->fontMetrics().horizontalAdvance(bar->PanelText(1));
    const int offset = std::max(55, textWidth + 16);
    StatusProgressBar->setGeometry(bar->PanelWidth(0) + offset, 3,
        std::max(progressWidth - offset - 15, 0), std::max(bar->height() - 6, 0));
}

// ---- help, links and dialogs -------------------------------------------------------------------

void TMainForm::MenuHelpHelpClick()
{
    ShowHelpContext(hcContents);
}

void TMainForm::MenuHelpGoToHomepageClick()
{
    OpenWebAddress(WebLinks::HomePage());
}

void TMainForm::MenuHelpTellAFriendClick()
{
    OpenWebAddress(WebLinks::TellAFriendMail());
}

void TMainForm::MenuHelpSupportClick()
{
    OpenWebAddress(WebLinks::Support());
}

void TMainForm::MenuHelpFAQClick()
{
    OpenWebAddress(WebLinks::Faq());
}

void TMainForm::HelpFolderButtonClick()
{
    OpenWebAddress(WebLinks::FolderExclusionArticle());
}

void TMainForm::PCTRWButtonClick()
{
    OpenWebAddress(WebLinks::SimilarImagesPage());
}

void TMainForm::SoundsieveButtonClick()
{
    OpenWebAddress(WebLinks::SoundsievePage());
}

void TMainForm::ActionOptionsExecute()
{
    // After OK has stored the options and before they are saved: the column mask and the
    // colours and fonts of checked files show at once.
    TOptionsForm::Execute(this, [this] {
        ApplyColumnVisibility();
        DupGrid->viewport()->update();
    });
}

void TMainForm::MenuHelpAboutClick()
{
    TAboutForm::Execute(this);
}

void TMainForm::MenuFileExitClick()
{
    close();
}

void TMainForm::MRUMenuClick(QObject* sender, const std::string& fileName)
{
    (void)sender;
    OpenProjectFile(fileName);
}

void TMainForm::MRUFileNotExist(QObject* sender, const std::string& fileName)
{
    (void)sender;
    ShowErrorMessage("File " + fileName + " doesn't exist!");
}
