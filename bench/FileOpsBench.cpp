// The Perform work against the system's tools on the same files: trashing 10,000 files
// against `gio trash` given all of them in one call, and deleting 100,000 files for good
// against `rm -f`. Each side gets a fresh set of the same files in a temporary folder; the
// trash is a fresh one in that folder too. Prints the times; run by hand:
//   pairloom-fileops-bench [trash files] [delete files]

#include "engine/DFinder.h"
#include "platform/FileIdentity.h"
#include "platform/FindRecord.h"
#include "ui/FileWork.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string NameOf(int index)
{
    char name[32];
    std::snprintf(name, sizeof name, "f%06d.dat", index);
    return name;
}

// count checked files in folder checked/ and as many kept copies in kept/, one pair per group;
// the content of a pair is its number.
void MakeFiles(const fs::path& root, int count)
{
    fs::remove_all(root);
    fs::create_directories(root / "kept");
    fs::create_directories(root / "checked");
    for (int i = 0; i < count; ++i) {
        const std::string content = "content of pair " + std::to_string(i) + "\n";
        std::ofstream(root / "kept" / NameOf(i), std::ios::binary) << content;
        std::ofstream(root / "checked" / NameOf(i), std::ios::binary) << content;
    }
}

// The results a scan of the files would give: each pair a group, the kept file unchecked.
std::unique_ptr<TDFinder> ListFiles(const fs::path& root, int count)
{
    auto finder = std::make_unique<TDFinder>();
    for (int i = 0; i < count; ++i) {
        auto group = std::make_unique<TDGroup>();
        group->GroupNumber = i + 1;
        TDGroup* added = finder->Groups.Add(std::move(group));
        for (const char* folder : {"kept", "checked"}) {
            const std::string path = (root / folder / NameOf(i)).string();
            platform::TFileIdentity identity;
            platform::GetFileIdentity(path, false, identity);
            platform::TFindRecord record;
            record.Name = NameOf(i);
            record.Size = identity.Size;
            record.LastWriteTime = identity.LastWriteTime;
            record.Kind = platform::TEntryKind::ekRegular;
            TDImage* image = finder->Files.Add(
                std::make_unique<TDImage>((root / folder).string() + "/", record));
            image->CheckState = std::string(folder) == "checked" ? 2 : 0;
            added->Add(image);
            image->Group = added;
        }
    }
    return finder;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The Perform work over the checked files; the seconds it took.
double RunWork(const fs::path& root, int count, TPerformAction action)
{
    std::unique_ptr<TDFinder> finder = ListFiles(root, count);
    TFileWorkOptions options;
    options.Action = action;
    TFileWork work(CollectWorkGroups(*finder), options);
    struct TQuiet : TFileWorkEvents {
        void Line(const std::string&) override { }
        void Progress(std::int32_t, std::int32_t) override { }
    } events;
    const auto start = std::chrono::steady_clock::now();
    work.Run(events);
    const double seconds = Seconds(start);
    std::size_t failed = 0;
    for (const TWorkItem& item : work.Items()) {
        failed += item.Result.Outcome != ioDone;
    }
    if (failed != 0) {
        std::fprintf(stderr, "%zu files were not done\n", failed);
    }
    return seconds;
}

// The program with the names of every checked file, started in checked/; the seconds it took.
double RunTool(const fs::path& root, int count, std::vector<std::string> command)
{
    for (int i = 0; i < count; ++i) {
        command.push_back(NameOf(i));
    }
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const fs::path before = fs::current_path();
    fs::current_path(root / "checked");
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int status = 0;
    if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0) {
        ::waitpid(child, &status, 0);
    } else {
        std::fprintf(stderr, "%s could not be started\n", argv[0]);
    }
    const double seconds = Seconds(start);
    fs::current_path(before);
    if (!fs::is_empty(root / "checked")) {
        std::fprintf(stderr, "%s left files behind\n", argv[0]);
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const int trashCount = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int deleteCount = argc > 2 ? std::atoi(argv[2]) : 100000;
    const fs::path base =
        fs::temp_directory_path() / ("pairloom-fileops-bench-" + std::to_string(::getpid()));
    const fs::path root = base / "files";
    // A trash of its own on the same file system, for both sides.
    ::setenv("XDG_DATA_HOME", (base / "data").c_str(), 1);

    MakeFiles(root, trashCount);
    const double ourTrash = RunWork(root, trashCount, paRecycleBin);
    fs::remove_all(base / "data");
    MakeFiles(root, trashCount);
    const double gioTrash = RunTool(root, trashCount, {"gio", "trash"});
    fs::remove_all(base / "data");
    std::printf("trash %d files: Perform %.2f s, gio trash %.2f s (%.2fx)\n", trashCount, ourTrash,
        gioTrash, ourTrash / gioTrash);

    MakeFiles(root, deleteCount);
    const double ourDelete = RunWork(root, deleteCount, paDelete);
    MakeFiles(root, deleteCount);
    const double rmDelete = RunTool(root, deleteCount, {"rm", "-f"});
    std::printf("delete %d files for good: Perform %.2f s, rm -f %.2f s (%.2fx)\n", deleteCount,
        ourDelete, rmDelete, ourDelete / rmDelete);

    fs::remove_all(base);
    return 0;
}
