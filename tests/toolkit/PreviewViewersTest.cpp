#include "toolkit/FileViewer.h"
#include "toolkit/HexView.h"
#include "toolkit/ImageView.h"
#include "toolkit/PdfView.h"
#include "toolkit/TextView.h"
#include "toolkit/WebView.h"

#include "tests/support/TempTree.h"
#include "tests/toolkit/PreviewFixtures.h"

#include <QPdfView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace preview_fixtures;
using testing_support::TTempTree;

// ---- image view ------------------------------------------------------------------------------

TEST(ImageView, PicturesLoadOffTheUiThreadScaledToTheViewAndUnreadableOnesFail)
{
    TTempTree tree;
    const std::string big = tree.Path("big.png");
    const std::string small = tree.Path("small.jpg");
    const std::string cut = tree.Path("cut.png");
    const std::string fake = tree.Path("fake.png");
    WritePicture(big, 1600, 800, "PNG");
    WritePicture(small, 40, 30, "JPEG");
    WritePicture(cut, 600, 600, "PNG");
    TruncateFile(cut, QFile(Q(cut)).size() / 2);
    WriteBytes(fake, RandomBytes(2000));

    TImageView view;
    view.resize(400, 300);
    view.show();
    struct TCase {
        std::string Path;
        bool Ok;
        QSize PictureSize; // the picture's own size
        QSize MaxRead; // at most this large in memory
    };
    const std::vector<TCase> cases = {
        {big, true, QSize(1600, 800), QSize(400, 300)},
        {small, true, QSize(40, 30), QSize(40, 30)},
        {cut, false, QSize(), QSize()},
        {fake, false, QSize(), QSize()},
        {tree.Path("missing.png"), false, QSize(), QSize()},
    };
    for (const TCase& c : cases) {
        QSignalSpy loaded(&view, &TImageView::Loaded);
        view.LoadFile(Q(c.Path));
        ASSERT_TRUE(loaded.wait(10000)) << c.Path;
        EXPECT_EQ(loaded.first().first().toBool(), c.Ok) << c.Path;
        EXPECT_EQ(view.PictureSize(), c.PictureSize) << c.Path;
        EXPECT_FALSE(view.IsLoading());
        if (c.Ok) {
            const QSize maxRead = c.MaxRead * view.devicePixelRatioF();
            EXPECT_LE(view.Picture().width(), maxRead.width()) << c.Path;
            EXPECT_LE(view.Picture().height(), maxRead.height()) << c.Path;
        } else {
            EXPECT_TRUE(view.Picture().isNull()) << c.Path;
        }
    }
}

TEST(ImageView, ANewerLoadSupersedesAnOlderOneWhoseLateResultIsDropped)
{
    TTempTree tree;
    const std::string first = tree.Path("first.png");
    const std::string second = tree.Path("second.png");
    WritePicture(first, 3000, 3000, "PNG");
    WritePicture(second, 20, 10, "PNG");

    TImageView view;
    view.SetFitToView(false);
    QSignalSpy loaded(&view, &TImageView::Loaded);
    view.LoadFile(Q(first));
    view.LoadFile(Q(second));
    ASSERT_TRUE(loaded.wait(10000));
    // Wait until no result can still be on its way: the reading thread is idle and its queued
    // calls are delivered.
    QTRY_COMPARE_WITH_TIMEOUT(view.IsLoading(), false, 10000);
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(view.PictureSize(), QSize(20, 10));

    // Clear abandons a load: nothing arrives afterwards.
    QSignalSpy late(&view, &TImageView::Loaded);
    view.LoadFile(Q(first));
    view.Clear();
    EXPECT_FALSE(late.wait(1500));
    EXPECT_TRUE(view.Picture().isNull());
}

TEST(ImageView, InZoomModeTheWheelAndTheButtonsZoomAroundThePointer)
{
    TTempTree tree;
    const std::string path = tree.Path("p.png");
    WritePicture(path, 800, 600, "PNG");
    TImageView view;
    view.SetFitToView(false);
    view.resize(300, 200);
    view.show();
    QSignalSpy loaded(&view, &TImageView::Loaded);
    view.LoadFile(Q(path));
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_EQ(view.Zoom(), 100.0);

    QSignalSpy zoomed(&view, &TImageView::ZoomChanged);
    Wheel(view.viewport(), 1);
    EXPECT_GT(view.Zoom(), 100.0);
    Wheel(view.viewport(), -1);
    Wheel(view.viewport(), -1);
    EXPECT_LT(view.Zoom(), 100.0);
    EXPECT_EQ(zoomed.count(), 3);
    const double before = view.Zoom();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(150, 100));
    EXPECT_GT(view.Zoom(), before);
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, QPoint(150, 100));
    EXPECT_DOUBLE_EQ(view.Zoom(), before);
    // Larger than the view: it scrolls.
    view.SetZoom(400.0);
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(view.verticalScrollBar()->maximum(), 0);

    // In fit mode the wheel and the buttons do not zoom; a left click is a click.
    view.SetFitToView(true);
    const double fitted = view.Zoom();
    QSignalSpy clicked(&view, &TImageView::Clicked);
    Wheel(view.viewport(), 1);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(150, 100));
    EXPECT_EQ(view.Zoom(), fitted);
    EXPECT_EQ(clicked.count(), 1);
}

// ---- PDF view --------------------------------------------------------------------------------

TEST(PdfView, DocumentsWithoutPagesOrUnreadableOnesFailToLoad)
{
    TTempTree tree;
    const std::string good = tree.Path("good.pdf");
    const std::string empty = tree.Path("empty.pdf");
    const std::string corrupt = tree.Path("corrupt.pdf");
    const std::string cut = tree.Path("cut.pdf");
    WritePdf(good, 2);
    WriteZeroPagePdf(empty);
    WriteBytes(corrupt, "%PDF-1.4\n" + RandomBytes(3000));
    WritePdf(cut, 2);
    TruncateFile(cut, 20);
    struct TCase {
        std::string Path;
        bool Ok;
        int Pages;
    };
    const std::vector<TCase> cases = {
        {good, true, 2},
        {empty, false, 0},
        {corrupt, false, 0},
        {cut, false, 0},
        {tree.Path("missing.pdf"), false, 0},
    };
    TPdfView view;
    for (const TCase& c : cases) {
        EXPECT_EQ(view.LoadFile(Q(c.Path)), c.Ok) << c.Path;
        EXPECT_EQ(view.PageCount(), c.Pages) << c.Path;
    }
}

TEST(PdfView, OnePageAtATimeThePageButtonsTurnPagesWithoutCountingAsAClick)
{
    TTempTree tree;
    const std::string path = tree.Path("three.pdf");
    WritePdf(path, 3);
    TPdfView view;
    view.resize(400, 500);
    view.show();
    ASSERT_TRUE(view.LoadFile(Q(path)));
    QSignalSpy clicked(&view, &TPdfView::Clicked);
    EXPECT_EQ(view.CurrentPage(), 0);
    EXPECT_TRUE(view.NextPageButton()->isVisible());
    EXPECT_FALSE(view.PreviousPageButton()->isEnabled());

    QTest::mouseClick(view.NextPageButton(), Qt::LeftButton);
    QTest::mouseClick(view.NextPageButton(), Qt::LeftButton);
    EXPECT_EQ(view.CurrentPage(), 2);
    EXPECT_FALSE(view.NextPageButton()->isEnabled());
    // Clicking a disabled button at the end moves nothing.
    QTest::mouseClick(view.NextPageButton(), Qt::LeftButton);
    EXPECT_EQ(view.CurrentPage(), 2);
    QTest::mouseClick(view.PreviousPageButton(), Qt::LeftButton);
    EXPECT_EQ(view.CurrentPage(), 1);
    EXPECT_EQ(clicked.count(), 0);

    QTest::mouseClick(view.View()->viewport(), Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(PdfView, AllPagesScrollWithTheWheel)
{
    TTempTree tree;
    const std::string path = tree.Path("five.pdf");
    WritePdf(path, 5);
    TPdfView view;
    view.SetAllPages(true);
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(view.LoadFile(Q(path)));
    EXPECT_FALSE(view.NextPageButton()->isVisible());
    QScrollBar* bar = view.View()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
    Wheel(view.View()->viewport(), -1);
    EXPECT_GT(bar->value(), 0);
}

// ---- hex view -------------------------------------------------------------------------------

TEST(HexView, AHugeFileOpensAtOnceAndItsLastRowsAreReachable)
{
    TTempTree tree;
    struct TCase {
        const char* Name;
        std::int64_t Size;
        const char* FirstRow; // the offset as wide as the largest one needs
    };
    // 10 GB, and 64 GiB: more rows than a scroll bar counts.
    const std::vector<TCase> cases = {
        {"ten.bin", 10'000'000'000LL, "000000000  41 42 43 01 FF 00"},
        {"sixty-four.bin", std::int64_t(64) << 30, "0000000000  41 42 43 01 FF 00"},
    };
    THexView view;
    view.resize(600, 400);
    view.show();
    for (const TCase& c : cases) {
        const std::string path = tree.Path(c.Name);
        WriteSparse(path, QByteArray("ABC\x01\xFF", 5), c.Size);
        ASSERT_TRUE(view.LoadFile(Q(path))) << c.Name;
        EXPECT_EQ(view.FileSize(), c.Size);
        EXPECT_EQ(view.TopRow(), 0);
        const QString first = view.RowText(0);
        EXPECT_TRUE(first.startsWith(QString::fromLatin1(c.FirstRow))) << first.toStdString();
        EXPECT_TRUE(first.endsWith(QStringLiteral("ABC............."))) << first.toStdString();
        // At the end of the scroll bar the last row is on the screen.
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        const std::int64_t lastRow = (c.Size + 15) / 16 - 1;
        const std::int64_t rowsOnScreen = view.viewport()->height() / view.fontMetrics().height();
        EXPECT_GE(view.TopRow() + rowsOnScreen, lastRow) << c.Name;
        EXPECT_LE(view.TopRow(), lastRow) << c.Name;
        EXPECT_FALSE(view.RowText(lastRow).isEmpty()) << c.Name;
        EXPECT_TRUE(view.RowText(lastRow + 1).isEmpty()) << c.Name;
        view.viewport()->repaint();
    }
    view.Clear();
    EXPECT_EQ(view.FileSize(), 0);
    EXPECT_TRUE(view.RowText(0).isEmpty());
}

// ---- text and web views ---------------------------------------------------------------------

TEST(TextView, OnlyAPrefixOfALargeFileIsRead)
{
    TTempTree tree;
    const std::string path = tree.Path("long.txt");
    WriteBytes(path, (QByteArray(63, 'a') + '\n').repeated(3 * TTextView::ReadLimit / 64));
    TTextView view;
    ASSERT_TRUE(view.LoadFile(Q(path)));
    EXPECT_EQ(view.toPlainText().size(), TTextView::ReadLimit);
    EXPECT_FALSE(view.LoadFile(Q(tree.Path("missing.txt"))));
    EXPECT_TRUE(view.toPlainText().isEmpty());
}

TEST(WebView, APageIsRenderedButLoadsNothingItRefersTo)
{
    TTempTree tree;
    const std::string picture = tree.Path("local.png");
    WritePicture(picture, 20, 20, "PNG");
    const QUrl local = QUrl::fromLocalFile(Q(picture));
    const QUrl remote(QStringLiteral("http://example.invalid/remote.png"));
    const QUrl sheet(QStringLiteral("http://example.invalid/style.css"));
    const std::string page = tree.Path("page.html");
    WriteBytes(page,
        "<html><head><link rel=\"stylesheet\" href=\"" + sheet.toEncoded()
            + "\"></head><body><h1>Heading</h1><img src=\"" + local.toEncoded()
            + "\"><img src=\"" + remote.toEncoded()
            + "\"><a href=\"http://example.invalid/\">link</a></body></html>");
    const std::string xml = tree.Path("data.XML");
    WriteBytes(xml, "<?xml version=\"1.0\"?><root><item>x</item></root>");

    TWebView view;
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(view.LoadFile(Q(page)));
    EXPECT_TRUE(view.toPlainText().contains(QStringLiteral("Heading")));
    EXPECT_FALSE(view.toPlainText().contains(u'<'));
    view.repaint();
    for (const QUrl& url : {local, remote}) {
        EXPECT_FALSE(view.document()->resource(QTextDocument::ImageResource, url).isValid())
            << url.toString().toStdString();
    }
    EXPECT_FALSE(view.document()->resource(QTextDocument::StyleSheetResource, sheet).isValid());
    EXPECT_FALSE(view.openLinks());
    EXPECT_FALSE(view.openExternalLinks());

    // XML shows as its source.
    ASSERT_TRUE(view.LoadFile(Q(xml)));
    EXPECT_TRUE(view.toPlainText().contains(QStringLiteral("<item>x</item>")));
}

TEST(TextAndWebViews, LongRunsAreBrokenForDisplayOnlyWhereTheyHaveNoPlaceToBreak)
{
    const QChar zw(0x200B);
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two halves
    struct TCase {
        const char* Label;
        QString Text;
        qsizetype Width;
        QString Lines; // BreakLongLines
        QString Page; // BreakLongWords
    };
    const std::vector<TCase> cases = {
        {"short lines stay", QStringLiteral("ab\ncd"), 2, QStringLiteral("ab\ncd"),
            QStringLiteral("ab\ncd")},
        {"a long line", QStringLiteral("abcde"), 2, QStringLiteral("ab\ncd\ne"),
            QStringLiteral("ab") + zw + QStringLiteral("cd") + zw + QStringLiteral("e")},
        {"the count starts again at each break", QStringLiteral("ab cde\nfgh"), 2,
            QStringLiteral("ab\n c\nde\nfg\nh"),
            QStringLiteral("ab cd") + zw + QStringLiteral("e\nfg") + zw + QStringLiteral("h")},
        {"tags stay whole", QStringLiteral("<a href=\"xxxxxx\">yyy</a>"), 2,
            QStringLiteral("<a\n h\nre\nf=\n\"x\nxx\nxx\nx\"\n>y\nyy\n</\na>"),
            QStringLiteral("<a href=\"xxxxxx\">yy") + zw + QStringLiteral("y</a>")},
        {"a surrogate pair is never split", QStringLiteral("a") + face, 1,
            QStringLiteral("a\n") + face, QStringLiteral("a") + zw + face},
        {"empty", QString(), 3, QString(), QString()},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(BreakLongLines(c.Text, c.Width), c.Lines) << c.Label;
        EXPECT_EQ(BreakLongWords(c.Text, c.Width), c.Page) << c.Label;
    }
}

// ---- the general viewer ----------------------------------------------------------------------

TEST(FileViewer, AFileOfNoDetectedModeShowsAsHexAndCloseLetsGoOfIt)
{
    TTempTree tree;
    const std::string binary = tree.Path("x.dat");
    WriteBytes(binary, RandomBytes(5000));
    const std::string text = tree.Path("x.txt");
    WriteBytes(text, "hello\n");
    TFileViewer viewer;
    struct TCase {
        std::string Path;
        bool WebEnabled;
        TViewerMode Mode;
        QWidget* View;
    };
    const std::vector<TCase> cases = {
        {binary, true, vmodeHex, viewer.HexView()},
        {text, true, vmodeText, viewer.TextView()},
    };
    for (const TCase& c : cases) {
        viewer.WebEnabled = c.WebEnabled;
        ASSERT_TRUE(viewer.Open(Q(c.Path))) << c.Path;
        EXPECT_EQ(viewer.Mode(), c.Mode) << c.Path;
        EXPECT_EQ(viewer.CurrentView(), c.View) << c.Path;
    }
    EXPECT_TRUE(viewer.SetMode(vmodeHex));
    EXPECT_EQ(viewer.HexView()->FileSize(), 6);
    EXPECT_TRUE(viewer.TextView()->toPlainText().isEmpty());
    viewer.Close();
    EXPECT_EQ(viewer.Mode(), vmodeNone);
    EXPECT_EQ(viewer.HexView()->FileSize(), 0);
    EXPECT_FALSE(viewer.Open(Q(tree.Path("missing"))));
    EXPECT_EQ(viewer.Mode(), vmodeNone);
}

} // namespace
