#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class TDFinder;

// What the main window's 250 ms timer shows of a running scan, worked out from one reading of
// the finder's counters, free of widgets: the status text, the progress bar, the tray icon's
// hint and the window caption. The timer applies what is set and leaves alone what is not.

// One reading of the finder's state (TFinderState), progress and file count.
struct TScanSnapshot {
    std::int32_t State = -1;
    std::int32_t Progress = 0;
    std::int32_t FileCount = 0;
    // The user stopped the scan: the display no longer follows it.
    bool Aborted = false;
};

// The counters as they stand now (each read once).
TScanSnapshot SnapshotOf(const TDFinder& finder, bool aborted);

enum class TProgressBarStyle {
    pbsUnchanged,
    pbsMarquee, // an endless run (range 0 to 0)
    pbsNormal, // a value within a range from 0
};

struct TScanProgressDisplay {
    // Status-bar panel 0.
    std::optional<QString> StatusText;
    TProgressBarStyle BarStyle = TProgressBarStyle::pbsUnchanged;
    // The range's maximum (its minimum is 0), to be set before the position, which always lies
    // within the range.
    std::optional<std::int32_t> BarMaximum;
    std::optional<std::int32_t> BarPosition;
    // The bar is to be repainted at once.
    bool RepaintBar = false;
    std::optional<QString> TrayHint;
    // The window's caption; the application's title takes it too when TitleFromCaption.
    std::optional<QString> Caption;
    bool TitleFromCaption = false;
};

// The display for the reading: listing (files found), preprocessing (files hashed of all, as a
// percentage), comparing (a percentage), preparing the results, results shown; nothing for an
// idle finder or a stopped scan. Percentages shown always lie within 0 to 100.
TScanProgressDisplay ScanProgressDisplay(
    const TScanSnapshot& snapshot, const QString& productTitle);
