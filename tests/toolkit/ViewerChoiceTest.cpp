#include "toolkit/ViewerChoice.h"

#include "tests/toolkit/PreviewFixtures.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using preview_fixtures::RandomBytes;

const char* KindName(TPreviewKind kind)
{
    switch (kind) {
    case pkImage:
        return "image";
    case pkPdf:
        return "pdf";
    case pkText:
        return "text";
    case pkHex:
        return "hex";
    case pkMedia:
        return "media";
    case pkWeb:
        return "web";
    }
    return "?";
}

TEST(ViewerChoice, EachFileGoesToTheViewerItsExtensionAndContentCallFor)
{
    const QByteArray utf8Text = "Grüße aus Köln\nzweite Zeile\n";
    const QByteArray html = "<html><body><h1>Title</h1><img src=\"http://example.invalid/a.png\">"
                            "</body></html>";
    const QByteArray playlist = "#EXTM3U\nhttp://example.invalid/stream.mp3\n";
    const QByteArray binary = RandomBytes(4096);
    const QSet<QString> webList = ExtensionSet(QString::fromLatin1(ExtInetList));
    QSet<QString> webListWithoutXml = webList;
    webListWithoutXml.remove(QStringLiteral("xml"));
    struct TCase {
        const char* Path;
        QByteArray Head;
        bool WebEnabled;
        const QSet<QString>* Web;
        TPreviewKind Expected;
    };
    const std::vector<TCase> cases = {
        {"/d/x.PDF", "%PDF-1.4", true, &webList, pkPdf},
        {"/d/x.pdf", binary, true, &webList, pkPdf},
        {"/d/x.JPG", binary, true, &webList, pkImage},
        {"/d/x.png", binary, true, &webList, pkImage},
        {"/d/x.svg", "<svg/>", true, &webList, pkImage},
        // Video types go to the media view, never to the picture readers.
        {"/d/x.mp4", binary, true, &webList, pkMedia},
        {"/d/x.avi", binary, true, &webList, pkMedia},
        {"/d/x.MKV", binary, true, &webList, pkMedia},
        {"/d/song.mp3", binary, true, &webList, pkMedia},
        {"/d/noise.bin", binary, true, &webList, pkHex},
        {"/d/noise", binary, true, &webList, pkHex},
        // A picture type the readers here do not know: by content.
        {"/d/x.psd", binary, true, &webList, pkHex},
        {"/d/notes.txt", utf8Text, true, &webList, pkText},
        {"/d/README", utf8Text, true, &webList, pkText},
        {"/d/.bashrc", "alias ll='ls -l'\n", true, &webList, pkText},
        {"/d/empty.dat", "", true, &webList, pkText},
        {"/d/page.html", html, true, &webList, pkWeb},
        {"/d/PAGE.HTM", html, true, &webList, pkWeb},
        // The preview window shows no web pages.
        {"/d/page.html", html, false, &webList, pkText},
        // A web type whose content is binary is no page to render.
        {"/d/movie.swf", binary, true, &webList, pkHex},
        {"/d/data.xml", "<?xml version=\"1.0\"?><a/>", true, &webList, pkWeb},
        {"/d/data.xml", "<?xml version=\"1.0\"?><a/>", true, &webListWithoutXml, pkText},
        // Playlists name addresses a player would fetch: shown as text, never played.
        {"/d/list.m3u", playlist, true, &webList, pkText},
        {"/d/list.pls", "[playlist]\nFile1=http://example.invalid/a\n", true, &webList, pkText},
        {"/d/list.ASX", "<asx><entry><ref href=\"http://x\"/></entry></asx>", true, &webList,
            pkText},
        {"/d/utf16.txt", QByteArray("\xFF\xFEh\0i\0", 6), true, &webList, pkText},
    };
    for (const TCase& c : cases) {
        const TPreviewKind kind
            = ChoosePreview(QString::fromLatin1(c.Path), c.Head, *c.Web, c.WebEnabled);
        EXPECT_STREQ(KindName(kind), KindName(c.Expected))
            << c.Path << (c.WebEnabled ? "" : " (web off)");
    }
}

TEST(ViewerChoice, XmlIsAWebPageBelowTheSizeLimitWhateverTheCaseOfItsExtension)
{
    struct TCase {
        const char* Path;
        std::int64_t Size;
        bool XmlBefore;
        bool XmlAfter;
    };
    const std::vector<TCase> cases = {
        {"/d/a.xml", 5242879, false, true},
        {"/d/a.xml", 5242880, true, false},
        {"/d/A.XML", 5242879, false, true},
        {"/d/A.XML", 5242880, true, false},
        {"/d/a.Xml", 0, false, true},
        // The full 64-bit size counts: 4 GiB + 10 bytes is not 10 bytes.
        {"/d/a.xml", (std::int64_t(1) << 32) + 10, true, false},
        // Only ".xml" itself: neither a longer extension nor another type touches the list.
        {"/d/a.xmlx", 10, false, false},
        {"/d/a.xmlx", 10, true, true},
        {"/d/a.html", 10, false, false},
        {"/d/xml", 10, false, false},
    };
    for (const TCase& c : cases) {
        QSet<QString> web = ExtensionSet(QStringLiteral("htm,html"));
        if (c.XmlBefore) {
            web.insert(QStringLiteral("xml"));
        }
        AdjustXmlForSize(web, QString::fromLatin1(c.Path), c.Size);
        EXPECT_EQ(web.contains(QStringLiteral("xml")), c.XmlAfter) << c.Path << " " << c.Size;
        EXPECT_FALSE(web.contains(QStringLiteral("xmlx"))) << c.Path;
        EXPECT_TRUE(web.contains(QStringLiteral("html"))) << c.Path;
    }
}

TEST(ViewerChoice, TextIsDecodedByItsMarkElseAsUtf8ElseAsLatin1)
{
    struct TCase {
        const char* Label;
        QByteArray Bytes;
        bool Truncated;
        QString Expected;
    };
    const std::vector<TCase> cases = {
        {"UTF-8 mark", "\xEF\xBB\xBF" "caf\xC3\xA9", false, QStringLiteral("café")},
        {"UTF-16 little-endian mark", QByteArray("\xFF\xFE" "c\0a\0f\0\xE9\0", 10), false,
            QStringLiteral("café")},
        {"UTF-16 big-endian mark", QByteArray("\xFE\xFF\0c\0a\0f\0\xE9", 10), false,
            QStringLiteral("café")},
        {"valid UTF-8", "Gr\xC3\xBC\xC3\x9F" "e", false, QStringLiteral("Grüße")},
        {"not UTF-8: Latin-1", "caf\xE9 cr\xE8me", false, QStringLiteral("café crème")},
        // A prefix that cuts the last character: the cut character is dropped, the rest
        // stays UTF-8.
        {"prefix cut inside a character", "Gr\xC3\xBC\xC3", true, QStringLiteral("Grü")},
        // The same bytes as a whole file end on a broken character: not UTF-8.
        {"whole file ending inside a character", "Gr\xC3\xBC\xC3", false,
            QStringLiteral("GrÃ¼Ã")},
        {"empty", "", false, QString()},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(DecodePreviewText(c.Bytes, c.Truncated), c.Expected) << c.Label;
    }
}

} // namespace
