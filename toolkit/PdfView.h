#pragma once

#include <QString>
#include <QWidget>

class QPdfDocument;
class QPdfView;
class QToolButton;

// A PDF viewer on Qt PDF. Two ways of showing:
// - one page at a time (the preview pane): the page fits the view, and two page buttons at the
//   bottom (30 pixels, silver) turn the pages; a click on a page (not on a button) is reported
//   as Clicked;
// - all pages (the preview window): the pages one under the other at the view's width; the
//   wheel scrolls.
// The document is opened on the UI thread (Qt PDF reads only its cross-reference table then);
// the pages are rendered on Qt PDF's own threads.
class TPdfView : public QWidget {
    Q_OBJECT
public:
    explicit TPdfView(QWidget* parent = nullptr);

    void SetAllPages(bool all);
    bool AllPages() const { return FAllPages; }

    // Opens the document; false when it cannot be read or has no pages (the view is then
    // blank).
    bool LoadFile(const QString& path);
    // Closes the document: the view is blank and lets go of the file.
    void Clear();

    int PageCount() const;
    int CurrentPage() const;
    void GoToPage(int page);

    QPdfView* View() const { return FView; }
    QToolButton* PreviousPageButton() const { return FPreviousPage; }
    QToolButton* NextPageButton() const { return FNextPage; }

    // The page buttons' size and colour.
    static constexpr int PageButtonSize = 30;

Q_SIGNALS:
    // A click of the left button on the page (never on the page buttons).
    void Clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateButtons();
    void PlaceButtons();

    QPdfDocument* FDocument;
    QPdfView* FView;
    QToolButton* FPreviousPage;
    QToolButton* FNextPage;
    bool FAllPages = false;
    bool FPressed = false;
};
