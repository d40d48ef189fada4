#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>

#include <string>

class QCheckBox;
class QLabel;
class QStackedLayout;
class TDImage;
class TFileViewer;
class TImageView;
class TPdfView;

// The preview pane of the main window: the file of the selected results-grid row as a
// picture, a PDF page, text, hex, media or a web page, with "Enable preview" along its bottom
// edge and a centred notice ("Invalid file.") in place of the viewers when a file cannot be
// shown. A click on the picture or the page (not on a page button) is reported as Clicked.
//
// How the grid uses it, on the UI thread: on a row's selection, when IsPreviewEnabled,
// SetFileName(record's full path), RequestPreview(grid) and SetTag(record). The preview
// itself runs from the event loop once the grid's handler has returned; requests made before
// then are served by one preview of the last file named. Nothing here waits: pictures load on
// a thread of the image view, and a newer request supersedes an older load.
//
// Records: the pane never reads the record in Tag (it is only handed back to the click's
// handler), and every command that frees records calls ClearPreview first, which forgets it.
class TPreviewImage : public QFrame {
    Q_OBJECT
public:
    explicit TPreviewImage(QWidget* parent = nullptr);

    // The file to preview next; a ".xml" file (any letter case) of the web size limit or more
    // is shown as text rather than as a web page.
    void SetFileName(const std::string& path);
    const std::string& FileName() const { return FFileName; }
    // "Enable preview" is ticked.
    bool IsPreviewEnabled() const;
    // Empties the pane (every viewer lets go of its file) and forgets Tag.
    void ClearPreview();
    // The text in place of the viewers (show), or the viewers again (not show).
    void ShowNotice(const QString& text, bool show);
    // Asks for the preview of FileName from the event loop; grid (may be null) gets the
    // keyboard focus back after the general viewer opened the file.
    void RequestPreview(QWidget* grid);
    // The preview of FileName, now: a missing file leaves the pane as it is; a file that cannot
    // be shown gives the notice "Invalid file.".
    void WMPreviewFile(QWidget* grid);

    // The record whose file is shown (not owned, never read here), or null.
    TDImage* Tag() const { return FTag; }
    void SetTag(TDImage* record) { FTag = record; }

    TImageView* ImageView() const { return FImageView; }
    TPdfView* PdfView() const { return FPdfView; }
    TFileViewer* Viewer() const { return FViewer; }
    QCheckBox* EnableCheckBox() const { return FEnableCheckBox; }
    QLabel* NoticeLabel() const { return FNoticeLabel; }
    // The widget shown in the viewers' place: the image view, the PDF view, the viewer or the
    // notice.
    QWidget* Shown() const;

Q_SIGNALS:
    // The user clicked the picture or the page.
    void Clicked();

private:
    void EnableCheckBoxClick(bool checked);
    void ShowPreview(QWidget* grid);
    void ImageLoaded(bool ok);

    std::string FFileName;
    TDImage* FTag = nullptr;
    bool FRequestPending = false;
    QPointer<QWidget> FRequestGrid;
    QStackedLayout* FStack;
    TImageView* FImageView;
    TPdfView* FPdfView;
    TFileViewer* FViewer;
    QLabel* FNoticeLabel;
    QCheckBox* FEnableCheckBox;
};
