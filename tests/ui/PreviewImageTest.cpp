#include "ui/PreviewImage.h"

#include "toolkit/FileViewer.h"
#include "toolkit/ImageView.h"
#include "toolkit/PdfView.h"

#include "tests/support/TempTree.h"
#include "tests/toolkit/PreviewFixtures.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPdfView>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace preview_fixtures;
using testing_support::TTempTree;

// The pane beside a stand-in for the results grid, in a window of their own.
struct TPaneHost {
    TPaneHost()
    {
        Window.resize(700, 400);
        auto* layout = new QHBoxLayout(&Window);
        Grid = new QLineEdit(&Window);
        Grid->setObjectName(QStringLiteral("DupGrid"));
        Pane = new TPreviewImage(&Window);
        layout->addWidget(Grid);
        layout->addWidget(Pane, 1);
        Window.show();
        QApplication::setActiveWindow(&Window);
        Grid->setFocus();
    }

    // What the grid does on a row's selection, then the event loop's turn for the pane.
    void Select(const std::string& path, TDImage* record = nullptr)
    {
        Pane->SetFileName(path);
        Pane->RequestPreview(Grid);
        Pane->SetTag(record);
        QCoreApplication::sendPostedEvents(Pane, QEvent::MetaCall);
    }

    // Select, and for a picture wait until it has arrived.
    bool SelectAndWait(const std::string& path)
    {
        QSignalSpy loaded(Pane->ImageView(), &TImageView::Loaded);
        Select(path);
        return !Pane->ImageView()->IsLoading() || loaded.wait(10000);
    }

    bool ShowsNotice() const
    {
        return Pane->Shown() == Pane->NoticeLabel()
            && Pane->NoticeLabel()->text() == QStringLiteral("Invalid file.");
    }

    QWidget Window;
    QLineEdit* Grid;
    TPreviewImage* Pane;
};

TEST(PreviewPane, EachFileShowsInItsViewer)
{
    TTempTree tree;
    const std::string pdf = tree.Path("x.PDF");
    const std::string jpg = tree.Path("x.JPG");
    const std::string mp4 = tree.Path("x.mp4");
    const std::string avi = tree.Path("x.avi");
    const std::string noise = tree.Path("noise.dat");
    const std::string text = tree.Path("notes.txt");
    const std::string html = tree.Path("page.html");
    const std::string playlist = tree.Path("list.m3u");
    WritePdf(pdf, 2);
    WritePicture(jpg, 120, 80, "JPEG");
    WriteBytes(mp4, RandomBytes(3000));
    WriteBytes(avi, RandomBytes(3000, 7));
    WriteBytes(noise, RandomBytes(3000, 9));
    WriteBytes(text, "Grüße\n");
    WriteBytes(html, "<html><body><h1>Title</h1>"
                     "<img src=\"http://example.invalid/a.png\"></body></html>");
    WriteBytes(playlist, "#EXTM3U\nhttp://example.invalid/stream.mp3\n");

    TPaneHost host;
    TPreviewImage* pane = host.Pane;
    struct TCase {
        std::string Path;
        QWidget* Shown;
        TViewerMode Mode;
    };
    const std::vector<TCase> cases = {
        {pdf, pane->PdfView(), vmodeNone},
        {jpg, pane->ImageView(), vmodeNone},
        {mp4, pane->Viewer(), vmodeMedia},
        {avi, pane->Viewer(), vmodeMedia},
        {noise, pane->Viewer(), vmodeHex},
        {text, pane->Viewer(), vmodeText},
        {html, pane->Viewer(), vmodeWeb},
        {playlist, pane->Viewer(), vmodeText},
        {pdf, pane->PdfView(), vmodeNone},
    };
    for (const TCase& c : cases) {
        ASSERT_TRUE(host.SelectAndWait(c.Path)) << c.Path;
        EXPECT_EQ(pane->Shown(), c.Shown) << c.Path;
        EXPECT_EQ(pane->Viewer()->Mode(), c.Mode) << c.Path;
    }
    EXPECT_EQ(pane->PdfView()->PageCount(), 2);
    ASSERT_TRUE(host.SelectAndWait(jpg));
    EXPECT_EQ(pane->ImageView()->PictureSize(), QSize(120, 80));
    EXPECT_EQ(pane->PdfView()->PageCount(), 0);
}

TEST(PreviewPane, XmlBelowTheSizeLimitIsAWebPageAndFromTheLimitOnText)
{
    TTempTree tree;
    const QByteArray head = "<?xml version=\"1.0\"?>\n<root>\n" + QByteArray(8000, 'x') + "\n";
    struct TCase {
        const char* Name;
        std::int64_t Size;
        TViewerMode Mode;
    };
    const std::vector<TCase> cases = {
        {"a.xml", 5242879, vmodeWeb},
        {"b.xml", 5242880, vmodeText},
        {"C.XML", 5242879, vmodeWeb},
        {"D.XML", 5242880, vmodeText},
    };
    TPaneHost host;
    for (const TCase& c : cases) {
        const std::string path = tree.Path(c.Name);
        WriteSparse(path, head, c.Size);
        host.Select(path);
        EXPECT_EQ(host.Pane->Viewer()->Mode(), c.Mode) << c.Name;
    }
}

TEST(PreviewPane, FilesThatCannotBeShownGiveTheNoticeAndTheNextFileHidesIt)
{
    TTempTree tree;
    const std::string empty = tree.Path("empty.pdf");
    const std::string corrupt = tree.Path("corrupt.pdf");
    const std::string cut = tree.Path("cut.png");
    const std::string good = tree.Path("good.png");
    WriteZeroPagePdf(empty);
    WriteBytes(corrupt, "%PDF-1.7\n" + RandomBytes(2000));
    WritePicture(cut, 300, 300, "PNG");
    TruncateFile(cut, QFile(Q(cut)).size() / 2);
    WritePicture(good, 30, 30, "PNG");

    TPaneHost host;
    for (const std::string& path : {empty, corrupt, cut}) {
        ASSERT_TRUE(host.SelectAndWait(good));
        EXPECT_EQ(host.Pane->Shown(), host.Pane->ImageView());
        ASSERT_TRUE(host.SelectAndWait(path)) << path;
        EXPECT_TRUE(host.ShowsNotice()) << path;
    }
    ASSERT_TRUE(host.SelectAndWait(good));
    EXPECT_EQ(host.Pane->Shown(), host.Pane->ImageView());
    EXPECT_FALSE(host.Pane->ImageView()->Picture().isNull());
}

TEST(PreviewPane, ALargePictureFollowedQuicklyByATextFileShowsTheText)
{
    TTempTree tree;
    const std::string big = tree.Path("big.png");
    const std::string text = tree.Path("after.txt");
    WritePicture(big, 4000, 3000, "PNG");
    WriteBytes(text, "the text file\n");

    TPaneHost host;
    host.Select(big);
    EXPECT_TRUE(host.Pane->ImageView()->IsLoading());
    host.Select(text);
    // Whenever the picture's reading ends, its result must not replace the text.
    ASSERT_TRUE(host.Pane->ImageView()->WaitUntilReadsEnd(20000));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(host.Pane->Shown(), host.Pane->Viewer());
    EXPECT_EQ(host.Pane->Viewer()->Mode(), vmodeText);
    EXPECT_TRUE(host.Pane->ImageView()->Picture().isNull());

    // Requests made before the event loop's turn make one preview, of the last file named.
    host.Pane->SetFileName(big);
    host.Pane->RequestPreview(host.Grid);
    host.Pane->SetFileName(text);
    host.Pane->RequestPreview(host.Grid);
    QCoreApplication::sendPostedEvents(host.Pane, QEvent::MetaCall);
    EXPECT_FALSE(host.Pane->ImageView()->IsLoading());
    EXPECT_EQ(host.Pane->Viewer()->Mode(), vmodeText);
}

TEST(PreviewPane, UntickingEnablePreviewClearsThePaneAndStopsPreviews)
{
    TTempTree tree;
    const std::string text = tree.Path("a.txt");
    const std::string other = tree.Path("b.txt");
    WriteBytes(text, "a\n");
    WriteBytes(other, "b\n");
    TPaneHost host;
    TPreviewImage* pane = host.Pane;
    auto* record = reinterpret_cast<TDImage*>(std::uintptr_t(0x1000));
    host.Select(text, record);
    EXPECT_EQ(pane->Viewer()->Mode(), vmodeText);
    EXPECT_EQ(pane->Tag(), record);

    // A request still queued when the box is unticked finds the pane cleared.
    pane->SetFileName(other);
    pane->RequestPreview(host.Grid);
    const QPoint box(8, pane->EnableCheckBox()->height() / 2);
    QTest::mouseClick(pane->EnableCheckBox(), Qt::LeftButton, {}, box);
    EXPECT_FALSE(pane->IsPreviewEnabled());
    EXPECT_EQ(pane->Viewer()->Mode(), vmodeNone);
    EXPECT_EQ(pane->Tag(), nullptr);
    EXPECT_EQ(pane->Shown(), pane->ImageView());
    QCoreApplication::sendPostedEvents(pane, QEvent::MetaCall);
    EXPECT_EQ(pane->Viewer()->Mode(), vmodeNone);

    QTest::mouseClick(pane->EnableCheckBox(), Qt::LeftButton, {}, box);
    EXPECT_TRUE(pane->IsPreviewEnabled());
    host.Select(other);
    EXPECT_EQ(pane->Viewer()->Mode(), vmodeText);
}

TEST(PreviewPane, AFileDeletedSinceTheScanLeavesThePreviousContent)
{
    TTempTree tree;
    const std::string text = tree.Path("kept.txt");
    const std::string gone = tree.Path("gone.png");
    WriteBytes(text, "kept\n");
    TPaneHost host;
    host.Select(text);
    ASSERT_EQ(host.Pane->Viewer()->Mode(), vmodeText);
    host.Select(gone);
    EXPECT_EQ(host.Pane->Shown(), host.Pane->Viewer());
    EXPECT_EQ(host.Pane->Viewer()->Mode(), vmodeText);
    EXPECT_EQ(host.Pane->Viewer()->FileName(), Q(text));
}

TEST(PreviewPane, AfterAPdfATextFileLeavesTheFocusOnTheGrid)
{
    TTempTree tree;
    const std::string pdf = tree.Path("doc.pdf");
    const std::string text = tree.Path("doc.txt");
    WritePdf(pdf, 1);
    WriteBytes(text, "text\n");
    TPaneHost host;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host.Window));
    host.Select(pdf);
    ASSERT_EQ(host.Pane->Shown(), host.Pane->PdfView());
    host.Pane->PdfView()->View()->setFocus();
    host.Select(text);
    EXPECT_EQ(host.Pane->Shown(), host.Pane->Viewer());
    EXPECT_EQ(QApplication::focusWidget(), host.Grid);
}

TEST(PreviewPane, AClickOnThePictureOrThePageIsThePanesClickButAPageButtonIsNot)
{
    TTempTree tree;
    const std::string picture = tree.Path("p.png");
    const std::string pdf = tree.Path("d.pdf");
    const std::string text = tree.Path("t.txt");
    WritePicture(picture, 50, 50, "PNG");
    WritePdf(pdf, 3);
    WriteBytes(text, "t\n");
    TPaneHost host;
    TPreviewImage* pane = host.Pane;
    QSignalSpy clicked(pane, &TPreviewImage::Clicked);

    ASSERT_TRUE(host.SelectAndWait(picture));
    QTest::mouseClick(pane->ImageView()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicked.count(), 1);

    host.Select(pdf);
    QTest::mouseClick(pane->PdfView()->NextPageButton(), Qt::LeftButton);
    EXPECT_EQ(pane->PdfView()->CurrentPage(), 1);
    EXPECT_EQ(clicked.count(), 1);
    QTest::mouseClick(pane->PdfView()->View()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicked.count(), 2);

    host.Select(text);
    QTest::mouseClick(pane->Viewer()->CurrentView(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicked.count(), 2);
}

} // namespace
