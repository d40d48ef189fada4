// The preview pane and the preview window in the main window, on the results of a real scan:
// the selected row's file in the pane, the window opened by Enter, a double click and a click
// on the pane, its Previous and Next in step with the grid, its mark in the grid and the
// counts, and records freed by Perform or a new project while the pane or the window holds one.
#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "tests/toolkit/PreviewFixtures.h"
#include "tests/ui/ScanWindowFixture.h"
#include "toolkit/FileViewer.h"
#include "toolkit/ImageView.h"
#include "toolkit/NextGrid.h"
#include "toolkit/NextGridModel.h"
#include "toolkit/PdfView.h"
#include "ui/FileWork.h"
#include "ui/PreviewFormUnit.h"
#include "ui/PreviewImage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using namespace preview_fixtures;
using testing_support::TTestMainForm;

class PreviewInWindow : public TScanWindowTest {
protected:
    // A shown window with the scan of a tree of copies: a picture, a PDF document and a text
    // file, each in "a/" and, older and so checked, in "b/".
    TTestMainForm& Scanned()
    {
        TTestMainForm& form = Open();
        FTree.AddFolder("scan/a");
        FTree.AddFolder("scan/b");
        WritePicture(FTree.Path("scan/a/photo.png"), 320, 240, "PNG");
        WritePdf(FTree.Path("scan/a/paper.pdf"), 2);
        FTree.AddFile("scan/a/notes.txt", "Meeting notes\nline two\n");
        for (const char* name : {"photo.png", "paper.pdf", "notes.txt"}) {
            fs::copy_file(FTree.Path(std::string("scan/a/") + name),
                FTree.Path(std::string("scan/b/") + name));
            FTree.SetTimes(std::string("scan/a/") + name, 1700000000, 1700000000);
            FTree.SetTimes(std::string("scan/b/") + name, 1600000000, 1600000000);
        }
        FScanRoot = FTree.Path("scan/");
        form.AddFolderToList(FScanRoot);
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        ScanShowing(form, ScannedRows);
        return form;
    }

    // The grid row that shows the file (relative to the scanned folder), -1 when none does.
    int RowOf(TMainForm& form, const std::string& relative) const
    {
        for (std::int32_t row = 0; row < form.DupGrid->RowCount(); ++row) {
            if (form.DupGrid->Record(row)->FullPath() == FScanRoot + relative) {
                return row;
            }
        }
        return -1;
    }

    // Selects the row and waits until the pane shows its file.
    void SelectAndWait(TMainForm& form, int row)
    {
        TPreviewImage* pane = form.PreviewImage;
        QSignalSpy loaded(pane->ImageView(), &TImageView::Loaded);
        form.DupGrid->SelectRow(row);
        // The pane's turn of the event loop, then the picture's load off the UI thread.
        QCoreApplication::sendPostedEvents(pane, QEvent::MetaCall);
        ASSERT_TRUE(!pane->ImageView()->IsLoading() || loaded.wait(10000));
    }

    // What the window shows: "path relative to the scanned folder, selected grid row".
    std::string WindowShows(TMainForm& form) const
    {
        const TPreviewForm* window = form.PreviewForm;
        if (window->CurrentImage == nullptr) {
            return "nothing";
        }
        return window->CurrentImage->FullPath().substr(FScanRoot.size()) + ", row " +
            std::to_string(form.DupGrid->SelectedRow());
    }

    // Queues the window's answer: the user acts in it, then closes it.
    void WhileWindowShows(std::function<void(TPreviewForm&)> user)
    {
        FQuestions.AnswerDialog([user](QObject* dialog) {
            auto* window = qobject_cast<TPreviewForm*>(dialog);
            EXPECT_NE(window, nullptr);
            if (window != nullptr) {
                user(*window);
            }
            return 0;
        });
    }

    template<class T>
    static T* Child(QObject& parent, const char* name)
    {
        T* found = parent.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    const std::vector<std::string> ScannedRows = {
        "1: a/notes.txt 0",
        "1: b/notes.txt 1",
        "2: a/paper.pdf 0",
        "2: b/paper.pdf 1",
        "3: a/photo.png 0",
        "3: b/photo.png 1",
    };
};

TEST_F(PreviewInWindow, TheSelectedRowsFileShowsInThePane)
{
    TTestMainForm& form = Scanned();
    TPreviewImage* pane = form.PreviewImage;
    ASSERT_EQ(pane->parentWidget(), Child<QWidget>(form, "PreviewGroupBox"));
    struct TCase {
        const char* File;
        QWidget* Shown;
    };
    const std::vector<TCase> cases = {
        {"b/photo.png", pane->ImageView()},
        {"a/paper.pdf", pane->PdfView()},
        {"a/notes.txt", pane->Viewer()},
        {"b/paper.pdf", pane->PdfView()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        const int row = RowOf(form, c.File);
        SelectAndWait(form, row);
        EXPECT_EQ(pane->Shown(), c.Shown);
        EXPECT_EQ(pane->FileName(), FScanRoot + c.File);
        EXPECT_EQ(pane->Tag(), form.DupGrid->Record(row));
    }
    EXPECT_EQ(pane->Viewer()->FileName(), QString()) << "the text viewer let go of notes.txt";

    // "Enable preview" off empties the pane; selecting rows then shows nothing.
    pane->EnableCheckBox()->click();
    EXPECT_EQ(pane->Tag(), nullptr);
    EXPECT_EQ(pane->Shown(), pane->ImageView());
    form.DupGrid->SelectRow(RowOf(form, "a/notes.txt"));
    QCoreApplication::sendPostedEvents(pane, QEvent::MetaCall);
    EXPECT_EQ(pane->Tag(), nullptr);
    EXPECT_EQ(pane->Viewer()->FileName(), QString());
}

TEST_F(PreviewInWindow, EnterDoubleClickAndAClickOnThePaneOpenTheWindowOnTheirFile)
{
    TTestMainForm& form = Scanned();
    TNextGrid* grid = form.DupGrid;
    struct TCase {
        const char* Label;
        const char* File;
        std::function<void(int row)> Open;
    };
    const std::vector<TCase> cases = {
        {"Enter", "b/notes.txt",
            [&](int row) {
                grid->SelectRow(row);
                grid->setFocus();
                QTest::keyClick(grid, Qt::Key_Return);
            }},
        {"double click", "a/paper.pdf",
            [&](int row) {
                const QRect cell = grid->visualRect(grid->Model().index(row, FileNameColumn));
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
            }},
        {"a click on the pane's picture", "a/photo.png",
            [&](int row) {
                SelectAndWait(form, row);
                // The selection moves on without the pane's knowledge: the click opens the
                // file the pane shows, and its row becomes the selected one.
                const QSignalBlocker quiet(grid);
                grid->SelectRow(0);
                QTest::mouseClick(
                    form.PreviewImage->ImageView()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
            }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const int row = RowOf(form, c.File);
        std::string shown;
        WhileWindowShows([&](TPreviewForm& window) {
            shown = WindowShows(form);
            EXPECT_EQ(window.windowTitle().toStdString(),
                FScanRoot + c.File + " - " + std::to_string(form.DupGrid->Record(row)->Size) +
                    " bytes");
        });
        c.Open(row);
        EXPECT_EQ(shown, std::string(c.File) + ", row " + std::to_string(row));
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog),
            std::vector<std::string> {"PreviewForm"});
        EXPECT_EQ(FQuestions.Unexpected(), 0);
        EXPECT_EQ(WindowShows(form), "nothing");
        FQuestions = TScriptedQuestions();
    }

    // A file deleted since the scan: "File not found!" and no window.
    const int row = RowOf(form, "b/photo.png");
    fs::remove(FTree.Path("scan/b/photo.png"));
    form.DupGridCellDblClick(FileNameColumn, row);
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError),
        std::vector<std::string> {"File not found!"});
    EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).empty());
}

TEST_F(PreviewInWindow, PreviousAndNextWalkTheGridAndThePaneFollowsWhenTheWindowCloses)
{
    TTestMainForm& form = Scanned();
    std::vector<std::string> walk;
    bool paneWaited = false;
    WhileWindowShows([&](TPreviewForm& window) {
        auto* previous = Child<QPushButton>(window, "PreviousBtn");
        auto* next = Child<QPushButton>(window, "NextBtn");
        walk.push_back(WindowShows(form));
        EXPECT_FALSE(previous->isEnabled());
        QTest::keyClick(&window, Qt::Key_PageUp);
        walk.push_back(WindowShows(form));
        for (int i = 0; i < 5; ++i) {
            next->click();
            walk.push_back(WindowShows(form));
        }
        EXPECT_FALSE(next->isEnabled());
        QTest::keyClick(&window, Qt::Key_PageDown);
        QTest::keyClick(&window, Qt::Key_Left);
        walk.push_back(WindowShows(form));
        previous->click();
        walk.push_back(WindowShows(form));
        // The pane let go of the text file and waits while the window shows a file.
        QCoreApplication::sendPostedEvents(form.PreviewImage, QEvent::MetaCall);
        paneWaited = form.PreviewImage->Shown() == form.PreviewImage->Viewer() &&
            form.PreviewImage->Viewer()->FileName().isEmpty();
    });
    SelectAndWait(form, 0);
    ASSERT_EQ(form.PreviewImage->Shown(), form.PreviewImage->Viewer());
    form.DupGridCellDblClick(FileNameColumn, 0);
    EXPECT_EQ(walk,
        (std::vector<std::string> {"a/notes.txt, row 0", "a/notes.txt, row 0",
            "b/notes.txt, row 1", "a/paper.pdf, row 2", "b/paper.pdf, row 3",
            "a/photo.png, row 4", "b/photo.png, row 5", "a/photo.png, row 4",
            "b/paper.pdf, row 3"}));
    EXPECT_TRUE(paneWaited);
    EXPECT_EQ(form.DupGrid->SelectedRow(), 3);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form.PreviewImage->Shown() == form.PreviewImage->PdfView(); }));
    EXPECT_EQ(form.PreviewImage->Tag(), form.DupGrid->Record(3));
}

TEST_F(PreviewInWindow, TheMarkSetInTheWindowShowsInTheGridTheCountsAndTheCaption)
{
    TTestMainForm& form = Scanned();
    auto* counts = Child<QLabel>(form, "DupListPanel");
    const QString countsBefore = counts->text();
    form.UpdateCaption(false);
    const int kept = RowOf(form, "a/paper.pdf");
    const int copy = RowOf(form, "b/paper.pdf");
    auto checkCell = [&](int row) {
        return form.DupGrid->Model().index(row, CheckBoxColumn).data(Qt::CheckStateRole).toInt();
    };
    WhileWindowShows([&](TPreviewForm& window) {
        Child<QCheckBox>(window, "DuplicateChk")->click();
        EXPECT_EQ(checkCell(kept), Qt::Checked);
        Child<QPushButton>(window, "NextBtn")->click();
        QTest::keyClick(&window, Qt::Key_C);
        EXPECT_EQ(checkCell(copy), Qt::Unchecked);
        QTest::keyClick(&window, Qt::Key_Return);
        EXPECT_EQ(checkCell(copy), Qt::Checked);
    });
    form.DupGridCellDblClick(FileNameColumn, kept);
    EXPECT_EQ(int(form.DupGrid->Record(kept)->CheckState), 2);
    EXPECT_EQ(int(form.DupGrid->Record(copy)->CheckState), 2);
    EXPECT_EQ(counts->text().toStdString(), CheckedCountsCaption(*form.Results()));
    EXPECT_NE(counts->text(), countsBefore);
    EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral(" *")));
}

// The pane shows a checked copy; Perform deletes the copies (freeing their records); the
// survivor is selected, the groups are sorted again, and the pane is clicked. Nothing may read
// a freed record (the address sanitizer's run of this test checks that), and the click opens
// the file the pane shows, or nothing once the pane was emptied.
TEST_F(PreviewInWindow, RecordsFreedWhileThePaneShowsOneAreNeverOpened)
{
    struct TCase {
        const char* Label;
        bool RemoveSingleFileGroups;
        std::string Opened;
    };
    const std::vector<TCase> cases = {
        {"the survivor stays in the grid", false, "a/notes.txt, row 0"},
        {"groups left with one file are removed", true, "nothing"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TTestMainForm& form = Scanned();
        AppSettings.PreserveGroupOrder = true;
        SelectAndWait(form, RowOf(form, "b/notes.txt"));
        auto* action = Child<QComboBox>(form, "PerformActionComboBox");
        action->setCurrentIndex(paDelete);
        Q_EMIT action->activated(paDelete);
        FQuestions.AnswerConfirm(true);
        std::vector<std::string> log;
        FQuestions.AnswerDialog(testing_support::RunToEnd(log));
        Child<QPushButton>(form, "PerformActionButton")->click();
        ASSERT_EQ(FQuestions.AnswersLeft(), 0u);
        EXPECT_EQ(form.PreviewImage->Tag(), nullptr);

        SelectAndWait(form, RowOf(form, "a/notes.txt"));
        AppSettings.RemoveSingleFileGroups = c.RemoveSingleFileGroups;
        form.DupGrid->horizontalHeader()->sectionClicked(FileNameColumn);

        std::string opened = "nothing";
        WhileWindowShows([&](TPreviewForm&) { opened = WindowShows(form); });
        Q_EMIT form.PreviewImage->Clicked();
        EXPECT_EQ(opened, c.Opened);
        FQuestions = TScriptedQuestions();
        FForm->close();
        FForm.reset();
        fs::remove_all(FTree.Path("scan"));
        AppSettings.RemoveSingleFileGroups = false;
    }
}

// A command that frees the records (here New Project, as the tray's menu can start a scan)
// while the window shows one closes the window first: it reads no freed record afterwards.
TEST_F(PreviewInWindow, FreeingTheRecordsClosesTheWindowShowingOne)
{
    TTestMainForm& form = Scanned();
    bool closed = false;
    WhileWindowShows([&](TPreviewForm& window) {
        FQuestions.AnswerFolder("");
        form.ActionNewScanExecute();
        closed = window.CurrentImage == nullptr && form.DupGrid->RowCount() == 0;
        QTest::keyClick(&window, Qt::Key_C);
        Child<QPushButton>(window, "NextBtn")->click();
        Child<QCheckBox>(window, "DuplicateChk")->click();
    });
    form.DupGridCellDblClick(FileNameColumn, 0);
    EXPECT_TRUE(closed);
    EXPECT_EQ(form.PreviewImage->Tag(), nullptr);
    EXPECT_EQ(form.PreviewForm->CurrentImage, nullptr);
}

} // namespace
