#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class TDImage;

namespace Ui {
class PreviewForm;
}

// What the preview window needs of the results grid: its rows, the record of a row, the
// selected row, and a way to tell it that a row's check state has changed. The main window
// implements it over its grid; everything is called on the UI thread while the window shows.
class TPreviewNavigator {
public:
    virtual ~TPreviewNavigator() = default;
    // The selected row, -1 when none is.
    virtual int SelectedRow() const = 0;
    virtual int RowCount() const = 0;
    // The record of a row (0 <= row < RowCount()), null for a row without one.
    virtual TDImage* RowRecord(int row) const = 0;
    // Selects the row (and scrolls it into view).
    virtual void SelectRow(int row) = 0;
    // The record of the row has a new CheckState: the row's check box shows it, and the counts
    // caption and the project's modified mark follow, as after a click in the grid.
    virtual void RowCheckStateChanged(int row) = 0;
};

// The preview window: one file of the results at full size in a maximised window, pictures
// zoomed with the mouse, PDF documents with all their pages, everything else as text, hex or
// media (never as a web page). "Previous" and "Next" walk the grid's rows, and "Mark as
// duplicate" checks or unchecks the file shown.
//
// Use: made once, hidden between uses. The caller sets CurrentImage to the selected row's
// record and calls Execute, which checks the file before the window shows itself. The window
// holds the record only while it shows (nothing can free records meanwhile: it is modal) and
// forgets it when it closes.
//
// Keys (seen before the viewers see them): Enter or C toggles the mark, Esc closes, Page Up
// and Left go to the previous row, Page Down and Right to the next one.
class TPreviewForm : public QDialog {
    Q_OBJECT
public:
    explicit TPreviewForm(QWidget* parent = nullptr);
    ~TPreviewForm() override;

    // The grid the window walks (not owned; null: no rows).
    void SetNavigator(TPreviewNavigator* navigator) { FNavigator = navigator; }

    // Shows CurrentImage modally (through the program's modal-window seam): when its file is
    // missing, the error "File not found!" instead, and the window does not show. The dialog's
    // result.
    int Execute();
    // Shows CurrentImage: the buttons follow the grid's selected row; false (after the error
    // "File not found!") when the file is missing.
    bool ShowPreview();
    // "Previous" (previous true) or "Next": one row up or down, never past the first or the
    // last row; the grid's selection follows. A missing file there closes the window.
    void PreviousBtnClick(bool previous);
    // The record's check state from "Mark as duplicate": 2 (checked by hand) or 0.
    void DuplicateChkClick();
    // The text in place of the viewers (show), or the viewers again.
    void ShowNotice(const QString& text, bool show);

    // The record shown (not owned), and its row in the grid.
    TDImage* CurrentImage = nullptr;
    int RowIndex = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void UpdateButtons();
    void ShowFile(const QString& path);
    void ImageLoaded(bool ok);
    void ZoomChanged(double percent);
    // The keys of the window; true when the key was used.
    bool FormKeyDown(int key);
    void WatchKeysOf(QObject* object);
    // Lets go of the file shown.
    void FormClose();

    std::unique_ptr<Ui::PreviewForm> FForm;
    TPreviewNavigator* FNavigator = nullptr;
};
