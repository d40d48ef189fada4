#include "toolkit/ImageView.h"

#include "toolkit/ZoomCursors.h"

#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

constexpr double MinZoom = 1.0;
constexpr double MaxZoom = 3200.0;
constexpr double ZoomStep = 1.25;

// A file whose reads fail once its load has been abandoned, so that the decoder stops early.
class TAbandonableFile : public QFile {
public:
    TAbandonableFile(const QString& path, std::uint64_t generation,
        std::shared_ptr<std::atomic<std::uint64_t>> current)
        : QFile(path)
        , FGeneration(generation)
        , FCurrent(std::move(current))
    {
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (FCurrent->load() != FGeneration) {
            return -1;
        }
        return QFile::readData(data, maxSize);
    }

private:
    std::uint64_t FGeneration;
    std::shared_ptr<std::atomic<std::uint64_t>> FCurrent;
};

// The largest size of the given aspect that fits into the box, never larger than size itself.
QSize ShrinkToFit(QSize size, QSize box)
{
    if (size.width() <= box.width() && size.height() <= box.height()) {
        return size;
    }
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

} // namespace

TImageView::TImageView(QWidget* parent)
    : QAbstractScrollArea(parent)
    , FGeneration(std::make_shared<std::atomic<std::uint64_t>>(0))
{
    FReader.setMaxThreadCount(1);
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Button);
    viewport()->setBackgroundRole(QPalette::Button);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(tr("Picture"));
}

TImageView::~TImageView()
{
    FGeneration->fetch_add(1);
    FReader.waitForDone();
}

void TImageView::SetFitToView(bool fit)
{
    FFit = fit;
    const Qt::ScrollBarPolicy policy = fit ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    viewport()->setCursor(fit ? QCursor(Qt::PointingHandCursor) : ZoomInCursor());
    FScaled = QPixmap();
    UpdateScrollBars();
    viewport()->update();
}

void TImageView::LoadFile(const QString& path)
{
    const std::uint64_t generation = FGeneration->fetch_add(1) + 1;
    FPicture = QImage();
    FPictureSize = QSize();
    FScaled = QPixmap();
    FLoading = true;
    UpdateScrollBars();
    viewport()->update();

    const QSize fitInto = FFit ? (QSizeF(viewport()->size()) * devicePixelRatioF()).toSize()
                               : QSize();
    auto current = FGeneration;
    FReader.start([this, path, fitInto, generation, current] {
        TResult result = Read(path, fitInto, generation, current);
        if (current->load() != generation) {
            return;
        }
        // The view waits for this thread in its destructor, so it still exists here; a call
        // still queued when it goes away is dropped with it.
        QMetaObject::invokeMethod(
            this, [this, result] { Apply(result); }, Qt::QueuedConnection);
    });
}

void TImageView::Clear()
{
    FGeneration->fetch_add(1);
    FLoading = false;
    FPicture = QImage();
    FPictureSize = QSize();
    FScaled = QPixmap();
    UpdateScrollBars();
    viewport()->update();
}

bool TImageView::WaitUntilReadsEnd(int msecs)
{
    return FReader.waitForDone(msecs);
}

TImageView::TResult TImageView::Read(const QString& path, QSize fitInto,
    std::uint64_t generation, const std::shared_ptr<std::atomic<std::uint64_t>>& current)
{
    TResult result;
    result.Generation = generation;
    try {
        TAbandonableFile file(path, generation, current);
        if (!file.open(QIODevice::ReadOnly)) {
            return result;
        }
        QImageReader reader(&file);
        reader.setAutoTransform(true);
        reader.setAllocationLimit(0);
        QSize stored = reader.size();
        if (!stored.isValid()) {
            // A format that does not tell its size before decoding: read it whole.
            QImage picture = reader.read();
            result.Ok = !picture.isNull();
            result.PictureSize = picture.size();
            result.Picture = fitInto.isValid()
                ? picture.scaled(ShrinkToFit(picture.size(), fitInto), Qt::KeepAspectRatio,
                    Qt::SmoothTransformation)
                : std::move(picture);
            return result;
        }
        const bool turned = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
        const QSize shown = turned ? stored.transposed() : stored;
        QSize target = shown;
        if (fitInto.isValid()) {
            target = ShrinkToFit(shown, fitInto);
        } else if (std::int64_t(shown.width()) * shown.height() > MaxZoomPixels) {
            const double scale = std::sqrt(
                double(MaxZoomPixels) / (double(shown.width()) * double(shown.height())));
            target = ShrinkToFit(shown,
                QSize(std::max(1, int(shown.width() * scale)),
                    std::max(1, int(shown.height() * scale))));
        }
        if (target != shown) {
            // The reader scales before it turns the picture.
            reader.setScaledSize(turned ? target.transposed() : target);
        }
        QImage picture = reader.read();
        result.Ok = !picture.isNull();
        result.PictureSize = shown;
        result.Picture = std::move(picture);
    } catch (const std::exception&) {
        result = TResult{generation, {}, {}, false};
    }
    return result;
}

void TImageView::Apply(const TResult& result)
{
    if (result.Generation != FGeneration->load()) {
        return;
    }
    FLoading = false;
    FPicture = result.Picture;
    FPictureSize = result.Ok ? result.PictureSize : QSize();
    FScaled = QPixmap();
    UpdateScrollBars();
    viewport()->update();
    Q_EMIT Loaded(result.Ok);
    if (result.Ok && !FFit) {
        Q_EMIT ZoomChanged(FZoom);
    }
}

void TImageView::SetZoom(double percent)
{
    SetZoomAround(percent, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
}

void TImageView::ZoomIn(QPointF at)
{
    SetZoomAround(FZoom * ZoomStep, at);
}

void TImageView::ZoomOut(QPointF at)
{
    SetZoomAround(FZoom / ZoomStep, at);
}

void TImageView::SetZoomAround(double percent, QPointF at)
{
    percent = std::clamp(percent, MinZoom, MaxZoom);
    if (percent == FZoom) {
        return;
    }
    // Keep the picture's point under `at` where it is.
    const QRectF before = TargetRect();
    const QPointF relative = before.isEmpty()
        ? QPointF(0.5, 0.5)
        : QPointF((at.x() - before.left()) / before.width(), (at.y() - before.top()) / before.height());
    FZoom = percent;
    UpdateScrollBars();
    const QSizeF size = ZoomedSize();
    horizontalScrollBar()->setValue(int(relative.x() * size.width() - at.x()));
    verticalScrollBar()->setValue(int(relative.y() * size.height() - at.y()));
    viewport()->update();
    Q_EMIT ZoomChanged(FZoom);
}

QSizeF TImageView::ZoomedSize() const
{
    if (!FPictureSize.isValid()) {
        return {};
    }
    return QSizeF(FPictureSize) * (FZoom / 100.0) / devicePixelRatioF();
}

void TImageView::UpdateScrollBars()
{
    if (FFit || FPicture.isNull()) {
        horizontalScrollBar()->setRange(0, 0);
        verticalScrollBar()->setRange(0, 0);
        return;
    }
    const QSizeF size = ZoomedSize();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(size.width())) - view.width()));
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(size.height())) - view.height()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setPageStep(view.height());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
}

QRectF TImageView::TargetRect() const
{
    if (FPicture.isNull()) {
        return {};
    }
    const QSizeF view = viewport()->size();
    QSizeF size;
    if (FFit) {
        // Shrunk or stretched to the view, keeping its shape.
        size = QSizeF(FPicture.size()).scaled(view, Qt::KeepAspectRatio);
    } else {
        size = ZoomedSize();
    }
    // Centred where it is smaller than the view, scrolled where it is larger.
    const double left = size.width() < view.width() ? (view.width() - size.width()) / 2.0
                                                    : -double(horizontalScrollBar()->value());
    const double top = size.height() < view.height() ? (view.height() - size.height()) / 2.0
                                                     : -double(verticalScrollBar()->value());
    return QRectF(QPointF(left, top), size);
}

void TImageView::paintEvent(QPaintEvent*)
{
    if (FPicture.isNull()) {
        return;
    }
    QPainter painter(viewport());
    const QRectF target = TargetRect();
    if (FFit) {
        const QSize pixels = (target.size() * devicePixelRatioF()).toSize();
        if (FScaled.isNull() || FScaled.size() != pixels) {
            FScaled = QPixmap::fromImage(
                FPicture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            FScaled.setDevicePixelRatio(devicePixelRatioF());
        }
        painter.drawPixmap(target.topLeft(), FScaled);
        return;
    }
    // Draw only the part of the picture that is on the screen.
    const QRectF visible = target.intersected(QRectF(viewport()->rect()));
    if (visible.isEmpty()) {
        return;
    }
    const double sx = FPicture.width() / target.width();
    const double sy = FPicture.height() / target.height();
    const QRectF source((visible.left() - target.left()) * sx, (visible.top() - target.top()) * sy,
        visible.width() * sx, visible.height() * sy);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, FZoom < 100.0);
    painter.drawImage(visible, FPicture, source);
}

void TImageView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TImageView::mousePressEvent(QMouseEvent* event)
{
    FPressed = event->button() == Qt::LeftButton;
    if (FFit) {
        return;
    }
    if (event->button() == Qt::LeftButton) {
        viewport()->setCursor(ZoomInCursor());
        ZoomIn(event->position());
    } else if (event->button() == Qt::RightButton) {
        viewport()->setCursor(ZoomOutCursor());
        ZoomOut(event->position());
    }
}

void TImageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!FFit) {
        viewport()->setCursor(ZoomInCursor());
    }
    const bool click = FPressed && event->button() == Qt::LeftButton
        && viewport()->rect().contains(event->position().toPoint());
    FPressed = false;
    if (click && FFit) {
        Q_EMIT Clicked();
    }
}

void TImageView::wheelEvent(QWheelEvent* event)
{
    if (FFit) {
        event->ignore();
        return;
    }
    const int delta = event->angleDelta().y();
    if (delta > 0) {
        ZoomIn(event->position());
    } else if (delta < 0) {
        ZoomOut(event->position());
    }
    event->accept();
}

void TImageView::scrollContentsBy(int, int)
{
    viewport()->update();
}
