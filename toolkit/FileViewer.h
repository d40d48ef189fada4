#pragma once

#include "toolkit/ViewerChoice.h"

#include <QSet>
#include <QString>
#include <QWidget>

class QStackedLayout;
class THexView;
class TMediaView;
class TTextView;
class TWebView;

// The viewer for every file that is neither a picture nor a PDF: it detects the file's mode
// (media, web page, text; ModeUndetected when none fits) and shows it in the text, hex, media
// or web view, one at a time in the same place.
class TFileViewer : public QWidget {
    Q_OBJECT
public:
    explicit TFileViewer(QWidget* parent = nullptr);

    // The mode of a file that fits no other.
    TViewerMode ModeUndetected = vmodeHex;
    // Whether web pages are shown as such (off: they show as text).
    bool WebEnabled = true;
    // The extensions shown as web pages (lower case, without the dot).
    QSet<QString> ExtInet;

    // Detects the file's mode and shows it; false when the file cannot be read (the viewer is
    // then empty).
    bool Open(const QString& path);
    // Shows the open file in another mode (the hex view, say); false when it cannot be read.
    bool SetMode(TViewerMode mode);
    // Lets go of the file: every view is empty, the mode vmodeNone.
    void Close();

    TViewerMode Mode() const { return FMode; }
    const QString& FileName() const { return FFileName; }

    TTextView* TextView() const { return FText; }
    THexView* HexView() const { return FHex; }
    TMediaView* MediaView() const { return FMedia; }
    TWebView* WebView() const { return FWeb; }
    // The view of the current mode (null when none).
    QWidget* CurrentView() const;

private:
    QStackedLayout* FStack;
    QWidget* FBlank;
    TTextView* FText;
    THexView* FHex;
    TMediaView* FMedia;
    TWebView* FWeb;
    TViewerMode FMode = vmodeNone;
    QString FFileName;
};
