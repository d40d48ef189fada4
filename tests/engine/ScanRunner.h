#pragma once

// A scan run for the tests: its own finder and file searcher (no protected folders), the scan
// object, and a run that starts the scan thread and joins it, so every effect of the scan,
// its end callback included, has happened when Run returns.

#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/FindFile.h"
#include "engine/SettingsUnit.h"
#include "engine/SystemServices.h"
#include "tests/support/TempTree.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace scan_test {

// The tree's root as the file system resolves it (links in the temporary folder's path
// resolved), ending with "/": the scan reports paths below the resolved roots.
inline std::string ResolvedRoot(const testing_support::TTempTree& tree)
{
    char* resolved = ::realpath(tree.Root().c_str(), nullptr);
    std::string root = resolved != nullptr ? resolved : tree.Root();
    std::free(resolved);
    if (root.back() != '/') {
        root += '/';
    }
    return root;
}

// One file of a result group: its path below the tree and its similarity.
struct TGroupedFile {
    std::string Path;
    float Similarity = 0.0f;
    friend bool operator==(const TGroupedFile&, const TGroupedFile&) = default;
};

struct TResultGroup {
    std::int32_t Number = 0;
    std::vector<TGroupedFile> Files;
    friend bool operator==(const TResultGroup&, const TResultGroup&) = default;
};

inline void PrintTo(const TGroupedFile& file, std::ostream* out)
{
    *out << file.Path << " @" << file.Similarity;
}

inline void PrintTo(const TResultGroup& group, std::ostream* out)
{
    *out << "#" << group.Number << " {";
    for (const TGroupedFile& file : group.Files) {
        *out << " ";
        PrintTo(file, out);
    }
    *out << " }";
}

// The groups of a finder in list order, with paths below root.
inline std::vector<TResultGroup> GroupsOf(const TDFinder& finder, const std::string& root)
{
    std::vector<TResultGroup> groups;
    for (const TDGroup* group : finder.Groups) {
        TResultGroup entry;
        entry.Number = group->GroupNumber;
        for (const TDImage* file : *group) {
            std::string path = file->FullPath();
            if (path.starts_with(root)) {
                path.erase(0, root.size());
            }
            entry.Files.push_back({path, file->Similarity});
        }
        groups.push_back(std::move(entry));
    }
    return groups;
}

// Only the paths of each group.
inline std::vector<std::vector<std::string>> GroupPaths(
    const TDFinder& finder, const std::string& root)
{
    std::vector<std::vector<std::string>> paths;
    for (const TResultGroup& group : GroupsOf(finder, root)) {
        std::vector<std::string>& names = paths.emplace_back();
        for (const TGroupedFile& file : group.Files) {
            names.push_back(file.Path);
        }
    }
    return paths;
}

class TScanRun {
public:
    explicit TScanRun(const TSettings& settings)
        : Searcher(TSearchSpecialFolders {})
        , Thread(std::make_unique<TDFinderThread>(Finder, Searcher, settings))
    {
        Thread->OnTerminate = [this] {
            std::lock_guard guard(FLock);
            ++FCallbacks;
        };
    }

    void AddFolder(const std::string& folder) { Finder.Folders.push_back({folder, 0}); }

    // Clears ScanAborted as the owner does, starts the scan and waits for the thread to end.
    // onGate runs at every gate of the scan thread.
    void Run(std::function<void(TDFinderThread&)> onGate = {})
    {
        ScanAborted = false;
        if (onGate) {
            Thread->OnGate = [this, onGate] { onGate(*Thread); };
        }
        ASSERT_TRUE(Thread->Start());
        Thread->WaitFor();
    }

    std::int32_t Callbacks()
    {
        std::lock_guard guard(FLock);
        return FCallbacks;
    }

    TDFinder Finder;
    TFindFile Searcher;
    std::unique_ptr<TDFinderThread> Thread;

private:
    std::mutex FLock;
    std::int32_t FCallbacks = 0;
};

// The scan log's lines (CR LF stripped), or none when there is no log file.
inline std::vector<std::string> LogLines()
{
    std::ifstream in(GetSpecialFolder(CSIDL_PERSONAL) + "Marrowfen_Log.txt", std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace scan_test
