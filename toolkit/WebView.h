#pragma once

#include <QString>
#include <QTextBrowser>

// The page's source with a zero-width space after every `width` characters of text that offers
// no place to break a line (tags are left whole), so that the view lays out quickly: a long
// unbroken run takes it seconds otherwise. Display only.
QString BreakLongWords(const QString& html, qsizetype width);

// A viewer for web pages of the scanned files. A scanned page is untrusted content: it is
// rendered as rich text, but nothing it refers to is loaded (no pictures, style sheets or
// frames, neither from the network nor from the disk) and no link is followed. XML and XSL
// files are shown as their source text. At most ReadLimit bytes of a file are read.
class TWebView : public QTextBrowser {
    Q_OBJECT
public:
    explicit TWebView(QWidget* parent = nullptr);

    static constexpr qint64 ReadLimit = 128 * 1024;
    // Runs of text without a place to break are broken after this many characters.
    static constexpr qsizetype WordLimit = 200;

    // False when the file cannot be read (the view is then empty).
    bool LoadFile(const QString& path);
    void Clear();

    // Refuses every resource a page asks for.
    QVariant loadResource(int type, const QUrl& name) override;
};
