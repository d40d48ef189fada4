#pragma once

#include <QString>
#include <QTextBrowser>

// A viewer for web pages of the scanned files. A scanned page is untrusted content: it is
// rendered as rich text, but nothing it refers to is loaded (no pictures, style sheets or
// frames, neither from the network nor from the disk) and no link is followed. XML and XSL
// files are shown as their source text. At most ReadLimit bytes of a file are read.
class TWebView : public QTextBrowser {
    Q_OBJECT
public:
    explicit TWebView(QWidget* parent = nullptr);

    static constexpr qint64 ReadLimit = 512 * 1024;

    // False when the file cannot be read (the view is then empty).
    bool LoadFile(const QString& path);
    void Clear();

    // Refuses every resource a page asks for.
    QVariant loadResource(int type, const QUrl& name) override;
};
