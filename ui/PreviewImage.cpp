#include "ui/PreviewImage.h"

#include "toolkit/FileViewer.h"
#include "toolkit/ImageView.h"
#include "toolkit/PdfView.h"
#include "toolkit/ViewerChoice.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <exception>

namespace {

const char* const InvalidFileText = "Invalid file.";

} // namespace

TPreviewImage::TPreviewImage(QWidget* parent)
    : QFrame(parent)
    , FStack(new QStackedLayout)
    , FImageView(new TImageView(this))
    , FPdfView(new TPdfView(this))
    , FViewer(new TFileViewer(this))
    , FNoticeLabel(new QLabel(this))
    , FEnableCheckBox(new QCheckBox(tr("Enable preview"), this))
{
    setObjectName(QStringLiteral("PreviewImage"));
    setAccessibleName(tr("Preview"));
    setFrameShape(QFrame::NoFrame);
    setCursor(Qt::PointingHandCursor);

    FImageView->setObjectName(QStringLiteral("ImageView"));
    FImageView->SetFitToView(true);
    FPdfView->setObjectName(QStringLiteral("PdfView"));
    FPdfView->SetAllPages(false);
    FViewer->setObjectName(QStringLiteral("Viewer"));
    FViewer->ModeUndetected = vmodeHex;
    FNoticeLabel->setObjectName(QStringLiteral("NoticeLabel"));
    FNoticeLabel->setAlignment(Qt::AlignCenter);
    FNoticeLabel->setWordWrap(true);
    FNoticeLabel->setTextFormat(Qt::PlainText);
    FNoticeLabel->setCursor(Qt::ArrowCursor);
    FEnableCheckBox->setObjectName(QStringLiteral("EnableCheckBox"));
    FEnableCheckBox->setAccessibleName(tr("Enable preview"));
    FEnableCheckBox->setChecked(true);
    FEnableCheckBox->setCursor(Qt::ArrowCursor);

    FStack->setContentsMargins(0, 0, 0, 0);
    FStack->addWidget(FImageView);
    FStack->addWidget(FPdfView);
    FStack->addWidget(FViewer);
    FStack->addWidget(FNoticeLabel);
    FStack->setCurrentWidget(FImageView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(FStack, 1);
    layout->addWidget(FEnableCheckBox);

    connect(FEnableCheckBox, &QCheckBox::clicked, this, &TPreviewImage::EnableCheckBoxClick);
    connect(FImageView, &TImageView::Loaded, this, &TPreviewImage::ImageLoaded);
    connect(FImageView, &TImageView::Clicked, this, &TPreviewImage::Clicked);
    connect(FPdfView, &TPdfView::Clicked, this, &TPreviewImage::Clicked);
}

void TPreviewImage::SetFileName(const std::string& path)
{
    FFileName = path;
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (info.exists()) {
        AdjustXmlForSize(FViewer->ExtInet, name, info.size());
    }
}

bool TPreviewImage::IsPreviewEnabled() const
{
    return FEnableCheckBox->isChecked();
}

void TPreviewImage::ClearPreview()
{
    FViewer->Close();
    FPdfView->Clear();
    FImageView->Clear();
    FStack->setCurrentWidget(FImageView);
    FTag = nullptr;
}

void TPreviewImage::ShowNotice(const QString& text, bool show)
{
    FNoticeLabel->setText(show ? text : QString());
    if (show) {
        FStack->setCurrentWidget(FNoticeLabel);
    } else if (FStack->currentWidget() == FNoticeLabel) {
        FStack->setCurrentWidget(FImageView);
    }
}

QWidget* TPreviewImage::Shown() const
{
    return FStack->currentWidget();
}

void TPreviewImage::RequestPreview(QWidget* grid)
{
    FRequestGrid = grid;
    if (FRequestPending) {
        return;
    }
    FRequestPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FRequestPending = false;
            WMPreviewFile(FRequestGrid);
        },
        Qt::QueuedConnection);
}

void TPreviewImage::WMPreviewFile(QWidget* grid)
{
    // A request queued before "Enable preview" was unticked finds the pane cleared.
    if (!IsPreviewEnabled()) {
        return;
    }
    const QString path = QString::fromStdString(FFileName);
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        return;
    }
    try {
        ShowPreview(grid);
    } catch (const std::exception&) {
        ShowNotice(tr(InvalidFileText), true);
    } catch (...) {
        ShowNotice(tr(InvalidFileText), true);
    }
}

void TPreviewImage::ShowPreview(QWidget* grid)
{
    ShowNotice(QString(), false);
    const QString path = QString::fromStdString(FFileName);
    const QString ext = PreviewExtension(path);
    if (ext == u"pdf") {
        FViewer->Close();
        FImageView->Clear();
        FStack->setCurrentWidget(FPdfView);
        if (!FPdfView->LoadFile(path)) {
            ShowNotice(tr(InvalidFileText), true);
        }
        return;
    }
    if (IsImageViewExtension(ext)) {
        FViewer->Close();
        FPdfView->Clear();
        FStack->setCurrentWidget(FImageView);
        // Whatever was loading is abandoned; the result arrives in ImageLoaded.
        FImageView->LoadFile(path);
        return;
    }
    FImageView->Clear();
    FPdfView->Clear();
    const bool opened = FViewer->Open(path);
    FStack->setCurrentWidget(FViewer);
    if (!opened) {
        ShowNotice(tr(InvalidFileText), true);
    }
    if (grid != nullptr && grid->isEnabled() && grid->isVisible()) {
        grid->setFocus();
    }
}

void TPreviewImage::ImageLoaded(bool ok)
{
    if (!ok && FStack->currentWidget() == FImageView) {
        ShowNotice(tr(InvalidFileText), true);
    }
}

void TPreviewImage::EnableCheckBoxClick(bool checked)
{
    if (!checked) {
        ClearPreview();
    }
}
