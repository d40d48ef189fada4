#include "toolkit/FileViewer.h"

#include "toolkit/HexView.h"
#include "toolkit/MediaView.h"
#include "toolkit/TextView.h"
#include "toolkit/WebView.h"

#include <QStackedLayout>

TFileViewer::TFileViewer(QWidget* parent)
    : QWidget(parent)
    , ExtInet(ExtensionSet(QString::fromLatin1(ExtInetList)))
    , FStack(new QStackedLayout(this))
    , FBlank(new QWidget(this))
    , FText(new TTextView(this))
    , FHex(new THexView(this))
    , FMedia(new TMediaView(this))
    , FWeb(new TWebView(this))
{
    FText->setObjectName(QStringLiteral("TextView"));
    FHex->setObjectName(QStringLiteral("HexView"));
    FMedia->setObjectName(QStringLiteral("MediaView"));
    FWeb->setObjectName(QStringLiteral("WebView"));
    FStack->setContentsMargins(0, 0, 0, 0);
    for (QWidget* view : {FBlank, static_cast<QWidget*>(FText), static_cast<QWidget*>(FHex),
             static_cast<QWidget*>(FMedia), static_cast<QWidget*>(FWeb)}) {
        FStack->addWidget(view);
    }
    FStack->setCurrentWidget(FBlank);
}

QWidget* TFileViewer::CurrentView() const
{
    switch (FMode) {
    case vmodeText:
        return FText;
    case vmodeHex:
        return FHex;
    case vmodeMedia:
        return FMedia;
    case vmodeWeb:
        return FWeb;
    default:
        return nullptr;
    }
}

bool TFileViewer::Open(const QString& path)
{
    Close();
    QByteArray head;
    bool truncated = false;
    if (!ReadFilePrefix(path, ViewerSniffSize, head, truncated)) {
        return false;
    }
    FFileName = path;
    TViewerMode mode = DetectViewerMode(PreviewExtension(path), head, ExtInet, WebEnabled);
    if (mode == vmodeNone) {
        mode = ModeUndetected;
    }
    return SetMode(mode);
}

bool TFileViewer::SetMode(TViewerMode mode)
{
    if (FFileName.isEmpty()) {
        return false;
    }
    // The view of the previous mode lets go of the file first.
    if (QWidget* previous = CurrentView(); previous != nullptr && FMode != mode) {
        if (previous == FText) {
            FText->Clear();
        } else if (previous == FHex) {
            FHex->Clear();
        } else if (previous == FMedia) {
            FMedia->Clear();
        } else if (previous == FWeb) {
            FWeb->Clear();
        }
    }
    bool ok = true;
    switch (mode) {
    case vmodeText:
        ok = FText->LoadFile(FFileName);
        break;
    case vmodeMedia:
        FMedia->LoadFile(FFileName);
        break;
    case vmodeWeb:
        ok = FWeb->LoadFile(FFileName);
        break;
    default:
        mode = vmodeHex;
        ok = FHex->LoadFile(FFileName);
        break;
    }
    FMode = ok ? mode : vmodeNone;
    FStack->setCurrentWidget(ok ? CurrentView() : FBlank);
    return ok;
}

void TFileViewer::Close()
{
    FText->Clear();
    FHex->Clear();
    FMedia->Clear();
    FWeb->Clear();
    FMode = vmodeNone;
    FFileName.clear();
    FStack->setCurrentWidget(FBlank);
}
