// The scan window's probe: starts scans from the main window on a folder and reports how long
// each took and how late a 1 ms timer of the window's event loop ran meanwhile. Not a test:
// run by hand under a real display server (Xvfb with QT_QPA_PLATFORM=xcb), never part of a
// test run.
//
//   pairloom-window-probe <folder> [runs] [screenshot.png] [pairloom-scan]
//
// With the path of the pairloom-scan driver, each run of the window is preceded by a run of
// the driver on the same folder (taking turns, so both meet the same load of the machine), and
// the medians of both are compared.
// Each run is timed from the Start command to the window being idle again with the groups in
// the grid (the scan, then the completion: grid fill and autocheck on the window's thread).
// The timer's lateness is reported for the scan (the scan thread working, the window polling
// it) and for the completion apart. The options and the registry store live in a temporary
// folder; every question is answered at once (the summary is not shown).
#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYGlobals.h"
#include "toolkit/NextGrid.h"
#include "ui/MainUnit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// The largest gap between two timeouts of a 1 ms timer, less the 1 ms, while it runs.
class TLatenessProbe {
public:
    TLatenessProbe()
    {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(1);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const qint64 now = FClock.nsecsElapsed();
            FWorst = std::max(FWorst, now - FLast - 1000000);
            FLast = now;
        });
    }
    void Start()
    {
        FWorst = 0;
        FClock.start();
        FLast = 0;
        FTimer.start();
    }
    // The worst lateness so far in milliseconds.
    double WorstMs() const { return double(FWorst) / 1e6; }
    void Stop() { FTimer.stop(); }

private:
    QTimer FTimer;
    QElapsedTimer FClock;
    qint64 FLast = 0;
    qint64 FWorst = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pairloom-window-probe <folder> [runs] [screenshot.png]\n");
        return 2;
    }
    QTemporaryDir sandbox;
    if (!sandbox.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QByteArray config = (sandbox.path() + QStringLiteral("/config")).toLocal8Bit();
    ::setenv("XDG_CONFIG_HOME", config.constData(), 1);

    QApplication app(argc, argv);
    InitProductGlobals();
    TScriptedQuestions answers;
    TScopedQuestions answering(answers);

    std::string folder = argv[1];
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString screenshot = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    const QString driver = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    // The driver's own time: the "end" line of its standard error, in milliseconds.
    auto driverMs = [&driver, &folder]() -> double {
        QProcess scan;
        scan.setStandardOutputFile(QProcess::nullDevice());
        scan.start(driver, {QString::fromStdString(folder)});
        scan.waitForFinished(-1);
        const QString log = QString::fromLocal8Bit(scan.readAllStandardError());
        const QRegularExpressionMatch end =
            QRegularExpression(QStringLiteral("([0-9.]+) s\\s+end")).match(log);
        return end.hasMatch() ? end.captured(1).toDouble() * 1000.0 : -1.0;
    };
    std::vector<double> driverTotals;

    TMainForm form;
    form.setWindowState(Qt::WindowNoState);
    form.setGeometry(0, 0, 1600, 1000);
    form.show();
    AppSettings.ShowProtectSysFilesMsg = false;
    AppSettings.AfterScan = 0;
    form.AddFolderToList(folder);

    TLatenessProbe probe;
    std::vector<double> totals;
    int run = 0;
    QElapsedTimer clock;
    double scanMs = 0;
    double scanLateness = 0;
    std::function<void()> next;
    // Watches the run from the window's own loop: while the scan thread runs, and once the
    // window is idle again with the groups shown.
    QTimer watch;
    watch.setInterval(2);
    double comparedMs = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (comparedMs == 0 && Finder->State.load() == fsFinished) {
            comparedMs = double(clock.nsecsElapsed()) / 1e6;
        }
        if (!form.IsScanning() && form.DupGrid->RowCount() > 0 && Finder->State.load() == fsIdle) {
            watch.stop();
            probe.Stop();
            const double total = double(clock.nsecsElapsed()) / 1e6;
            totals.push_back(total);
            std::printf("run %d: %.0f ms in all (compared at %.0f ms, scan thread ended by %.0f "
                        "ms), %d rows; 1 ms timer late by at most %.1f ms during the scan, "
                        "%.1f ms in all (with the completion)\n",
                run, total, comparedMs, scanMs, form.DupGrid->RowCount(), scanLateness,
                probe.WorstMs());
            std::fflush(stdout);
            QTimer::singleShot(200, next);
        } else if (form.IsScanning()) {
            scanLateness = probe.WorstMs();
            scanMs = double(clock.nsecsElapsed()) / 1e6;
        }
    });
    next = [&] {
        if (run == runs) {
            std::sort(totals.begin(), totals.end());
            std::printf("median of %d runs: %.0f ms (last scan phase %.0f ms)\n", runs,
                totals[totals.size() / 2], scanMs);
            if (!driverTotals.empty()) {
                std::sort(driverTotals.begin(), driverTotals.end());
                const double median = driverTotals[driverTotals.size() / 2];
                std::printf("pairloom-scan, median of %d runs: %.0f ms; the window takes %.2f "
                            "times as long\n",
                    runs, median, totals[totals.size() / 2] / median);
            }
            if (!screenshot.isEmpty()) {
                form.DupGrid->SelectRow(0);
                QApplication::primaryScreen()->grabWindow(0).save(screenshot);
            }
            form.close();
            app.quit();
            return;
        }
        ++run;
        if (!driver.isEmpty()) {
            driverTotals.push_back(driverMs());
            std::printf("run %d: pairloom-scan %.0f ms\n", run, driverTotals.back());
        }
        scanLateness = 0;
        comparedMs = 0;
        answers = TScriptedQuestions();
        // A new scan over shown results asks first.
        answers.AnswerConfirm(true);
        probe.Start();
        clock.start();
        form.ActionStartScanExecute();
        watch.start();
    };
    QTimer::singleShot(500, next);
    return app.exec();
}
