#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/FindFile.h"
#include "engine/Project.h"
#include "engine/RegistryAccess.h"
#include "engine/SettingsUnit.h"
#include "tests/ui/MainFormFixture.h"
#include "toolkit/TrayIcon.h"
#include "ui/MruUnit.h"
#include "ui/ZYStatusBar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <string>

namespace {

using MainForm = TMainFormTest;

std::string ExpectedTitle()
{
    return "Twinrake " + ProductVersion + (sizeof(void*) == 8 ? " (64-bit)" : "");
}

TEST_F(MainForm, TheFirstStartIsMaximisedUntitledAndHasNoRecentFiles)
{
    TMainForm& form = Open();
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form.windowTitle().toStdString(), ExpectedTitle() + " - [untitled.twrk] *");
    EXPECT_EQ(
        ExpectedTitle(), sizeof(void*) == 8 ? "Twinrake 1.0.0.0 (64-bit)" : "Twinrake 1.0.0.0");
    EXPECT_TRUE(Find<QMenu>("MenuFileReopen")->actions().isEmpty());
    EXPECT_NE(Finder, nullptr);
    EXPECT_NE(FileSearcher, nullptr);
    EXPECT_TRUE(form.Project->Modified);
    // Every image of the two lists is there, so every tool button has its picture.
    EXPECT_EQ(form.ImageList16.Count(), 10);
    EXPECT_EQ(form.ImageList32.Count(), 14);
    for (QToolButton* button : Find<QWidget>("ToolBar")->findChildren<QToolButton*>()) {
        if (!button->objectName().isEmpty()) {
            EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
        }
    }
    EXPECT_EQ(Find<QAbstractButton>("FilterToolButton")->text(), QStringLiteral("Filter is OFF"));
    EXPECT_EQ(Find<QAbstractButton>("ScanButton")->text(), QStringLiteral("Start Scan"));
    CloseForm();
    EXPECT_EQ(Finder, nullptr);
    EXPECT_EQ(FileSearcher, nullptr);
}

TEST_F(MainForm, OptionsPlacementGridLayoutAndRecentFilesComeBackAfterAClose)
{
    const std::string project = FTree.AddFile("saved.twrk", "x");
    {
        TMainForm& form = Open();
        form.setWindowState(Qt::WindowNoState);
        form.setGeometry(60, 70, 980, 700);
        Find<QCheckBox>("ScanEqualExtOnly")->setChecked(true);
        Find<QCheckBox>("ScanSubFolders")->setChecked(false);
        auto* method = Find<QComboBox>("CompareMethod");
        method->setCurrentIndex(2);
        Q_EMIT method->activated(2);
        Find<QDoubleSpinBox>("SimilaritySpinEdit")->setValue(87.5);
        Find<QCheckBox>("DoNotCompareExt")->setChecked(true);
        auto* afterScan = Find<QComboBox>("AfterScan");
        afterScan->setCurrentIndex(1);
        Q_EMIT afterScan->activated(1);
        Find<QTableView>("DupGrid")->horizontalHeader()->resizeSection(2, 321);
        form.MRU->AddFile(project);
        CloseForm();
    }
    // The options reached the store when the window closed.
    EXPECT_TRUE(RegReadBool("Settings", "ScanEqualExtOnly", false));
    EXPECT_EQ(RegReadInteger("Settings", "AfterScan", 0), 1);

    AppSettings = TSettings::Defaults();
    {
        TMainForm& form = Open();
        EXPECT_FALSE(form.windowState() & Qt::WindowMaximized);
        EXPECT_EQ(form.geometry(), QRect(60, 70, 980, 700));
        EXPECT_TRUE(Find<QCheckBox>("ScanEqualExtOnly")->isChecked());
        EXPECT_FALSE(Find<QCheckBox>("ScanSubFolders")->isChecked());
        EXPECT_EQ(Find<QComboBox>("CompareMethod")->currentIndex(), 2);
        EXPECT_TRUE(Find<QDoubleSpinBox>("SimilaritySpinEdit")->isEnabled());
        EXPECT_DOUBLE_EQ(Find<QDoubleSpinBox>("SimilaritySpinEdit")->value(), 87.5);
        EXPECT_TRUE(Find<QCheckBox>("DoNotCompareExt")->isChecked());
        EXPECT_EQ(Find<QComboBox>("AfterScan")->currentIndex(), 1);
        EXPECT_EQ(Find<QTableView>("DupGrid")->horizontalHeader()->sectionSize(2), 321);
        const QList<QAction*> reopen = Find<QMenu>("MenuFileReopen")->actions();
        ASSERT_EQ(reopen.size(), 1);
        EXPECT_EQ(reopen[0]->text(), QStringLiteral("&1  ") + QString::fromStdString(project));
        form.setWindowState(Qt::WindowMaximized);
        CloseForm();
    }
    TMainForm& form = Open();
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
}

TEST_F(MainForm, BoxesTheOptionsSaveButNeverLoadedStayTicked)
{
    {
        TMainForm& form = Open();
        Find<QCheckBox>("DeleteEmptyFolders")->setChecked(true);
        AppSettings.DeleteEmptyFolders = true; // what the box's own handler stores
        AppSettings.DoNotMarkFolders = true;
        (void)form;
        CloseForm();
    }
    AppSettings = TSettings::Defaults();
    Open();
    EXPECT_TRUE(Find<QCheckBox>("DeleteEmptyFolders")->isChecked());
    EXPECT_TRUE(AppSettings.DoNotMarkFolders);
}

TEST_F(MainForm, AWindowStoredOnNoMonitorIsCentredOnThePrimaryOneOnceShown)
{
    ASSERT_TRUE(SaveFormPlacement(
        "MainForm", RegistryRoot + "MainForm", {QRect(-4000, 200, 980, 700), false}));
    TMainForm& form = Open();
    form.show();
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.frameGeometry().intersects(primary); }));
    EXPECT_NEAR(form.geometry().center().x(),
        QGuiApplication::primaryScreen()->availableGeometry().center().x(), 2);
}

TEST_F(MainForm, DroppedFoldersAreAddedOnceAndFilesAndDropsDuringAScanAreIgnored)
{
    // Folders as the tree gives them, with their trailing slash.
    const std::string photos = FTree.AddFolder("Photos");
    const std::string music = FTree.AddFolder("music");
    const std::string musicUpper = FTree.AddFolder("Music");
    const std::string file = FTree.AddFile("notes.txt", "x");
    const std::string link = FTree.AddSymlink("linked", "Photos");
    const std::string bare = photos.substr(0, photos.size() - 1);
    TMainForm& form = Open();
    auto* grid = Find<QTableWidget>("FoldersGrid");
    auto folders = [] {
        std::vector<std::string> list;
        for (const TFinderFolder& entry : Finder->Folders) {
            EXPECT_EQ(entry.Flags, 0) << entry.Folder;
            list.push_back(entry.Folder);
        }
        return list;
    };
    struct TCase {
        const char* Label;
        std::vector<std::string> Dropped;
        std::vector<std::string> Listed;
        int Selected;
    };
    const std::vector<TCase> cases = {
        {"three files and a folder", {file, file, bare, file}, {photos}, -1},
        {"the same folder with its slash", {photos}, {photos}, 0},
        {"another folder and a name that does not exist", {music, FTree.Path("gone")},
            {photos, music}, -1},
        {"the first one again", {bare}, {photos, music}, 0},
        {"another letter case is another folder on Linux", {musicUpper},
            {photos, music, musicUpper}, -1},
        {"a link to a folder is a folder", {link}, {photos, music, musicUpper, link + "/"}, -1},
    };
    for (const TCase& c : cases) {
        grid->clearSelection();
        form.WMDropFiles(c.Dropped);
        EXPECT_EQ(folders(), c.Listed) << c.Label;
        EXPECT_EQ(grid->rowCount(), int(c.Listed.size())) << c.Label;
        if (c.Selected >= 0) {
            EXPECT_TRUE(grid->selectionModel()->isRowSelected(c.Selected, {})) << c.Label;
        }
    }
    EXPECT_EQ(grid->item(1, 2)->text().toStdString(), music);

    // A real drop event, while a scan runs: the scan reads the list, so nothing is added.
    form.ScanThread = std::make_unique<TDFinderThread>(*Finder, *FileSearcher, AppSettings);
    const std::string other = FTree.AddFolder("other");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
    auto dropOnWindow = [&] {
        QDragEnterEvent enter(
            QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &drop);
        return enter.isAccepted();
    };
    EXPECT_FALSE(dropOnWindow());
    form.WMDropFiles({other});
    EXPECT_EQ(folders().size(), 4u);
    form.ScanThread.reset();
    EXPECT_TRUE(dropOnWindow());
    EXPECT_EQ(folders().back(), other);
}

TEST_F(MainForm, MinimisingGoesToTheTrayOnlyWhereThereIsATrayAndTheOptionAsksForIt)
{
    struct TCase {
        const char* Label;
        bool TrayAvailable;
        bool MinimizeToTray;
        bool Hidden;
    };
    const std::vector<TCase> cases = {
        {"a tray and the option", true, true, true},
        {"the option without a tray", false, true, false},
        {"a tray without the option", true, false, false},
    };
    for (const TCase& c : cases) {
        ASSERT_FALSE(FStore.DeleteKey(RegistryRoot)); // a first start each time
        SetSystemTrayAvailableForTests(c.TrayAvailable);
        TMainForm& form = Open();
        AppSettings.MinimizeToTray = c.MinimizeToTray;
        ShowAndSettle(form);
        form.setWindowState(Qt::WindowMinimized);
        if (c.Hidden) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); })) << c.Label;
            EXPECT_TRUE(form.TrayIcon->Visible()) << c.Label;
            EXPECT_EQ(form.TrayIcon->BalloonTitle(), QStringLiteral("Twinrake"));
            EXPECT_EQ(form.TrayIcon->BalloonText(),
                QStringLiteral("Twinrake is still running\r\nClick on its icon in the system tray "
                               "to restore."));
            form.TrayIconDblClick();
            EXPECT_TRUE(form.isVisible()) << c.Label;
            EXPECT_FALSE(form.isMinimized()) << c.Label;
        } else {
            form.WMSysCommandMinimize(); // what the state change would run
            EXPECT_TRUE(form.isVisible()) << c.Label;
            EXPECT_TRUE(form.isMinimized()) << c.Label;
        }
        EXPECT_FALSE(form.TrayIcon->Visible()) << c.Label;
        CloseForm();
    }
    SetSystemTrayAvailableForTests(std::nullopt);
}

TEST_F(MainForm, TheTraysExitRestoresTheWindowAndClosesItTheOrdinaryWay)
{
    SetSystemTrayAvailableForTests(true);
    TMainForm& form = Open();
    AppSettings.MinimizeToTray = true;
    ShowAndSettle(form);
    form.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }));
    form.ExitTrayMenu->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Finder, nullptr); // closed and saved
    EXPECT_TRUE(RegReadBool("Settings", "MinimizeToTray", false));
    SetSystemTrayAvailableForTests(std::nullopt);
}

TEST_F(MainForm, SplitterDragsKeepToTheirLimits)
{
    struct TCase {
        const char* Label;
        int New, Current, Floor;
        bool MayGrow;
        bool Accepted;
    };
    const std::vector<TCase> cases = {
        {"shrinking a wide panel", 200, 300, 280, true, true},
        {"shrinking a panel below its floor", 200, 250, 280, true, false},
        {"shrinking from exactly the floor", 279, 280, 280, false, true},
        {"growing while there is room", 400, 300, 280, true, true},
        {"growing without room", 400, 300, 280, false, false},
        {"the same size", 300, 300, 280, true, false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(SplitterAccepts(c.New, c.Current, c.Floor, c.MayGrow), c.Accepted) << c.Label;
    }

    // Dragging the bar: the right panel grows only below the window's width less 660, and
    // shrinks while it is at least 280 wide.
    TMainForm& form = Open();
    ShowAndSettle(form);
    auto* splitter = Find<QSplitter>("VertSplitter");
    QWidget* right = Find<QWidget>("RightPanel");
    QSplitterHandle* bar = splitter->handle(1);
    auto drag = [bar](int dx) {
        const QPoint grip(3, 10);
        QTest::mousePress(bar, Qt::LeftButton, {}, grip);
        QTest::mouseMove(bar, grip + QPoint(dx, 0));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, grip + QPoint(dx, 0));
    };
    const int before = right->width();
    ASSERT_GE(before, 280);
    drag(-40);
    const bool roomToGrow = before + 40 < form.width() - 660;
    EXPECT_EQ(right->width(), roomToGrow ? before + 40 : before);
    const int wide = right->width();
    drag(30);
    EXPECT_EQ(right->width(), wide - 30);
}

TEST_F(MainForm, TheProgressBarSitsInTheSecondPanelOfTheStatusBar)
{
    TMainForm& form = Open();
    form.setWindowState(Qt::WindowNoState);
    form.resize(1200, 800);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto* bar = Find<TZYStatusBar>("StatusBar");
    EXPECT_EQ(bar->PanelWidth(1), 380);
    EXPECT_EQ(bar->PanelWidth(0), bar->width() - 380);
    EXPECT_EQ(bar->PanelText(1), QStringLiteral("Progress:"));
    const QRect progress = form.StatusProgressBar->geometry();
    EXPECT_EQ(progress.right() + 1, bar->width() - 15);
    const int textEnd = bar->PanelLeft(1) + bar->fontMetrics().horizontalAdvance(bar->PanelText(1));
    EXPECT_GT(progress.left(), textEnd);
    EXPECT_EQ(progress.top(), 3);
}

TEST_F(MainForm, TheHelpMenuAndTheLinksOpenTheirPages)
{
    TMainForm& form = Open();
    struct TCase {
        const char* Label;
        std::function<void()> Action;
        QUrl Expected;
    };
    const std::vector<TCase> cases = {
        {"F1", [&] { QTest::keyClick(&form, Qt::Key_F1); }, HelpPageUrl(hcContents)},
        {"Homepage", [&] { Find<QAction>("MenuHelpGoToHomepage")->trigger(); },
            WebLinks::HomePage()},
        {"Support", [&] { Find<QAction>("MenuHelpSupport")->trigger(); }, WebLinks::Support()},
        {"FAQ", [&] { Find<QAction>("MenuHelpFAQ")->trigger(); }, WebLinks::Faq()},
        {"Tell a friend", [&] { Find<QAction>("MenuHelpTellAFriend")->trigger(); },
            WebLinks::TellAFriendMail()},
        {"folder list help", [&] { Find<QAbstractButton>("HelpFolderButton")->click(); },
            WebLinks::FolderExclusionArticle()},
        {"similar images", [&] { Find<QAbstractButton>("PCTRWButton")->click(); },
            WebLinks::SimilarImagesPage()},
        {"find audio duplicates", [&] { Find<QAction>("MenuHelpFindAudioDuplicates")->trigger(); },
            WebLinks::SoundsievePage()},
    };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    for (const TCase& c : cases) {
        FOpened.clear();
        c.Action();
        ASSERT_EQ(FOpened.size(), 1u) << c.Label;
        EXPECT_EQ(FOpened.front(), c.Expected) << c.Label;
    }
    // The commands of the options dialog and the About box open their dialogs and no page.
    FOpened.clear();
    for (int dialog = 0; dialog < 2; ++dialog) {
        FQuestions.AnswerDialog([](QObject*) { return int(QDialog::Rejected); });
    }
    Find<QAction>("ActionOptions")->trigger();
    Find<QAction>("MenuHelpAbout")->trigger();
    EXPECT_TRUE(FOpened.empty());
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog),
        (std::vector<std::string> {"OptionsForm", "AboutForm"}));
    Find<QAction>("MenuFileExit")->trigger();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainForm, EveryControlTheKeyboardReachesHasAnAccessibleName)
{
    TMainForm& form = Open();
    int reached = 0;
    for (QWidget* control : form.findChildren<QWidget*>()) {
        if (!(control->focusPolicy() & Qt::TabFocus) ||
            control->objectName().startsWith(QStringLiteral("qt_")) || control->isWindow()) {
            continue;
        }
        ++reached;
        EXPECT_FALSE(control->accessibleName().trimmed().isEmpty())
            << control->metaObject()->className() << " " << control->objectName().toStdString();
    }
    EXPECT_GT(reached, 0);
    EXPECT_EQ(Find<QWidget>("CompareMethod")->accessibleName(), QStringLiteral("Method"));
}

TEST_F(MainForm, TabGoesFromTheFolderListThroughTheFolderCommandsToTheScanOptions)
{
    TMainForm& form = Open();
    ShowAndSettle(form);
    form.activateWindow();
    Find<QWidget>("FoldersGrid")->setFocus();
    std::vector<std::string> reached = {QApplication::focusWidget()->objectName().toStdString()};
    for (int step = 0; step < 6; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    // The similarity is disabled for equal files, so the keyboard passes it by.
    EXPECT_EQ(reached,
        (std::vector<std::string> {"FoldersGrid", "AddFolderButton", "RemoveFolderButton",
            "HelpFolderButton", "ScanSubFolders", "CompareMethod", "AfterScan"}));
}

TEST_F(MainForm, FailedSavesAtCloseAreReportedOnceAndTheRestStillRuns)
{
    Open();
    // A store that cannot be written: its folder is a file.
    const std::string blocked = FTree.AddFile("blocked", "x");
    platform::TRegistryStore broken(blocked + "/Twinrake.reg");
    platform::TScopedRegistryStore scope(broken);
    CloseForm();
    const std::vector<std::string> errors = FQuestions.AskedTexts(TScriptedQuestions::qkError);
    ASSERT_EQ(errors.size(), 1u);
    for (const char* part : {"results grid", "placement", "options", "recent projects"}) {
        EXPECT_NE(errors[0].find(part), std::string::npos) << part;
    }
    EXPECT_EQ(Finder, nullptr);
}

TEST_F(MainForm, ARecentProjectThatHasGoneIsReportedAndDropped)
{
    const std::string gone = FTree.Path("gone.twrk");
    TMainForm& form = Open();
    form.MRU->AddFile(gone);
    Find<QMenu>("MenuFileReopen")->actions().at(0)->trigger();
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError),
        std::vector<std::string> {"File " + gone + " doesn't exist!"});
    EXPECT_TRUE(form.MRU->FileList().empty());
}

} // namespace
