#include "toolkit/PdfView.h"

#include <QMouseEvent>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

TPdfView::TPdfView(QWidget* parent)
    : QWidget(parent)
    , FDocument(new QPdfDocument(this))
    , FView(new QPdfView(this))
    , FPreviousPage(new QToolButton(this))
    , FNextPage(new QToolButton(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FView);
    FView->setObjectName(QStringLiteral("PdfPages"));
    FView->setAccessibleName(tr("PDF pages"));
    FView->setFrameShape(QFrame::NoFrame);
    FView->setDocument(FDocument);
    FView->viewport()->installEventFilter(this);
    FView->viewport()->setCursor(Qt::PointingHandCursor);

    const struct {
        QToolButton* Button;
        const char* Name;
        QString Text;
        Qt::ArrowType Arrow;
    } buttons[] = {
        {FPreviousPage, "PreviousPageButton", tr("Previous page"), Qt::LeftArrow},
        {FNextPage, "NextPageButton", tr("Next page"), Qt::RightArrow},
    };
    for (const auto& b : buttons) {
        b.Button->setObjectName(QString::fromLatin1(b.Name));
        b.Button->setAccessibleName(b.Text);
        b.Button->setToolTip(b.Text);
        b.Button->setArrowType(b.Arrow);
        b.Button->setFixedSize(PageButtonSize, PageButtonSize);
        b.Button->setAutoRaise(false);
        b.Button->setCursor(Qt::ArrowCursor);
        b.Button->setStyleSheet(QStringLiteral(
            "QToolButton { background-color: rgb(192, 192, 192); border: 1px solid gray; "
            "border-radius: 3px; } QToolButton:disabled { background-color: rgba(192, 192, "
            "192, 120); }"));
        b.Button->raise();
    }
    connect(FPreviousPage, &QToolButton::clicked, this, [this] { GoToPage(CurrentPage() - 1); });
    connect(FNextPage, &QToolButton::clicked, this, [this] { GoToPage(CurrentPage() + 1); });
    connect(FView->pageNavigator(), &QPdfPageNavigator::currentPageChanged, this,
        [this] { UpdateButtons(); });
    SetAllPages(false);
}

void TPdfView::SetAllPages(bool all)
{
    FAllPages = all;
    FView->setPageMode(all ? QPdfView::PageMode::MultiPage : QPdfView::PageMode::SinglePage);
    FView->setZoomMode(all ? QPdfView::ZoomMode::FitToWidth : QPdfView::ZoomMode::FitInView);
    // A page that fits the view needs no scroll bars (they would only shrink it).
    const Qt::ScrollBarPolicy policy = all ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    FView->setVerticalScrollBarPolicy(policy);
    FView->setHorizontalScrollBarPolicy(policy);
    // The fitted page takes the whole height; its own margins would push its foot out of view.
    FView->setDocumentMargins(all ? QMargins(6, 6, 6, 6) : QMargins(0, 0, 0, 0));
    FView->viewport()->setCursor(all ? Qt::ArrowCursor : Qt::PointingHandCursor);
    UpdateButtons();
}

bool TPdfView::LoadFile(const QString& path)
{
    Clear();
    if (FDocument->load(path) != QPdfDocument::Error::None || FDocument->pageCount() <= 0) {
        Clear();
        return false;
    }
    GoToPage(0);
    return true;
}

void TPdfView::Clear()
{
    FDocument->close();
    UpdateButtons();
}

int TPdfView::PageCount() const
{
    return FDocument->pageCount();
}

int TPdfView::CurrentPage() const
{
    return FView->pageNavigator()->currentPage();
}

void TPdfView::GoToPage(int page)
{
    if (page < 0 || page >= PageCount()) {
        return;
    }
    FView->pageNavigator()->jump(page, QPointF(), FView->pageNavigator()->currentZoom());
    UpdateButtons();
}

void TPdfView::UpdateButtons()
{
    const bool shown = !FAllPages && PageCount() > 1;
    FPreviousPage->setVisible(shown);
    FNextPage->setVisible(shown);
    FPreviousPage->setEnabled(CurrentPage() > 0);
    FNextPage->setEnabled(CurrentPage() < PageCount() - 1);
    PlaceButtons();
}

void TPdfView::PlaceButtons()
{
    // Side by side, centred along the bottom edge.
    const int gap = 6;
    const int top = height() - PageButtonSize - 8;
    const int left = (width() - 2 * PageButtonSize - gap) / 2;
    FPreviousPage->move(left, top);
    FNextPage->move(left + PageButtonSize + gap, top);
}

void TPdfView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlaceButtons();
}

bool TPdfView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FView->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            FPressed = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const bool click = FPressed && mouse->button() == Qt::LeftButton
                && FView->viewport()->rect().contains(mouse->position().toPoint());
            FPressed = false;
            if (click && !FAllPages) {
                Q_EMIT Clicked();
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
