// pairloom-grid-bench: the results grid and the autocheck rule on a million files.
//
//   xvfb-run -a env QT_QPA_PLATFORM=xcb pairloom-grid-bench [FILES [GROUPS]]
//
// Builds FILES files (default 1,000,000) in GROUPS groups (default 250,000) in a finder, shows
// the grid in a window and prints, one line each, the time of: a fill (the rows listed from
// the groups, the model reset, the first paint); a sort by each column, with the rows sorted
// by the grid and with the finder's groups sorted and the grid refilled; the autocheck rule of
// each kind over all groups; a page scroll (median and worst of many); and the grid's own
// memory per row beyond the records. Not part of any test run.
#include "engine/DFinder.h"
#include "engine/SettingsUnit.h"
#include "toolkit/NextGrid.h"
#include "ui/AutoCheck.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double MillisecondsOf(const std::function<void()>& work)
{
    const TClock::time_point start = TClock::now();
    work();
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// Bytes allocated: from the heap, and in blocks of their own (large vectors).
std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Files of a duplicate scan of photos, music and documents: each group's files share a size;
// half the groups share one name, the others have renamed copies; 5,000 folders; times spread
// over twenty years; similarities 0 (equal files) or from 0.90 to 1.
void MakeResults(TDFinder& finder, std::int32_t fileCount, std::int32_t groupCount)
{
    std::mt19937_64 random(20240517);
    const char* const extensions[] = {
        ".jpg", ".png", ".mp3", ".pdf", ".docx", ".txt", ".mkv", ".zip", ".cr2", ".flac"};
    std::vector<TSharedString> folders;
    for (int i = 0; i < 5000; ++i) {
        folders.emplace_back("/home/user/Archive/" + std::to_string(2005 + i % 20) + "/set" +
            std::to_string(i) + "/");
    }
    const std::uint64_t twentyYearsMs = 20ULL * 365 * 24 * 3600 * 1000;
    const std::uint64_t start2005Ms = 1104537600000ULL;
    for (std::int32_t g = 0; g < groupCount; ++g) {
        TDGroup* group = finder.Groups.Add(std::make_unique<TDGroup>());
        group->GroupNumber = g + 1;
        const std::int32_t first = std::int32_t(std::int64_t(fileCount) * g / groupCount);
        const std::int32_t last = std::int32_t(std::int64_t(fileCount) * (g + 1) / groupCount);
        const std::string base = "IMG_" + std::to_string(100000 + g);
        const char* extension = extensions[random() % std::size(extensions)];
        const std::int64_t size = std::int64_t(1024 + random() % (4ULL << 30));
        const bool renamed = g % 2 == 1;
        const bool similar = g % 3 == 0;
        for (std::int32_t f = first; f < last; ++f) {
            platform::TFindRecord record;
            record.Name = renamed && f > first
                ? base + " (" + std::to_string(f - first) + ")" + extension
                : base + extension;
            record.Size = size;
            record.Kind = platform::TEntryKind::ekRegular;
            auto time = [&] {
                const std::uint64_t unixMs = start2005Ms + random() % twentyYearsMs;
                return platform::TFileTime::FromTicks((unixMs + 11644473600000ULL) * 10000ULL);
            };
            record.CreationTime = time();
            record.LastWriteTime = time();
            record.LastAccessTime = time();
            TDImage* image = finder.Files.Add(
                std::make_unique<TDImage>(folders[random() % folders.size()], record));
            image->Similarity = similar ? 0.9f + float(random() % 1000) / 10000.0f : 0.0f;
            image->Group = group;
            group->Add(image);
        }
    }
    finder.Folders = {{"/home/user/Archive/2005/", 1}, {"/home/user/Archive/", 0}};
}

// Runs prepare (not timed) and then work (timed) Repetitions times; prints the median and the
// worst time against the target.
constexpr int Repetitions = 5;

void Measure(const std::string& what, double targetMs, const std::function<void()>& prepare,
    const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < Repetitions; ++i) {
        prepare();
        times.push_back(MillisecondsOf(work));
    }
    std::sort(times.begin(), times.end());
    std::printf("%-50s median %7.1f ms, worst %7.1f ms  (target %.0f ms)\n", what.c_str(),
        times[times.size() / 2], times.back(), targetMs);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const std::int32_t fileCount = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::int32_t groupCount = argc > 2 ? std::atoi(argv[2]) : 250000;
    if (fileCount <= 0 || groupCount <= 0 || groupCount > fileCount) {
        std::fputs("usage: pairloom-grid-bench [FILES [GROUPS]]\n", stderr);
        return 2;
    }

    TDFinder finder;
    MakeResults(finder, fileCount, groupCount);
    TSettings settings = TSettings::Defaults();
    settings.PreserveGroupOrder = false;
    std::printf("%d files in %d groups, platform %s\n", fileCount, groupCount,
        qPrintable(QApplication::platformName()));

    TNextGrid grid;
    grid.SetSettings(&settings);
    grid.resize(1200, 800);
    grid.show();
    if (!QTest::qWaitForWindowExposed(&grid)) {
        std::fputs("the grid's window was not shown\n", stderr);
        return 1;
    }
    auto paintNow = [&] {
        QCoreApplication::processEvents();
        grid.viewport()->repaint();
    };
    auto fill = [&] {
        grid.SetRows(ListGridRows(finder), finder.Files.Count());
        paintNow();
    };

    const auto nothing = [] {};
    Measure(
        "fill: rows from the groups, model reset, first paint", 1000, [&] { grid.ClearRows(); },
        fill);
    grid.ClearRows();
    paintNow();
    const std::size_t heapBefore = HeapInUse();
    fill();
    const std::size_t heapAfter = HeapInUse();
    std::printf("%-50s %7.1f bytes (target 48)\n", "the grid's own memory per row",
        double(heapAfter - heapBefore) / double(grid.RowCount()));

    for (int column = 0; column < DupGridColumnCount; ++column) {
        Measure("sort rows by column " + std::to_string(column), 1000, fill, [&] {
            grid.SortByColumn(column, column % 2 == 1);
            paintNow();
        });
    }
    settings.PreserveGroupOrder = true;
    QObject::connect(&grid, &TNextGrid::AfterSort, [&](int column, bool descending) {
        finder.SortGroups(std::uint8_t(column), descending);
        fill();
    });
    // Each run starts from the groups in the order the scan made them.
    const auto scanOrder = [&] {
        finder.SortGroups(GroupColumn, false);
        fill();
    };
    for (int column = 1; column < DupGridColumnCount; ++column) {
        Measure(
            "sort groups by column " + std::to_string(column) + ", refill", 1000, scanOrder, [&] {
                grid.SortByColumn(column, false);
                paintNow();
            });
    }

    for (std::uint8_t rule = acrSmallerSizes; rule <= acrLongerPaths; ++rule) {
        settings.AutoCheckType = rule;
        Measure("autocheck rule " + std::to_string(rule) + " over all groups", 500, nothing,
            [&] { AutoCheckGroups(finder, settings); });
    }

    fill();
    QScrollBar* bar = grid.verticalScrollBar();
    std::mt19937 random(7);
    std::vector<double> pages;
    for (int i = 0; i < 500; ++i) {
        const int from = int(random() % std::uint32_t(std::max(bar->maximum(), 1)));
        bar->setValue(from);
        paintNow();
        pages.push_back(MillisecondsOf([&] {
            bar->setValue(from + bar->pageStep());
            grid.viewport()->repaint();
        }));
    }
    const double first = pages.front();
    std::sort(pages.begin(), pages.end());
    std::printf("%-50s first %.1f, median %.1f, 99th percentile %.1f, worst %.1f ms (target 16)\n",
        "page scroll, 500 pages at random places", first, pages[pages.size() / 2],
        pages[pages.size() * 99 / 100], pages.back());
    return 0;
}
