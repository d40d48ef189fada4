#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>

// A picture viewer. The file is read off the UI thread (QImageReader on a thread of the
// view's own), so a large picture never blocks the window; each load gets a new generation
// number, and a result that arrives for an older load is dropped. A newer load asks the older
// one to stop: its reads fail at once, so the decoder gives up early.
//
// Two ways of showing:
// - fit (the preview pane): the picture is scaled down or up to the view, centred; the mouse
//   does nothing but click;
// - zoom (the preview window): the picture at a zoom factor (100% = its own size), scrollable;
//   the left button zooms in, the right button out, and the wheel zooms, around the pointer.
//
// Threads: everything but the reading runs on the UI thread. The destructor stops a running
// load and waits for it.
class TImageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TImageView(QWidget* parent = nullptr);
    ~TImageView() override;

    void SetFitToView(bool fit);
    bool FitToView() const { return FFit; }

    // Starts reading the picture; whatever was loading is abandoned and the view is blank until
    // the picture arrives (Loaded follows, with true or false). In fit mode the picture is read
    // at most as large as the view (big JPEGs decode scaled, much faster); in zoom mode at its
    // own size up to a limit of pixels, beyond which it is read scaled down (zoom still counts
    // from its own size).
    void LoadFile(const QString& path);
    // Blank view; a running load is abandoned.
    void Clear();
    // Whether a load has been asked for and its result has not arrived yet.
    bool IsLoading() const { return FLoading; }
    // Blocks until the reading thread has nothing left to do (its last result may still be
    // queued for the UI thread); false when that took longer than msecs. For tests and
    // measurements: the window itself never waits for a load.
    bool WaitUntilReadsEnd(int msecs);
    // The picture shown (null when blank).
    const QImage& Picture() const { return FPicture; }
    // The picture's own size (before any scaling on reading).
    QSize PictureSize() const { return FPictureSize; }

    // Zoom in percent of the picture's own size (zoom mode).
    double Zoom() const { return FZoom; }
    void SetZoom(double percent);
    // One step in or out around a point of the viewport.
    void ZoomIn(QPointF at);
    void ZoomOut(QPointF at);

    // The most pixels a picture is read at in zoom mode.
    static constexpr std::int64_t MaxZoomPixels = 64 * 1024 * 1024;

Q_SIGNALS:
    // The load asked for last has finished; ok is false when the file could not be read as a
    // picture.
    void Loaded(bool ok);
    void ZoomChanged(double percent);
    // A click of the left button (fit mode).
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct TResult {
        std::uint64_t Generation = 0;
        QImage Picture;
        QSize PictureSize;
        bool Ok = false;
    };
    static TResult Read(const QString& path, QSize fitInto, std::uint64_t generation,
        const std::shared_ptr<std::atomic<std::uint64_t>>& current);
    void Apply(const TResult& result);
    // The picture's size on the screen at the current zoom (zoom mode).
    QSizeF ZoomedSize() const;
    void UpdateScrollBars();
    // The rectangle of the viewport the picture is drawn into.
    QRectF TargetRect() const;
    void SetZoomAround(double percent, QPointF at);

    bool FFit = true;
    double FZoom = 100.0;
    QImage FPicture;
    QSize FPictureSize;
    // The picture scaled to the viewport in fit mode, made once per size.
    QPixmap FScaled;
    bool FLoading = false;
    bool FPressed = false;
    // The generation of the load whose result is wanted; loads read it to know that they are
    // abandoned.
    std::shared_ptr<std::atomic<std::uint64_t>> FGeneration;
    QThreadPool FReader;
};
