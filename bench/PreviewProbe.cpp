// The preview's event-loop probe and screenshot harness. Not a test: run by hand under a real
// display server (Xvfb with QT_QPA_PLATFORM=xcb), never part of a test run.
//
//   pairloom-preview-probe <folder>            selects large files in the preview pane and
//                                              prints how late a 1 ms timer ran meanwhile
//   pairloom-preview-probe <folder> --shots <out>
//                                              writes pictures of the pane and the window
//
// The files are made in <folder> on first use and kept there: a 100-megapixel JPEG, a
// 500-page PDF, a 10 GB sparse file of random-looking bytes, and a few small files.

#include "engine/DImage.h"
#include "toolkit/FileViewer.h"
#include "toolkit/ImageView.h"
#include "toolkit/PdfView.h"
#include "ui/PreviewFormUnit.h"
#include "ui/PreviewImage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

QString In(const QString& folder, const char* name)
{
    return folder + u'/' + QString::fromLatin1(name);
}

// A picture with something to see: a sky-to-ground gradient, a sun and a few hills.
QImage Landscape(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0.0, QColor(40, 90, 170));
    sky.setColorAt(0.6, QColor(170, 210, 240));
    sky.setColorAt(1.0, QColor(230, 230, 200));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 210, 80));
    painter.drawEllipse(QPointF(width * 0.75, height * 0.25), width * 0.07, width * 0.07);
    const QColor hills[] = {QColor(60, 120, 60), QColor(40, 95, 45), QColor(30, 70, 35)};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(hills[i]);
        painter.drawEllipse(QPointF(width * (0.2 + 0.35 * i), height * (1.05 - 0.05 * i)),
            width * 0.45, height * (0.35 - 0.05 * i));
    }
    painter.end();
    return image;
}

void MakeFixtures(const QString& folder)
{
    if (!QFileInfo::exists(In(folder, "huge.jpg"))) {
        std::fprintf(stderr, "making a 100-megapixel JPEG...\n");
        Landscape(10000, 10000).save(In(folder, "huge.jpg"), "JPEG", 90);
    }
    if (!QFileInfo::exists(In(folder, "long.pdf"))) {
        std::fprintf(stderr, "making a 500-page PDF...\n");
        QPdfWriter writer(In(folder, "long.pdf"));
        writer.setResolution(72);
        QPainter painter(&writer);
        QFont font = painter.font();
        font.setPointSize(14);
        painter.setFont(font);
        for (int page = 0; page < 500; ++page) {
            if (page > 0) {
                writer.newPage();
            }
            painter.drawText(QRect(40, 40, 500, 40), Qt::AlignLeft,
                QStringLiteral("Page %1 of 500").arg(page + 1));
            for (int line = 0; line < 40; ++line) {
                painter.drawText(40, 110 + line * 16,
                    QStringLiteral("Line %1: the quick brown fox jumps over the lazy dog.")
                        .arg(line + 1));
            }
        }
    }
    if (!QFileInfo::exists(In(folder, "random.bin"))) {
        std::fprintf(stderr, "making a 10 GB sparse file...\n");
        QFile file(In(folder, "random.bin"));
        if (file.open(QIODevice::WriteOnly)) {
            std::mt19937 random(7);
            QByteArray block(1 << 20, '\0');
            for (char& c : block) {
                c = char(random());
            }
            file.write(block);
            file.resize(10'000'000'000LL);
            file.seek(10'000'000'000LL - block.size());
            file.write(block);
        }
    }
    if (!QFileInfo::exists(In(folder, "photo.jpg"))) {
        Landscape(1600, 1067).save(In(folder, "photo.jpg"), "JPEG", 90);
    }
    if (!QFileInfo::exists(In(folder, "notes.txt"))) {
        QFile file(In(folder, "notes.txt"));
        if (file.open(QIODevice::WriteOnly)) {
            file.write("Pairloom preview\n================\n\n"
                       "Grüße aus Köln: this text file is decoded as UTF-8.\n\n");
            for (int i = 1; i <= 60; ++i) {
                file.write(QByteArray("Line ") + QByteArray::number(i)
                    + ": the quick brown fox jumps over the lazy dog.\n");
            }
        }
    }
}

// A chain of steps, each run after the delay given with it, on the event loop.
class TSteps {
public:
    void Add(int delayMs, std::function<void()> step) { FSteps.push_back({delayMs, std::move(step)}); }
    void Run(std::size_t index = 0)
    {
        if (index >= FSteps.size()) {
            QCoreApplication::quit();
            return;
        }
        QTimer::singleShot(FSteps[index].first, [this, index] {
            FSteps[index].second();
            Run(index + 1);
        });
    }

private:
    std::vector<std::pair<int, std::function<void()>>> FSteps;
};

// How late a 1 ms timer runs: the longest gap between its ticks, less 1 ms.
class TProbe {
public:
    TProbe()
    {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(1);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const qint64 now = FClock.nsecsElapsed();
            FWorst = std::max(FWorst, now - FLast - 1'000'000);
            FLast = now;
        });
        FClock.start();
        FTimer.start();
    }
    void Reset()
    {
        FWorst = 0;
        FLast = FClock.nsecsElapsed();
    }
    double WorstMs() const { return FWorst / 1e6; }

private:
    QTimer FTimer;
    QElapsedTimer FClock;
    qint64 FLast = 0;
    qint64 FWorst = 0;
};

// The results grid for the window: a list of records.
class TListNavigator : public TPreviewNavigator {
public:
    int SelectedRow() const override { return Selected; }
    int RowCount() const override { return int(Records.size()); }
    TDImage* RowRecord(int row) const override { return Records[std::size_t(row)].get(); }
    void SelectRow(int row) override { Selected = row; }
    void RowCheckStateChanged(int) override { }
    std::vector<std::unique_ptr<TDImage>> Records;
    int Selected = 0;
};

std::unique_ptr<TDImage> RecordOf(const QString& path)
{
    const QFileInfo info(path);
    platform::TFindRecord found;
    found.Name = info.fileName().toStdString();
    found.Size = info.size();
    found.Kind = platform::TEntryKind::ekRegular;
    return std::make_unique<TDImage>(info.absolutePath().toStdString(), found);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> [--shots <out folder>]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool shots = argc >= 4 && QByteArray(argv[2]) == "--shots";
    const QString out = shots ? QString::fromLocal8Bit(argv[3]) : QString();
    MakeFixtures(folder);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Preview probe"));
    auto* layout = new QHBoxLayout(&window);
    auto* grid = new QListWidget(&window);
    grid->addItems({QStringLiteral("huge.jpg"), QStringLiteral("long.pdf"),
        QStringLiteral("random.bin"), QStringLiteral("notes.txt")});
    auto* pane = new TPreviewImage(&window);
    layout->addWidget(grid, 1);
    layout->addWidget(pane, 2);
    window.resize(shots ? 760 : 1200, shots ? 520 : 800);
    window.show();

    TProbe probe;
    TSteps steps;
    QElapsedTimer shown;
    auto select = [pane, grid](const QString& path) {
        pane->SetFileName(path.toStdString());
        pane->RequestPreview(grid);
    };

    if (!shots) {
        struct TFile {
            const char* Name;
            const char* What;
        };
        const TFile files[] = {{"huge.jpg", "100-megapixel JPEG"}, {"long.pdf", "500-page PDF"},
            {"random.bin", "10 GB of random bytes"}, {"notes.txt", "small text"}};
        std::printf("%-28s %-6s %16s %20s\n", "file", "round", "worst lateness", "until shown");
        for (int round = 1; round <= 3; ++round) {
            for (const TFile& file : files) {
                const QString path = In(folder, file.Name);
                steps.Add(300, [&, path] {
                    probe.Reset();
                    shown.start();
                    select(path);
                });
                // Let everything the selection started finish (the picture's reading too).
                steps.Add(4000, [&, file, round] {
                    const double until = pane->ImageView()->IsLoading() ? -1.0 : 0.0;
                    std::printf("%-28s %-6d %13.1f ms %20s\n", file.What, round, probe.WorstMs(),
                        until < 0 ? "still loading" : "within 4 s");
                });
            }
        }
        // Quick changes: the huge picture, then at once the text.
        steps.Add(300, [&] {
            probe.Reset();
            select(In(folder, "huge.jpg"));
            QTimer::singleShot(20, [&] { select(In(folder, "notes.txt")); });
        });
        steps.Add(4000, [&] {
            std::printf("%-28s %-6s %13.1f ms %20s\n", "picture then text at once", "-",
                probe.WorstMs(),
                pane->Viewer()->Mode() == vmodeText ? "text shown" : "WRONG VIEW");
        });
        // Time until the huge picture is on the screen, with the probe running.
        steps.Add(300, [&] {
            probe.Reset();
            shown.start();
            QObject::connect(pane->ImageView(), &TImageView::Loaded, pane, [&] {
                std::printf("huge JPEG on the screen after %lld ms (worst lateness %.1f ms)\n",
                    shown.elapsed(), probe.WorstMs());
            }, Qt::SingleShotConnection);
            select(In(folder, "huge.jpg"));
        });
        steps.Add(5000, [] { });
        steps.Run();
        return app.exec();
    }

    // Screenshots.
    auto grab = [](QWidget* widget, const QString& file) {
        widget->grab().save(file);
        std::fprintf(stderr, "wrote %s\n", qPrintable(file));
    };
    steps.Add(300, [&] { select(In(folder, "photo.jpg")); });
    steps.Add(1500, [&] { grab(&window, In(out, "pane-image.png")); });
    steps.Add(100, [&] { select(In(folder, "long.pdf")); });
    steps.Add(1500, [&] { grab(&window, In(out, "pane-pdf.png")); });
    steps.Add(100, [&] { select(In(folder, "notes.txt")); });
    steps.Add(500, [&] { grab(&window, In(out, "pane-text.png")); });
    steps.Add(100, [&] { select(In(folder, "random.bin")); });
    steps.Add(500, [&] { grab(&window, In(out, "pane-hex.png")); });

    TListNavigator navigator;
    navigator.Records.push_back(RecordOf(In(folder, "photo.jpg")));
    navigator.Records.push_back(RecordOf(In(folder, "long.pdf")));
    navigator.Records.push_back(RecordOf(In(folder, "notes.txt")));
    navigator.Records.front()->CheckState = 1;
    TPreviewForm form;
    form.SetNavigator(&navigator);
    steps.Add(100, [&] {
        form.CurrentImage = navigator.Records.front().get();
        form.ShowPreview();
        form.resize(900, 620);
        form.show();
    });
    steps.Add(1500, [&] {
        // Zoomed out to see it whole, then in twice around the sun.
        auto* view = form.findChild<TImageView*>(QStringLiteral("PreviewImage"));
        view->SetZoom(50.0);
        const QRectF whole((view->viewport()->width() - 800) / 2.0,
            (view->viewport()->height() - 533.5) / 2.0, 800, 533.5);
        const QPointF sun(whole.left() + whole.width() * 0.75, whole.top() + whole.height() * 0.25);
        view->ZoomIn(sun);
        view->ZoomIn(sun);
    });
    steps.Add(500, [&] { grab(&form, In(out, "window-zoomed.png")); });
    steps.Add(100, [&] { form.PreviousBtnClick(false); });
    steps.Add(1500, [&] { grab(&form, In(out, "window-pdf.png")); });
    steps.Run();
    return app.exec();
}
