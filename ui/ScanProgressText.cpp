#include "ui/ScanProgressText.h"

#include "engine/DFinder.h"

#include <algorithm>
#include <cmath>

namespace {

QString DoneCaption(std::int32_t percent, const QString& productTitle)
{
    return QStringLiteral("(%1% done) - ").arg(percent) + productTitle +
        QStringLiteral(" - Press ESC to abort");
}

QString FinishedCaption(const QString& productTitle)
{
    return QStringLiteral("(100% done) - ") + productTitle;
}

} // namespace

TScanSnapshot SnapshotOf(const TDFinder& finder, bool aborted)
{
    TScanSnapshot snapshot;
    snapshot.State = finder.State.load();
    snapshot.Progress = finder.Progress.load();
    snapshot.FileCount = finder.FileCount.load();
    snapshot.Aborted = aborted;
    return snapshot;
}

TScanProgressDisplay ScanProgressDisplay(const TScanSnapshot& snapshot, const QString& productTitle)
{
    TScanProgressDisplay display;
    if (snapshot.Aborted) {
        return display;
    }
    switch (snapshot.State) {
    case fsListing:
        display.StatusText = QStringLiteral("Collecting list of possible duplicates... (Files: %1)")
                                 .arg(snapshot.FileCount);
        display.BarStyle = TProgressBarStyle::pbsMarquee;
        break;
    case fsPreprocessing: {
        const std::int32_t maximum = std::max(snapshot.FileCount, 0);
        const std::int32_t position = std::clamp(snapshot.Progress, 0, maximum);
        display.BarStyle = TProgressBarStyle::pbsNormal;
        display.BarMaximum = maximum;
        display.BarPosition = position;
        if (maximum == 0) {
            break;
        }
        const auto percent =
            std::int32_t(std::nearbyint(double(position) * 100.0 / double(maximum)));
        display.StatusText =
            QStringLiteral("Preprocessing files... %1% (Possible duplicate files: %2)")
                .arg(percent)
                .arg(snapshot.FileCount);
        display.TrayHint = QStringLiteral("%1% done").arg(percent);
        display.Caption = DoneCaption(percent, productTitle);
        display.TitleFromCaption = true;
        break;
    }
    case fsComparing: {
        const std::int32_t percent = std::clamp(snapshot.Progress, -1, 99) + 1;
        display.StatusText = QStringLiteral("Comparing files... (%1%)").arg(percent);
        display.BarStyle = TProgressBarStyle::pbsNormal;
        display.BarMaximum = 100;
        display.BarPosition = std::clamp(snapshot.Progress, 0, 100);
        display.RepaintBar = true;
        display.TrayHint = QStringLiteral("%1% done").arg(percent);
        display.Caption = DoneCaption(percent, productTitle);
        display.TitleFromCaption = true;
        break;
    }
    case fsFinished:
        display.StatusText = QStringLiteral("Preparing results... Please wait...");
        display.BarStyle = TProgressBarStyle::pbsMarquee;
        display.BarPosition = 0;
        display.RepaintBar = true;
        display.TrayHint = QString();
        display.Caption = FinishedCaption(productTitle);
        break;
    case fsShown:
        display.BarStyle = TProgressBarStyle::pbsNormal;
        display.BarMaximum = 100;
        display.BarPosition = 100;
        display.RepaintBar = true;
        display.TrayHint = QStringLiteral("100% done");
        display.Caption = FinishedCaption(productTitle);
        display.TitleFromCaption = true;
        break;
    default:
        break;
    }
    return display;
}
