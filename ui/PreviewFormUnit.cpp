#include "ui/PreviewFormUnit.h"

#include "ui_PreviewFormUnit.h"

#include "engine/DImage.h"
#include "engine/Questions.h"
#include "toolkit/FileViewer.h"
#include "toolkit/ImageView.h"
#include "toolkit/PdfView.h"
#include "toolkit/ViewerChoice.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>

#include <cmath>
#include <exception>

namespace {

const char* const InvalidFileText = "Invalid file.";

// The hourglass over the whole program while it lives.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace

TPreviewForm::TPreviewForm(QWidget* parent)
    : QDialog(parent)
    , FForm(std::make_unique<Ui::PreviewForm>())
{
    FForm->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    FForm->PreviewImage->SetFitToView(false);
    FForm->PdfView->SetAllPages(true);
    // Web pages are not shown here: they show as text.
    FForm->ATViewer->WebEnabled = false;
    FForm->ATViewer->ModeUndetected = vmodeHex;
    ZoomChanged(FForm->PreviewImage->Zoom());
    FForm->ViewStack->setCurrentWidget(FForm->PreviewImage);

    connect(FForm->PreviousBtn, &QPushButton::clicked, this, [this] { PreviousBtnClick(true); });
    connect(FForm->NextBtn, &QPushButton::clicked, this, [this] { PreviousBtnClick(false); });
    connect(FForm->DuplicateChk, &QCheckBox::clicked, this, &TPreviewForm::DuplicateChkClick);
    connect(FForm->PreviewImage, &TImageView::Loaded, this, &TPreviewForm::ImageLoaded);
    connect(FForm->PreviewImage, &TImageView::ZoomChanged, this, &TPreviewForm::ZoomChanged);
    WatchKeysOf(this);
}

TPreviewForm::~TPreviewForm() = default;

void TPreviewForm::WatchKeysOf(QObject* object)
{
    object->installEventFilter(this);
    for (QObject* child : object->findChildren<QObject*>()) {
        if (child->isWidgetType()) {
            child->installEventFilter(this);
        }
    }
}

int TPreviewForm::Execute()
{
    if (CurrentImage == nullptr) {
        return QDialog::Rejected;
    }
    // The file is checked before the window shows, so it never closes inside its own showing.
    if (!ShowPreview()) {
        FormClose();
        return QDialog::Rejected;
    }
    setWindowState(windowState() | Qt::WindowMaximized);
    const int result = ExecDialog(this);
    FormClose();
    return result;
}

bool TPreviewForm::ShowPreview()
{
    TWaitCursor waitCursor;
    RowIndex = FNavigator != nullptr ? FNavigator->SelectedRow() : -1;
    UpdateButtons();
    if (CurrentImage == nullptr) {
        return false;
    }
    const std::string path = CurrentImage->FullPath();
    const QString name = QString::fromStdString(path);
    if (!QFileInfo::exists(name)) {
        ShowErrorMessage("File not found!", this);
        return false;
    }
    ShowNotice(QString(), false);
    setWindowTitle(QStringLiteral("%1 - %2 bytes").arg(name).arg(qint64(CurrentImage->Size)));
    {
        const QSignalBlocker blocker(FForm->DuplicateChk);
        FForm->DuplicateChk->setChecked(CurrentImage->CheckState != 0);
    }
    try {
        ShowFile(name);
    } catch (...) {
        ShowNotice(tr(InvalidFileText), true);
    }
    return true;
}

void TPreviewForm::ShowFile(const QString& path)
{
    const QString ext = PreviewExtension(path);
    if (ext == u"pdf") {
        FForm->ATViewer->Close();
        FForm->PreviewImage->Clear();
        FForm->ZoomFactor->setVisible(false);
        FForm->ViewStack->setCurrentWidget(FForm->PdfView);
        if (!FForm->PdfView->LoadFile(path)) {
            ShowNotice(tr(InvalidFileText), true);
        }
        return;
    }
    if (IsImageViewExtension(ext)) {
        FForm->ATViewer->Close();
        FForm->PdfView->Clear();
        FForm->ZoomFactor->setVisible(true);
        FForm->ViewStack->setCurrentWidget(FForm->PreviewImage);
        FForm->PreviewImage->SetZoom(100.0);
        FForm->PreviewImage->LoadFile(path);
        return;
    }
    FForm->PreviewImage->Clear();
    FForm->PdfView->Clear();
    FForm->ZoomFactor->setVisible(false);
    FForm->ViewStack->setCurrentWidget(FForm->ATViewer);
    if (!FForm->ATViewer->Open(path)) {
        ShowNotice(tr(InvalidFileText), true);
    }
}

void TPreviewForm::ImageLoaded(bool ok)
{
    if (!ok && FForm->ViewStack->currentWidget() == FForm->PreviewImage) {
        ShowNotice(tr(InvalidFileText), true);
    }
}

void TPreviewForm::ZoomChanged(double percent)
{
    FForm->ZoomFactor->setText(tr("Zoom Factor: %1%").arg(int(std::trunc(percent))));
}

void TPreviewForm::UpdateButtons()
{
    const int count = FNavigator != nullptr ? FNavigator->RowCount() : 0;
    FForm->PreviousBtn->setEnabled(RowIndex > 0 && RowIndex < count);
    FForm->NextBtn->setEnabled(RowIndex >= 0 && RowIndex < count - 1);
}

void TPreviewForm::PreviousBtnClick(bool previous)
{
    if (FNavigator == nullptr) {
        return;
    }
    const int count = FNavigator->RowCount();
    const int target = previous ? RowIndex - 1 : RowIndex + 1;
    if (RowIndex < 0 || target < 0 || target >= count) {
        return;
    }
    TDImage* record = FNavigator->RowRecord(target);
    if (record == nullptr) {
        return;
    }
    FNavigator->SelectRow(target);
    CurrentImage = record;
    if (!ShowPreview()) {
        reject();
    }
}

void TPreviewForm::DuplicateChkClick()
{
    if (CurrentImage == nullptr) {
        return;
    }
    CurrentImage->CheckState = FForm->DuplicateChk->isChecked() ? 2 : 0;
    if (FNavigator != nullptr && RowIndex >= 0 && RowIndex < FNavigator->RowCount()) {
        FNavigator->RowCheckStateChanged(RowIndex);
    }
}

void TPreviewForm::ShowNotice(const QString& text, bool show)
{
    FForm->NoticeLabel->setText(show ? text : QString());
    if (show) {
        FForm->ZoomFactor->setVisible(false);
        FForm->ViewStack->setCurrentWidget(FForm->NoticeLabel);
    } else if (FForm->ViewStack->currentWidget() == FForm->NoticeLabel) {
        FForm->ViewStack->setCurrentWidget(FForm->PreviewImage);
    }
}

bool TPreviewForm::FormKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_C:
        if (CurrentImage != nullptr) {
            FForm->DuplicateChk->setChecked(CurrentImage->CheckState == 0);
            DuplicateChkClick();
        }
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_Left:
        if (FForm->PreviousBtn->isEnabled()) {
            PreviousBtnClick(true);
        }
        return true;
    case Qt::Key_PageDown:
    case Qt::Key_Right:
        if (FForm->NextBtn->isEnabled()) {
            PreviousBtnClick(false);
        }
        return true;
    default:
        return false;
    }
}

bool TPreviewForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ChildAdded) {
        // Viewers make some of their parts late (the video output, say): they are watched too.
        auto* added = static_cast<QChildEvent*>(event)->child();
        if (added->isWidgetType()) {
            WatchKeysOf(added);
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers
            = key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
        if (modifiers == Qt::NoModifier) {
            try {
                if (FormKeyDown(key->key())) {
                    return true;
                }
            } catch (const std::exception&) {
                ShowNotice(tr(InvalidFileText), true);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TPreviewForm::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TPreviewForm::FormClose()
{
    FForm->ATViewer->Close();
    FForm->PreviewImage->Clear();
    FForm->PdfView->Clear();
    CurrentImage = nullptr;
}
