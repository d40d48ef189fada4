#include "toolkit/WebView.h"

#include "toolkit/TextView.h"
#include "toolkit/ViewerChoice.h"

#include <QStringConverter>
#include <QTextDocument>

namespace {

// A document that loads no resource at all. The plain document would read local files (and
// data addresses) by itself whenever its view gives it nothing.
class TRefusingDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

QString BreakLongWords(const QString& html, qsizetype width)
{
    QString result;
    result.reserve(html.size() + html.size() / width + 1);
    bool inTag = false;
    qsizetype run = 0; // characters of text since the last place to break
    for (const QChar c : html) {
        if (c == u'<') {
            inTag = true;
        } else if (c == u'>') {
            inTag = false;
        } else if (!inTag) {
            if (c.isSpace()) {
                run = 0;
            } else if (++run > width && !c.isLowSurrogate()) {
                result += QChar(0x200B);
                run = 1;
            }
        }
        result += c;
    }
    return result;
}

TWebView::TWebView(QWidget* parent)
    : QTextBrowser(parent)
{
    setDocument(new TRefusingDocument(this));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(tr("Web page"));
}

bool TWebView::LoadFile(const QString& path)
{
    QByteArray bytes;
    bool truncated = false;
    if (!ReadFilePrefix(path, ReadLimit, bytes, truncated)) {
        Clear();
        return false;
    }
    const QString ext = PreviewExtension(path);
    if (ext == u"xml" || ext == u"xsl") {
        setPlainText(BreakLongLines(DecodePreviewText(bytes, truncated), TTextView::LineLimit));
        return true;
    }
    // A page's own charset declaration counts before the guess by content.
    const auto declared = QStringConverter::encodingForHtml(bytes);
    if (declared && *declared != QStringConverter::Utf8) {
        QStringDecoder decoder(*declared);
        setHtml(BreakLongWords(decoder.decode(bytes), WordLimit));
    } else {
        setHtml(BreakLongWords(DecodePreviewText(bytes, truncated), WordLimit));
    }
    return true;
}

void TWebView::Clear()
{
    QTextBrowser::clear();
}

QVariant TWebView::loadResource(int, const QUrl&)
{
    return {};
}
