#include "toolkit/MessageBoxes.h"

#include "tests/support/TempTree.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// ---- placement as pure functions ------------------------------------------------------------

TEST(DialogPlacement, ABoxIsCentredOverItsFormAndKeptOnTheScreenItLandsOn)
{
    const QRect primary(0, 0, 1920, 1050); // a panel takes the bottom 30 pixels
    const QRect second(1920, 0, 1280, 1024); // a second monitor to the right
    const QRect lower(0, 1080, 1920, 1080); // and one below the primary
    const std::vector<QRect> areas = {primary, second, lower};
    struct TCase {
        const char* Label;
        QRect Box;
        std::optional<QRect> Form;
        std::vector<QRect> Areas;
        QRect Expected;
    };
    const std::vector<TCase> cases = {
        {"centred, odd leftovers truncated", QRect(0, 0, 100, 50), QRect(100, 100, 301, 201), areas,
            QRect(200, 175, 100, 50)},
        {"wider than its form, truncated toward zero", QRect(0, 0, 301, 50),
            QRect(400, 400, 100, 100), areas, QRect(300, 425, 301, 50)},
        {"form at the right edge: the box ends at the screen's edge", QRect(0, 0, 300, 200),
            QRect(1800, 400, 200, 200), {primary}, QRect(1620, 400, 300, 200)},
        {"form half above the screen: the box starts at its top", QRect(0, 0, 300, 200),
            QRect(500, -400, 400, 400), areas, QRect(550, 0, 300, 200)},
        {"form half off the left edge", QRect(0, 0, 300, 200), QRect(-300, 300, 400, 300), areas,
            QRect(0, 350, 300, 200)},
        {"form half below the panel: the box stays above it", QRect(0, 0, 300, 200),
            QRect(800, 900, 400, 300), {primary}, QRect(850, 850, 300, 200)},
        {"larger than the screen: the title bar and first buttons stay on it",
            QRect(0, 0, 2500, 1300), QRect(100, 100, 800, 600), {primary}, QRect(0, 0, 2500, 1300)},
        {"form on the second monitor: the box stays there", QRect(0, 0, 300, 200),
            QRect(2000, 100, 400, 300), areas, QRect(2050, 150, 300, 200)},
        {"form at the second monitor's far edge: pulled back onto that monitor",
            QRect(0, 0, 300, 200), QRect(3100, 800, 200, 300), areas, QRect(2900, 824, 300, 200)},
        {"box straddling two monitors belongs to the one holding its centre", QRect(0, 0, 400, 200),
            QRect(1700, 500, 500, 200), areas, QRect(1920, 500, 400, 200)},
        {"below the second monitor, in no screen: the monitor it shares most with",
            QRect(0, 0, 300, 200), QRect(2500, 950, 100, 200), areas, QRect(2400, 824, 300, 200)},
        {"on no screen at all: the primary one", QRect(5000, 5000, 300, 200), std::nullopt, areas,
            QRect(1620, 850, 300, 200)},
        {"no form: left where it is when it fits", QRect(40, 60, 300, 200), std::nullopt, areas,
            QRect(40, 60, 300, 200)},
        {"no screens known: only centred", QRect(0, 0, 100, 100), QRect(-500, -500, 300, 300), {},
            QRect(-400, -400, 100, 100)},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(PlaceDialog(c.Box, c.Form, c.Areas), c.Expected) << c.Label;
    }
}

TEST(DialogPlacement, TheOwnerIsTheNamedWindowElseTheActiveElseTheMainElseNone)
{
    QWidget named;
    auto* inside = new QLabel(&named);
    QWidget active;
    QWidget main;
    QObject notAWidget;
    struct TCase {
        const char* Label;
        QObject* Owner;
        QWidget* Active;
        QWidget* Main;
        QWidget* Expected;
    };
    const std::vector<TCase> cases = {
        {"a named window", &named, &active, &main, &named},
        {"a control names its window", inside, &active, &main, &named},
        {"an owner that is no widget", &notAWidget, &active, &main, &active},
        {"no owner: the active window", nullptr, &active, &main, &active},
        {"nothing active: the main window", nullptr, nullptr, &main, &main},
        {"no window at all", nullptr, nullptr, nullptr, nullptr},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(MessageBoxOwner(c.Owner, c.Active, c.Main), c.Expected) << c.Label;
    }
}

// ---- the real boxes ----------------------------------------------------------------------------

// Runs the action on the modal dialog that the next question opens, from inside that dialog's
// event loop. A dialog the action leaves open is rejected, so a failing test cannot hang.
template<class TDialog>
void OnNextDialog(std::function<void(TDialog*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<TDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no dialog of the expected kind is open";
            if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                other->reject();
            }
            return;
        }
        QPointer<TDialog> guard(dialog);
        action(dialog);
        if (guard && guard->isVisible()) {
            ADD_FAILURE() << "the action left the dialog open";
            guard->reject();
        }
    });
}

struct TSeenBox {
    QString Title;
    QString LabelText;
    Qt::TextFormat LabelFormat = Qt::AutoText;
    QMessageBox::StandardButtons Buttons;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton Default = QMessageBox::NoButton;
    QWidget* Parent = nullptr;
    QRect Frame;
};

TSeenBox Look(QMessageBox* box)
{
    TSeenBox seen;
    seen.Title = box->windowTitle();
    // What the user reads: the box's own label, not only the text handed to it.
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        seen.LabelText = label->text();
        seen.LabelFormat = label->textFormat();
    }
    seen.Buttons = box->standardButtons();
    seen.Icon = box->icon();
    seen.Default = box->standardButton(static_cast<QAbstractButton*>(box->defaultButton()));
    seen.Parent = box->parentWidget();
    seen.Frame = box->frameGeometry();
    return seen;
}

std::function<void(QMessageBox*)> Click(QMessageBox::StandardButton button)
{
    return [button](QMessageBox* box) {
        QAbstractButton* widget = box->button(button);
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton);
    };
}

std::function<void(QMessageBox*)> PressEscape()
{
    return [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); };
}

std::function<void(QMessageBox*)> CloseWindow()
{
    return [](QMessageBox* box) { box->close(); };
}

enum TBoxKind { bkError, bkConfirm, bkRetry };

// Asks one question of the kind and returns its answer (false for the error box).
bool Ask(
    TWidgetQuestions& questions, TBoxKind kind, const std::string& text, QObject* owner = nullptr)
{
    switch (kind) {
    case bkError:
        questions.ShowErrorMessage(text, owner);
        return false;
    case bkConfirm:
        return questions.ShowConfirmMessage(text, owner);
    case bkRetry:
        return questions.ShowRetryCancelError(text, owner);
    }
    return false;
}

TEST(WidgetQuestions, EachBoxShowsItsCaptionButtonsAndIconAndAnswersByTheButtonUsed)
{
    struct TCase {
        const char* Label;
        TBoxKind Kind;
        std::function<void(QMessageBox*)> Action;
        bool Expected;
        QString Title;
        QMessageBox::StandardButtons Buttons;
        QMessageBox::StandardButton Default;
        QMessageBox::Icon Icon;
    };
    const auto yesNo = QMessageBox::Yes | QMessageBox::No;
    const auto retryCancel = QMessageBox::Retry | QMessageBox::Cancel;
    const QString error = QStringLiteral("Error");
    const QString confirm = QStringLiteral("Confirm");
    const std::vector<TCase> cases = {
        {"error, OK", bkError, Click(QMessageBox::Ok), false, error, QMessageBox::Ok,
            QMessageBox::Ok, QMessageBox::Critical},
        {"error, Esc", bkError, PressEscape(), false, error, QMessageBox::Ok, QMessageBox::Ok,
            QMessageBox::Critical},
        {"confirm, Yes", bkConfirm, Click(QMessageBox::Yes), true, confirm, yesNo, QMessageBox::Yes,
            QMessageBox::Warning},
        {"confirm, No", bkConfirm, Click(QMessageBox::No), false, confirm, yesNo, QMessageBox::Yes,
            QMessageBox::Warning},
        {"confirm, Esc", bkConfirm, PressEscape(), false, confirm, yesNo, QMessageBox::Yes,
            QMessageBox::Warning},
        {"confirm, closed", bkConfirm, CloseWindow(), false, confirm, yesNo, QMessageBox::Yes,
            QMessageBox::Warning},
        {"retry, Retry", bkRetry, Click(QMessageBox::Retry), true, error, retryCancel,
            QMessageBox::Retry, QMessageBox::Critical},
        {"retry, Cancel", bkRetry, Click(QMessageBox::Cancel), false, error, retryCancel,
            QMessageBox::Retry, QMessageBox::Critical},
        {"retry, Esc", bkRetry, PressEscape(), false, error, retryCancel, QMessageBox::Retry,
            QMessageBox::Critical},
        {"retry, closed", bkRetry, CloseWindow(), false, error, retryCancel, QMessageBox::Retry,
            QMessageBox::Critical},
    };
    TWidgetQuestions questions;
    for (const TCase& c : cases) {
        TSeenBox seen;
        OnNextDialog<QMessageBox>([&seen, &c](QMessageBox* box) {
            seen = Look(box);
            c.Action(box);
        });
        EXPECT_EQ(Ask(questions, c.Kind, "The file could not be deleted."), c.Expected) << c.Label;
        EXPECT_EQ(seen.Title, c.Title) << c.Label;
        EXPECT_EQ(seen.Buttons, c.Buttons) << c.Label;
        EXPECT_EQ(seen.Default, c.Default) << c.Label;
        EXPECT_EQ(seen.Icon, c.Icon) << c.Label;
        EXPECT_EQ(seen.LabelText, QStringLiteral("The file could not be deleted.")) << c.Label;
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(WidgetQuestions, MarkupAndLineBreaksInAMessageAreShownAsPlainText)
{
    TWidgetQuestions questions;
    struct TCase {
        std::string Text;
        QString Shown;
    };
    const std::vector<TCase> cases = {
        {"Cannot delete <b>a.txt</b> &amp; <i>b</i>",
            QStringLiteral("Cannot delete <b>a.txt</b> &amp; <i>b</i>")},
        {"<a href=\"x\">link</a>", QStringLiteral("<a href=\"x\">link</a>")},
        {"First line.\r\n\r\nSecond line.", QStringLiteral("First line.\n\nSecond line.")},
        {"Caf\xc3\xa9 <\xe2\x82\xac>", QString::fromUtf8("Caf\xc3\xa9 <\xe2\x82\xac>")},
    };
    for (const TCase& c : cases) {
        TSeenBox seen;
        OnNextDialog<QMessageBox>([&seen](QMessageBox* box) {
            seen = Look(box);
            box->reject();
        });
        questions.ShowErrorMessage(c.Text, nullptr);
        EXPECT_EQ(seen.LabelText, c.Shown) << c.Text;
        EXPECT_EQ(seen.LabelFormat, Qt::PlainText) << c.Text;
    }
}

// Two top-level windows placed on the offscreen screen, the second one active.
class WidgetQuestionsWithWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        FArea = QGuiApplication::primaryScreen()->availableGeometry();
        FOwner = std::make_unique<QMainWindow>();
        FActive = std::make_unique<QMainWindow>();
        FOwner->setGeometry(FArea.left() + 10, FArea.top() + 10, 200, 150);
        FOwner->show();
        // Away from the screen's centre, where Qt would put a box of its own accord.
        FActive->setGeometry(FArea.left() + 40, FArea.top() + 40, 460, 360);
        FActive->show();
        QCoreApplication::processEvents();
        Activate();
    }

    // Closing a box leaves no window active on the offscreen platform: each question
    // activates the window again first.
    void Activate()
    {
        QApplication::setActiveWindow(FActive.get());
        ASSERT_EQ(QApplication::activeWindow(), FActive.get());
    }

    QRect FArea;
    std::unique_ptr<QMainWindow> FOwner;
    std::unique_ptr<QMainWindow> FActive;
};

TEST_F(WidgetQuestionsWithWindows, ABoxIsCentredOverTheActiveWindowEvenWhenAnotherOwnsIt)
{
    TWidgetQuestions questions;
    for (QObject* owner : {static_cast<QObject*>(FOwner.get()), static_cast<QObject*>(nullptr)}) {
        Activate();
        TSeenBox seen;
        OnNextDialog<QMessageBox>([&seen](QMessageBox* box) {
            seen = Look(box);
            box->reject();
        });
        questions.ShowConfirmMessage("Remove the selected items?", owner);
        const QWidget* expectedParent = owner ? FOwner.get() : FActive.get();
        EXPECT_EQ(seen.Parent, expectedParent);
        const QPoint offset = seen.Frame.center() - FActive->frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 2) << "box " << seen.Frame.x() << "," << seen.Frame.y();
    }
}

TEST_F(WidgetQuestionsWithWindows, ABoxOverAWindowAtTheScreensEdgeOpensOnTheScreen)
{
    struct TCase {
        const char* Label;
        QRect Form;
    };
    const std::vector<TCase> cases = {
        {"right edge", QRect(FArea.right() - 60, FArea.top() + 100, 120, 100)},
        {"above the top", QRect(FArea.left() + 100, FArea.top() - 80, 120, 100)},
        {"past the bottom left corner", QRect(FArea.left() - 90, FArea.bottom() - 20, 120, 100)},
    };
    TWidgetQuestions questions;
    for (const TCase& c : cases) {
        FActive->setGeometry(c.Form);
        Activate();
        TSeenBox seen;
        OnNextDialog<QMessageBox>([&seen](QMessageBox* box) {
            seen = Look(box);
            box->reject();
        });
        questions.ShowRetryCancelError("The disk is full.", nullptr);
        EXPECT_TRUE(FArea.contains(seen.Frame))
            << c.Label << ": box at " << seen.Frame.x() << "," << seen.Frame.y();
    }
}

TEST_F(WidgetQuestionsWithWindows, ABoxWhoseOwnerIsDestroyedWhileOpenAnswersNo)
{
    TWidgetQuestions questions;
    QMainWindow* owner = FOwner.get();
    OnNextDialog<QMessageBox>([this](QMessageBox*) { FOwner.reset(); });
    EXPECT_FALSE(questions.ShowConfirmMessage("Delete?", owner));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WidgetQuestionsWithWindows, WithNothingActiveTheMainWindowOwnsTheBox)
{
    TWidgetQuestions questions;
    questions.SetMainWindow(FOwner.get());
    QApplication::setActiveWindow(nullptr);
    TSeenBox seen;
    OnNextDialog<QMessageBox>([&seen](QMessageBox* box) {
        seen = Look(box);
        box->reject();
    });
    questions.ShowErrorMessage("File not found!", nullptr);
    EXPECT_EQ(seen.Parent, FOwner.get());
    EXPECT_TRUE(FArea.contains(seen.Frame));
}

TEST(WidgetQuestions, AskedOffTheGuiThreadNoBoxOpensAndTheAnswerIsNo)
{
    TWidgetQuestions questions;
    bool confirmed = true;
    bool retried = true;
    std::string folder = "unchanged";
    ::testing::internal::CaptureStderr();
    std::thread worker([&] {
        questions.ShowErrorMessage("from a worker", nullptr);
        confirmed = questions.ShowConfirmMessage("from a worker?", nullptr);
        retried = questions.ShowRetryCancelError("again?", nullptr);
        folder = questions.BrowseForFolder("Select target folder", "", "/");
    });
    worker.join();
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(confirmed);
    EXPECT_FALSE(retried);
    EXPECT_EQ(folder, "");
    EXPECT_NE(written.find("Error: from a worker"), std::string::npos);
}

// ---- the folder picker -------------------------------------------------------------------------

struct TSeenPicker {
    QString Title;
    QString Directory;
    QFileDialog::FileMode Mode = QFileDialog::AnyFile;
    bool DirsOnly = false;
};

TSeenPicker Look(QFileDialog* dialog)
{
    return {dialog->windowTitle(), dialog->directory().absolutePath(), dialog->fileMode(),
        dialog->testOption(QFileDialog::ShowDirsOnly)};
}

// Presses the picker's accept button, as the user does.
void ClickChoose(QFileDialog* dialog)
{
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    QPushButton* choose = buttons->button(QDialogButtonBox::Open);
    ASSERT_NE(choose, nullptr);
    ASSERT_TRUE(choose->isEnabled());
    QTest::mouseClick(choose, Qt::LeftButton);
}

QString Folder(const std::string& path)
{
    return QDir::cleanPath(QString::fromStdString(path));
}

TEST(FolderPicker, OpensInTheInitialFolderElseTheRootElseHomeAndReturnsTheFolderWithASlash)
{
    testing_support::TTempTree tree;
    const std::string target = tree.AddFolder("Target");
    const std::string root = tree.AddFolder("Root");
    const std::string inRoot = tree.AddFolder("Root/Inner");
    struct TCase {
        const char* Label;
        std::string Root;
        std::string Initial;
        QString Opens;
    };
    const std::vector<TCase> cases = {
        {"initial folder", "", target, Folder(target)},
        {"initial folder without its slash", "", target.substr(0, target.size() - 1),
            Folder(target)},
        {"initial folder inside the root", root, inRoot, Folder(inRoot)},
        {"no initial folder: the root", root, "", Folder(root)},
        {"initial folder outside the root: the root", root, target, Folder(root)},
        {"nothing given: home", "", "", QDir::homePath()},
        {"a vanished initial folder: home", "", tree.Path("Gone"), QDir::homePath()},
    };
    TWidgetQuestions questions;
    for (const TCase& c : cases) {
        TSeenPicker seen;
        OnNextDialog<QFileDialog>([&seen](QFileDialog* dialog) {
            seen = Look(dialog);
            ClickChoose(dialog);
        });
        const std::string chosen =
            questions.BrowseForFolder("Select target folder", c.Root, c.Initial);
        EXPECT_EQ(seen.Title, QStringLiteral("Select target folder")) << c.Label;
        EXPECT_EQ(seen.Mode, QFileDialog::Directory) << c.Label;
        EXPECT_TRUE(seen.DirsOnly) << c.Label;
        EXPECT_EQ(seen.Directory, c.Opens) << c.Label;
        const std::string expected =
            c.Opens == QStringLiteral("/") ? std::string("/") : c.Opens.toStdString() + "/";
        EXPECT_EQ(chosen, expected) << c.Label;
    }
}

TEST(FolderPicker, ASelectedSubfolderIsReturnedAndCancelReturnsNothing)
{
    testing_support::TTempTree tree;
    const std::string parent = tree.AddFolder("Parent");
    const std::string child = tree.AddFolder("Parent/Child folder");
    TWidgetQuestions questions;

    OnNextDialog<QFileDialog>([](QFileDialog* dialog) {
        dialog->selectFile(QStringLiteral("Child folder"));
        ClickChoose(dialog);
    });
    EXPECT_EQ(questions.BrowseForFolder("Pick", "", parent), child);

    OnNextDialog<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(questions.BrowseForFolder("Pick", "", parent), "");

    OnNextDialog<QFileDialog>([](QFileDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_EQ(questions.BrowseForFolder("Pick", "", parent), "");
}

TEST(FolderPicker, TheUserCannotLeaveTheRoot)
{
    testing_support::TTempTree tree;
    const std::string root = tree.AddFolder("Root");
    const std::string outside = tree.AddFolder("Outside");
    TWidgetQuestions questions;

    // Going up from the root brings the picker back to it.
    TSeenPicker afterUp;
    OnNextDialog<QFileDialog>([&afterUp](QFileDialog* dialog) {
        auto* up = dialog->findChild<QToolButton*>(QStringLiteral("toParentButton"));
        ASSERT_NE(up, nullptr);
        QTest::mouseClick(up, Qt::LeftButton);
        afterUp = Look(dialog);
        ClickChoose(dialog);
    });
    EXPECT_EQ(questions.BrowseForFolder("Pick", root, ""), root);
    EXPECT_EQ(afterUp.Directory, Folder(root));

    // A folder outside the root pasted into the name field is no valid choice.
    OnNextDialog<QFileDialog>([&outside](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(outside));
        ClickChoose(dialog);
    });
    EXPECT_EQ(questions.BrowseForFolder("Pick", root, ""), "");
}

TEST(FolderPicker, IsOwnedByTheMainWindowCentredOverItAndKeptOnTheScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QMainWindow main;
    QMainWindow other;
    other.setGeometry(area.left() + 5, area.top() + 5, 100, 100);
    other.show();
    main.show();
    QApplication::setActiveWindow(&other);
    TWidgetQuestions questions;
    questions.SetMainWindow(&main);
    testing_support::TTempTree tree;
    struct TCase {
        const char* Label;
        QRect Main;
    };
    const std::vector<TCase> cases = {
        {"in the middle", QRect(area.center().x() - 350, area.center().y() - 280, 700, 560)},
        {"at the right edge", QRect(area.right() - 100, area.top() + 50, 300, 200)},
        {"above the top", QRect(area.left() + 50, area.top() - 150, 300, 200)},
    };
    for (const TCase& c : cases) {
        main.setGeometry(c.Main);
        QWidget* parent = nullptr;
        QRect frame;
        OnNextDialog<QFileDialog>([&](QFileDialog* dialog) {
            parent = dialog->parentWidget();
            frame = dialog->frameGeometry();
            dialog->reject();
        });
        questions.BrowseForFolder("Select target folder", "", tree.Root());
        EXPECT_EQ(parent, &main) << c.Label;
        EXPECT_TRUE(area.contains(frame))
            << c.Label << ": picker at " << frame.x() << "," << frame.y() << " size "
            << frame.width() << "x" << frame.height();
        if (area.contains(main.frameGeometry())) {
            const QPoint offset = frame.center() - main.frameGeometry().center();
            EXPECT_LE(offset.manhattanLength(), 2) << c.Label;
        }
    }
}

// ---- helpers for forms and controls ------------------------------------------------------------

TEST(DrawIconToImage, PaintsTheIconStretchedOverTheButtonColourAtTheImagesSize)
{
    QLabel image;
    image.resize(40, 30);
    const QColor background = image.palette().color(QPalette::Button);

    // Left half red, right half transparent.
    QPixmap half(16, 16);
    half.fill(Qt::transparent);
    {
        QPainter painter(&half);
        painter.fillRect(0, 0, 8, 16, Qt::red);
    }
    DrawIconToImage(QIcon(half), &image);
    QImage painted = image.pixmap().toImage();
    ASSERT_EQ(painted.size(), QSize(40, 30));
    EXPECT_EQ(painted.pixelColor(2, 15), QColor(Qt::red));
    EXPECT_EQ(painted.pixelColor(37, 15), background);

    // Without an icon only the background is painted.
    DrawIconToImage(QIcon(), &image);
    painted = image.pixmap().toImage();
    ASSERT_EQ(painted.size(), QSize(40, 30));
    for (const QPoint& at : {QPoint(0, 0), QPoint(20, 15), QPoint(39, 29)}) {
        EXPECT_EQ(painted.pixelColor(at), background);
    }
}

TEST(ScrollMemoToEnd, ShowsTheLastLineAndKeepsTheHorizontalPosition)
{
    QPlainTextEdit memo;
    memo.setLineWrapMode(QPlainTextEdit::NoWrap);
    memo.resize(200, 100);
    memo.show();
    for (int line = 0; line < 200; ++line) {
        memo.appendPlainText(
            QStringLiteral("Deleted /home/user/Pictures/some/long/path/file%1.jpg").arg(line));
    }
    QScrollBar* vertical = memo.verticalScrollBar();
    QScrollBar* horizontal = memo.horizontalScrollBar();
    vertical->setValue(0);
    horizontal->setValue(horizontal->maximum() / 2);
    const int across = horizontal->value();
    ASSERT_GT(vertical->maximum(), 0);
    ASSERT_GT(across, 0);

    ScrollMemoToEnd(&memo);
    EXPECT_EQ(vertical->value(), vertical->maximum());
    EXPECT_EQ(horizontal->value(), across);

    ScrollMemoToEnd(nullptr);
}

// ---- any other dialog, and the file pickers ----------------------------------------------------

TEST(WidgetQuestions, ADialogRunsModallyAndGivesItsOwnResult)
{
    TWidgetQuestions questions;
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("SomeForm"));
    OnNextDialog<QDialog>([](QDialog* shown) {
        EXPECT_EQ(shown->objectName(), QStringLiteral("SomeForm"));
        shown->done(6);
    });
    EXPECT_EQ(questions.ExecDialog(&dialog), 6);

    OnNextDialog<QDialog>([](QDialog* shown) { QTest::keyClick(shown, Qt::Key_Escape); });
    EXPECT_EQ(questions.ExecDialog(&dialog), int(QDialog::Rejected));

    // Not a dialog at all: nothing is shown.
    QObject plain;
    EXPECT_EQ(questions.ExecDialog(&plain), int(QDialog::Rejected));

    // A dialog destroyed while it runs counts as cancelled.
    auto* doomed = new QDialog;
    OnNextDialog<QDialog>([](QDialog* shown) { delete shown; });
    EXPECT_EQ(questions.ExecDialog(doomed), int(QDialog::Rejected));
}

TEST(WidgetQuestions, ADialogKeepsTheSizeItWasGivenAndGrowsOnlyToFitItsContent)
{
    TWidgetQuestions questions;
    enum TExpected { eGiven, eContent, eContentAtLeast };
    struct TCase {
        const char* Label;
        QSize Given; // invalid: never sized
        TExpected Expected;
    };
    const std::vector<TCase> cases = {
        {"sized by its form, larger than its content", QSize(520, 430), eGiven},
        {"sized smaller than its content", QSize(20, 20), eContentAtLeast},
        {"never sized", QSize(), eContent},
    };
    for (const TCase& c : cases) {
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* list = new QListWidget(&dialog);
        list->setMinimumSize(200, 150);
        layout->addWidget(list);
        if (c.Given.isValid()) {
            dialog.resize(c.Given);
        }
        QSize shown;
        OnNextDialog<QDialog>([&shown](QDialog* open) {
            shown = open->size();
            open->reject();
        });
        questions.ExecDialog(&dialog);
        switch (c.Expected) {
        case eGiven:
            EXPECT_EQ(shown, c.Given) << c.Label;
            break;
        case eContent:
            EXPECT_EQ(shown, dialog.sizeHint()) << c.Label;
            break;
        case eContentAtLeast:
            EXPECT_EQ(shown, dialog.minimumSizeHint()) << c.Label;
            break;
        }
    }
}

TEST(FilePicker, OpensInTheInitialFolderSelectsTheNameAndReturnsTheChosenPath)
{
    testing_support::TTempTree tree;
    const std::string folder = tree.AddFolder("Projects");
    const std::string existing = tree.AddFile("Projects/old.twrk", "project");
    TWidgetQuestions questions;

    QString seenFolder;
    OnNextDialog<QFileDialog>([&seenFolder](QFileDialog* dialog) {
        seenFolder = dialog->directory().absolutePath();
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        dialog->selectFile(QStringLiteral("old.twrk"));
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(questions.GetOpenFileName("Open", "Projects (*.twrk)", folder), existing);
    EXPECT_EQ(seenFolder, Folder(folder));

    OnNextDialog<QFileDialog>([](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        dialog->selectFile(QStringLiteral("new.twrk"));
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(questions.GetSaveFileName("Save", "Projects (*.twrk)", folder + "untitled.twrk"),
        folder + "new.twrk");

    OnNextDialog<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(questions.GetSaveFileName("Save", "", folder), "");
}

} // namespace
