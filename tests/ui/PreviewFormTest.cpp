#include "ui/PreviewFormUnit.h"

#include "engine/DImage.h"
#include "engine/Questions.h"
#include "toolkit/FileViewer.h"
#include "toolkit/ImageView.h"
#include "toolkit/PdfView.h"

#include "tests/support/TempTree.h"
#include "tests/toolkit/PreviewFixtures.h"

#include <QCheckBox>
#include <QLabel>
#include <QPdfView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace preview_fixtures;
using testing_support::TTempTree;

// The results grid as a plain list of records: its selection, its check boxes, and how often
// the counts caption and the modified mark were brought up to date.
class TListNavigator : public TPreviewNavigator {
public:
    void Add(const std::string& folder, const std::string& name, std::int64_t size,
        std::uint8_t checkState = 0)
    {
        platform::TFindRecord found;
        found.Name = name;
        found.Size = size;
        found.Kind = platform::TEntryKind::ekRegular;
        auto record = std::make_unique<TDImage>(folder, found);
        record->CheckState = checkState;
        CheckCells.push_back(checkState != 0);
        Records.push_back(std::move(record));
    }

    int SelectedRow() const override { return Selected; }
    int RowCount() const override { return int(Records.size()); }
    TDImage* RowRecord(int row) const override { return Records[std::size_t(row)].get(); }
    void SelectRow(int row) override { Selected = row; }
    void RowCheckStateChanged(int row) override
    {
        CheckCells[std::size_t(row)] = Records[std::size_t(row)]->CheckState != 0;
        ++CountsUpdates;
    }

    std::vector<std::unique_ptr<TDImage>> Records;
    std::vector<bool> CheckCells;
    int Selected = 0;
    int CountsUpdates = 0;
};

struct TWindowFixture {
    TWindowFixture()
        : Scoped(Questions)
    {
        Form.SetNavigator(&Grid);
    }

    // Opens the window on the grid's row, as a double click there does; `user` acts while it
    // shows and its result is the window's.
    int Open(int row, std::function<void()> user)
    {
        Grid.Selected = row;
        Form.CurrentImage = Grid.RowRecord(row);
        Questions.AnswerDialog([this, user](QObject*) {
            user();
            return Form.result();
        });
        return Form.Execute();
    }

    template<typename T>
    T* Child(const char* name)
    {
        return Form.findChild<T*>(QString::fromLatin1(name));
    }

    void Key(int key) { QTest::keyClick(Child<TFileViewer>("ATViewer"), Qt::Key(key)); }

    TScriptedQuestions Questions;
    TScopedQuestions Scoped;
    TListNavigator Grid;
    TPreviewForm Form;
};

TEST(PreviewWindow, PreviousAndNextWalkTheGridWithoutPassingItsEnds)
{
    TTempTree tree;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        tree.AddFile(name, std::string(name) + "\n");
    }
    struct TCase {
        int Row;
        bool Previous;
        bool Next;
        int AfterPageUpAndLeft; // the row after Page Up, then Left
        int AfterPageDownAndRight;
    };
    const std::vector<TCase> cases = {
        {0, false, true, 0, 2},
        {1, true, true, 0, 2},
        {2, true, false, 0, 2},
    };
    for (const TCase& c : cases) {
        TWindowFixture window;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            window.Grid.Add(tree.Root(), name, 2);
        }
        const int result = window.Open(c.Row, [&] {
            EXPECT_EQ(window.Form.RowIndex, c.Row);
            EXPECT_EQ(window.Child<QPushButton>("PreviousBtn")->isEnabled(), c.Previous);
            EXPECT_EQ(window.Child<QPushButton>("NextBtn")->isEnabled(), c.Next);
            // The keys reach the window before the viewer that has them.
            window.Key(Qt::Key_PageUp);
            window.Key(Qt::Key_Left);
            EXPECT_EQ(window.Form.RowIndex, c.AfterPageUpAndLeft) << "from row " << c.Row;
            EXPECT_EQ(window.Grid.Selected, c.AfterPageUpAndLeft);
            window.Key(Qt::Key_PageDown);
            window.Key(Qt::Key_Right);
            window.Key(Qt::Key_Right);
            EXPECT_EQ(window.Form.RowIndex, c.AfterPageDownAndRight) << "from row " << c.Row;
            EXPECT_EQ(window.Grid.Selected, c.AfterPageDownAndRight);
            EXPECT_EQ(window.Form.CurrentImage, window.Grid.RowRecord(c.AfterPageDownAndRight));
            EXPECT_EQ(window.Form.windowTitle(), Q(tree.Path("c.txt")) + QStringLiteral(" - 2 bytes"));
            EXPECT_FALSE(window.Child<QPushButton>("NextBtn")->isEnabled());
            // The buttons themselves never step past the ends either.
            window.Form.PreviousBtnClick(false);
            EXPECT_EQ(window.Form.RowIndex, 2);
            window.Key(Qt::Key_Escape);
        });
        EXPECT_EQ(result, QDialog::Rejected);
        // Closed, the window holds no record.
        EXPECT_EQ(window.Form.CurrentImage, nullptr);
    }
}

TEST(PreviewWindow, MarkAsDuplicateFollowsTheRecordAndTellsTheGrid)
{
    TTempTree tree;
    tree.AddFile("a.txt", "a\n");
    tree.AddFile("b.txt", "b\n");
    TWindowFixture window;
    window.Grid.Add(tree.Root(), "a.txt", 2, 1);
    window.Grid.Add(tree.Root(), "b.txt", 2, 0);
    TDImage* first = window.Grid.RowRecord(0);
    TDImage* second = window.Grid.RowRecord(1);
    window.Open(0, [&] {
        QCheckBox* mark = window.Child<QCheckBox>("DuplicateChk");
        struct TStep {
            const char* Label;
            std::function<void()> Act;
            std::uint8_t State;
        };
        const std::vector<TStep> steps = {
            {"checked by a rule shows ticked", [] {}, 1},
            {"untick", [&] { mark->click(); }, 0},
            {"tick: checked by hand", [&] { mark->click(); }, 2},
            {"C toggles", [&] { window.Key(Qt::Key_C); }, 0},
            {"Enter toggles", [&] { window.Key(Qt::Key_Return); }, 2},
            {"the keypad's Enter toggles", [&] { window.Key(Qt::Key_Enter); }, 0},
        };
        int updates = 0;
        for (const TStep& step : steps) {
            step.Act();
            EXPECT_EQ(first->CheckState, step.State) << step.Label;
            EXPECT_EQ(mark->isChecked(), step.State != 0) << step.Label;
            EXPECT_EQ(window.Grid.CheckCells[0], step.State != 0) << step.Label;
            if (step.State != 1) {
                EXPECT_EQ(window.Grid.CountsUpdates, ++updates) << step.Label;
            }
        }
        // The next row's record shows its own state and takes the mark.
        window.Key(Qt::Key_PageDown);
        EXPECT_FALSE(mark->isChecked());
        window.Key(Qt::Key_C);
        EXPECT_EQ(second->CheckState, 2);
        EXPECT_TRUE(window.Grid.CheckCells[1]);
        EXPECT_EQ(first->CheckState, 0);
    });
}

TEST(PreviewWindow, TheCaptionGivesThePathAndTheFullSize)
{
    TTempTree tree;
    tree.AddFile("a.txt", "abc");
    tree.AddFile("big.bin", "x");
    struct TCase {
        const char* Name;
        std::int64_t Size; // as the scan listed it
        const char* Caption;
    };
    const std::vector<TCase> cases = {
        {"a.txt", 3, " - 3 bytes"},
        {"big.bin", 5'000'000'000LL, " - 5000000000 bytes"},
    };
    for (const TCase& c : cases) {
        TWindowFixture window;
        window.Grid.Add(tree.Root(), c.Name, c.Size);
        window.Open(0, [&] {
            EXPECT_EQ(window.Form.windowTitle(),
                Q(tree.Path(c.Name)) + QString::fromLatin1(c.Caption));
        });
    }
}

TEST(PreviewWindow, AMissingFileIsReportedAndTheWindowDoesNotStayOpen)
{
    TTempTree tree;
    tree.AddFile("here.txt", "here\n");
    {
        // On opening: the window never shows.
        TWindowFixture window;
        window.Grid.Add(tree.Root(), "gone.txt", 4);
        bool shown = false;
        EXPECT_EQ(window.Open(0, [&] { shown = true; }), QDialog::Rejected);
        EXPECT_FALSE(shown);
        EXPECT_EQ(window.Questions.AskedTexts(TScriptedQuestions::qkError),
            std::vector<std::string>{"File not found!"});
        EXPECT_EQ(window.Questions.AskedTexts(TScriptedQuestions::qkDialog).size(), 0u);
        EXPECT_EQ(window.Form.CurrentImage, nullptr);
    }
    {
        // Through Next: the window closes.
        TWindowFixture window;
        window.Grid.Add(tree.Root(), "here.txt", 5);
        window.Grid.Add(tree.Root(), "gone.txt", 4);
        const int result = window.Open(0, [&] {
            EXPECT_TRUE(window.Questions.AskedTexts(TScriptedQuestions::qkError).empty());
            window.Key(Qt::Key_PageDown);
            EXPECT_EQ(window.Questions.AskedTexts(TScriptedQuestions::qkError),
                std::vector<std::string>{"File not found!"});
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(window.Grid.Selected, 1);
        EXPECT_EQ(window.Form.CurrentImage, nullptr);
    }
}

TEST(PreviewWindow, TheWheelZoomsAPictureAndScrollsAPdf)
{
    TTempTree tree;
    const std::string picture = tree.Path("p.png");
    const std::string pdf = tree.Path("d.pdf");
    const std::string html = tree.Path("page.html");
    WritePicture(picture, 900, 700, "PNG");
    WritePdf(pdf, 4);
    WriteBytes(html, "<html><body><b>bold</b></body></html>");
    TWindowFixture window;
    window.Grid.Add(tree.Root(), "p.png", 1);
    window.Grid.Add(tree.Root(), "d.pdf", 1);
    window.Grid.Add(tree.Root(), "page.html", 1);
    window.Open(0, [&] {
        window.Form.resize(600, 400);
        window.Form.show();
        auto* image = window.Child<TImageView>("PreviewImage");
        auto* zoom = window.Child<QLabel>("ZoomFactor");
        if (image->IsLoading()) {
            QSignalSpy loaded(image, &TImageView::Loaded);
            ASSERT_TRUE(loaded.wait(10000));
        }
        EXPECT_EQ(zoom->text(), QStringLiteral("Zoom Factor: 100%"));
        Wheel(image->viewport(), 1, QPointF(100, 100));
        EXPECT_EQ(zoom->text(), QStringLiteral("Zoom Factor: 125%"));
        QTest::mouseClick(image->viewport(), Qt::RightButton, {}, QPoint(100, 100));
        QTest::mouseClick(image->viewport(), Qt::RightButton, {}, QPoint(100, 100));
        EXPECT_EQ(zoom->text(), QStringLiteral("Zoom Factor: 80%"));

        window.Key(Qt::Key_PageDown);
        auto* pdfView = window.Child<TPdfView>("PdfView");
        ASSERT_EQ(window.Child<QStackedWidget>("ViewStack")->currentWidget(), pdfView);
        EXPECT_EQ(pdfView->PageCount(), 4);
        QScrollBar* bar = pdfView->View()->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
        Wheel(pdfView->View()->viewport(), -1);
        EXPECT_GT(bar->value(), 0);

        // No web pages here: the page shows as its source text.
        window.Key(Qt::Key_PageDown);
        auto* viewer = window.Child<TFileViewer>("ATViewer");
        EXPECT_EQ(viewer->Mode(), vmodeText);
        window.Form.hide();
    });
}

} // namespace
