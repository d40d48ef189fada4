// pairloom-scan: runs one scan of the engine without the user interface and prints its groups.
//
//   pairloom-scan [--method 0|1|2|3] [--similarity P] [--no-recurse] [--no-protect]
//                 [--keep-zero] [--details] FOLDER...
//
// Every other option has its default. Standard output: each group's files, one full path a
// line, in group order, with a blank line after each group; with --details each group starts
// with a line "group N" (its number) and each path follows its file's similarity (as many
// digits as tell every float apart) and a tab. Standard error: the time at which
// each state of the scan began, the end, and the peak memory. Exit status 0 after a finished scan,
// 1 after a stopped one, 2 on bad arguments.
#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/FindFile.h"
#include "engine/OptionValues.h"
#include "engine/SettingsUnit.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int ExitBadArguments = 2;

void PrintUsage()
{
    std::fputs("usage: pairloom-scan [--method 0|1|2|3] [--similarity P] [--no-recurse] "
               "[--no-protect] [--keep-zero] [--details] FOLDER...\n",
        stderr);
}

bool ParseFloat(std::string_view text, float& value)
{
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}

const char* StateName(std::int32_t state)
{
    switch (state) {
    case fsIdle:
        return "idle";
    case fsListing:
        return "listing";
    case fsPreprocessing:
        return "preprocessing";
    case fsComparing:
        return "comparing";
    case fsFinished:
        return "finished";
    default:
        return "shown";
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);

    TSettings settings = TSettings::Defaults();
    std::vector<std::string> folders;
    bool details = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--method" && i + 1 < argc) {
            const std::string_view value = argv[++i];
            if (value.size() != 1 || value[0] < '0' || value[0] > '3') {
                std::fprintf(stderr, "pairloom-scan: bad method: %s\n", argv[i]);
                return ExitBadArguments;
            }
            settings.FindMode = std::uint8_t(value[0] - '0');
        } else if (argument == "--similarity" && i + 1 < argc) {
            float similarity = 0.0f;
            if (!ParseFloat(argv[++i], similarity) || similarity < 30.0f || similarity > 100.0f) {
                std::fprintf(stderr, "pairloom-scan: bad similarity (30 to 100): %s\n", argv[i]);
                return ExitBadArguments;
            }
            settings.Similarity = similarity;
        } else if (argument == "--no-recurse") {
            settings.Recurse = false;
        } else if (argument == "--no-protect") {
            settings.ProtectSysFiles = false;
        } else if (argument == "--keep-zero") {
            settings.SkipZeroFiles = false;
        } else if (argument == "--details") {
            details = true;
        } else if (argument.starts_with("--")) {
            std::fprintf(stderr, "pairloom-scan: unknown option: %s\n", argv[i]);
            PrintUsage();
            return ExitBadArguments;
        } else {
            std::error_code error;
            std::filesystem::path folder = std::filesystem::absolute(argv[i], error);
            if (error || !FolderExists(folder.string())) {
                std::fprintf(stderr, "pairloom-scan: no such folder: %s\n", argv[i]);
                return ExitBadArguments;
            }
            std::string text = folder.lexically_normal().string();
            if (text.back() != '/') {
                text += '/';
            }
            folders.push_back(text);
        }
    }
    if (folders.empty()) {
        std::fputs("pairloom-scan: no folder given\n", stderr);
        PrintUsage();
        return ExitBadArguments;
    }

    TDFinder finder;
    for (const std::string& folder : folders) {
        finder.Folders.push_back(TFinderFolder {folder, 0});
    }
    TFindFile searcher;

    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    ScanAborted = false;
    TDFinderThread scan(finder, searcher, settings);
    scan.OnTerminate = [&] {
        {
            std::lock_guard guard(lock);
            done = true;
        }
        ended.notify_all();
    };

    // Each state's start, noted on the scan thread at the first gate it passes in that state.
    using TClock = std::chrono::steady_clock;
    struct TStateStart {
        std::int32_t State;
        TClock::time_point At;
    };
    std::vector<TStateStart> states;
    const TClock::time_point start = TClock::now();
    scan.OnGate = [&] {
        const std::int32_t state = finder.State.load();
        if (states.empty() || states.back().State != state) {
            states.push_back({state, TClock::now()});
        }
    };
    if (!scan.Start()) {
        std::fputs("pairloom-scan: the scan thread could not be started\n", stderr);
        return 1;
    }
    {
        std::unique_lock guard(lock);
        ended.wait(guard, [&] { return done; });
    }
    scan.WaitFor();
    const TClock::time_point end = TClock::now();
    for (const TStateStart& entry : states) {
        std::fprintf(stderr, "%10.3f s  %s\n",
            std::chrono::duration<double>(entry.At - start).count(), StateName(entry.State));
    }
    std::fprintf(stderr, "%10.3f s  end\n", std::chrono::duration<double>(end - start).count());

    for (const TDGroup* group : finder.Groups) {
        if (details) {
            std::fprintf(stdout, "group %d\n", group->GroupNumber);
        }
        for (const TDImage* file : *group) {
            if (details) {
                std::fprintf(stdout, "%.9g\t", double(file->Similarity));
            }
            const std::string path = file->FullPath();
            std::fwrite(path.data(), 1, path.size(), stdout);
            std::fputc('\n', stdout);
        }
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "files %d, groups %d, peak memory %ld KB\n", finder.Files.Count(),
        finder.Groups.Count(), long(usage.ru_maxrss));
    return ScanAborted.load() ? 1 : 0;
}
