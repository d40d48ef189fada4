#include "ui/FileWork.h"

#include "engine/DFinder.h"
#include "platform/FileIdentity.h"
#include "platform/PathText.h"
#include "platform/SysCalls.h"
#include "platform/Trash.h"
#include "platform/Volumes.h"
#include "tests/platform/PrivateTmpfs.h"
#include "tests/support/TempTree.h"
#include "tests/ui/ScannedTree.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

using testing_support::TResults;
using testing_support::TScanned;
using testing_support::TTempTree;

namespace {

const std::string ErrorAddress = "https://example.invalid/errors";

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWhole(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// The contents of every regular file below the folders (links are not followed).
std::multiset<std::string> ContentsBelow(const std::vector<std::string>& folders)
{
    std::multiset<std::string> contents;
    std::vector<std::string> pending = folders;
    while (!pending.empty()) {
        std::string folder = pending.back();
        pending.pop_back();
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) {
            continue;
        }
        while (struct dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            std::string path = platform::JoinPath(folder, name);
            struct stat info { };
            if (::lstat(path.c_str(), &info) != 0) {
                continue;
            }
            if (S_ISDIR(info.st_mode)) {
                pending.push_back(path);
            } else if (S_ISREG(info.st_mode)) {
                contents.insert(ReadWhole(path));
            }
        }
        ::closedir(dir);
    }
    return contents;
}

// The name a file takes while a link replaces it.
std::string TemporaryOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    std::size_t stemEnd = dot == std::string::npos || dot <= nameStart ? path.size() : dot;
    return path.substr(0, stemEnd) + TemporaryLinkExtension;
}

bool IsLink(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// What a run reported, from whichever thread.
class TRecorder : public TFileWorkEvents {
public:
    void Line(const std::string& line) override
    {
        std::lock_guard guard(FLock);
        Lines.push_back(line);
    }
    void Progress(std::int32_t done, std::int32_t total) override
    {
        LastDone = done;
        LastTotal = total;
        if (OnProgress) {
            OnProgress(done);
        }
    }
    void ItemFinished(std::size_t item, const TItemResult& result) override
    {
        std::lock_guard guard(FLock);
        ++Reports[item];
        (void)result;
    }

    std::vector<std::string> Lines;
    std::map<std::size_t, int> Reports;
    std::int32_t LastDone = 0;
    std::int32_t LastTotal = 0;
    std::function<void(std::int32_t done)> OnProgress;

private:
    std::mutex FLock;
};

// Makes a chosen system call on a chosen path fail with a chosen code, or runs a step before
// it; every other call goes through.
class TFaults : public platform::TSysCalls {
public:
    // Called with the operation ("unlink", "rename", "rename-to", "create", "mkdir",
    // "symlink", "rmdir") and the path; a non-zero result fails the call with that code.
    std::function<int(const std::string& operation, const std::string& path)> Fault;

    int Unlink(const char* path) override
    {
        return Check("unlink", path) ? -1 : TSysCalls::Unlink(path);
    }
    int Rename(const char* from, const char* to, unsigned flags) override
    {
        if (Check("rename", from) || Check("rename-to", to)) {
            return -1;
        }
        return TSysCalls::Rename(from, to, flags);
    }
    int Link(const char* from, const char* to) override
    {
        if (Check("rename", from) || Check("rename-to", to)) {
            return -1;
        }
        return TSysCalls::Link(from, to);
    }
    int Open(const char* path, int flags, mode_t mode) override
    {
        if ((flags & O_CREAT) && Check("create", path)) {
            return -1;
        }
        return TSysCalls::Open(path, flags, mode);
    }
    int Mkdir(const char* path, mode_t mode) override
    {
        return Check("mkdir", path) ? -1 : TSysCalls::Mkdir(path, mode);
    }
    int Symlink(const char* target, const char* path) override
    {
        if (Check("symlink", path)) {
            return -1;
        }
        return SymlinkInstead ? SymlinkInstead(target, path) : TSysCalls::Symlink(target, path);
    }
    int Rmdir(const char* path) override
    {
        return Check("rmdir", path) ? -1 : TSysCalls::Rmdir(path);
    }

    // Makes the link in place of the real call (e.g. one that leads elsewhere).
    std::function<int(const char* target, const char* path)> SymlinkInstead;

private:
    bool Check(const char* operation, const char* path)
    {
        if (!Fault) {
            return false;
        }
        if (int code = Fault(operation, path)) {
            errno = code;
            return true;
        }
        return false;
    }
};

// ---- the fault table ---------------------------------------------------------------------

struct TListed {
    std::string Relative;
    bool Checked = false;
    TItemOutcome Expect = ioNotRun; // for checked files
    bool Make = true; // create the file with the group's content
};

struct TListedGroup {
    std::string Content;
    std::vector<TListed> Files;
};

struct TFaultRow {
    const char* Name;
    TPerformAction Action;
    bool KeepFolderStructure;
    std::vector<TListedGroup> Groups;
    // Runs after the files were listed and before the run (the world changing meanwhile).
    std::function<void(TTempTree& tree)> AfterScan = nullptr;
    std::function<int(const std::string& operation, const std::string& path, TTempTree& tree)>
        Fault = nullptr;
    // A line that must be logged (a part of it).
    std::string ExpectLine = {};
    // Runs at each file handed over.
    std::function<void(std::int32_t done, TTempTree& tree)> OnProgress = nullptr;
    // One worker where the row needs the files done in the order they are handed over.
    std::int32_t Workers = 8;
};

bool Contains(const std::vector<std::string>& lines, const std::string& part)
{
    return std::any_of(lines.begin(), lines.end(),
        [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

TEST(FileWork, NoInjectedFaultCostsAFileAndEveryFailureIsListed)
{
    const std::string differentSize = "changed content, longer";
    const std::vector<TFaultRow> rows = {
        {"permission denied on the source (delete for good)", paDelete, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}, {"c/x.txt", true, ioDone}}}},
            nullptr,
            [](const std::string& op, const std::string& path, TTempTree& tree) {
                return op == "unlink" && path == tree.Path("b/x.txt") ? EACCES : 0;
            },
            "( code: 0x0D - Permission denied ):  "},
        {"permission denied on the source (move)", paMove, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}}}}, nullptr,
            [](const std::string& op, const std::string& path, TTempTree& tree) {
                return op == "rename" && path == tree.Path("b/x.txt") ? EACCES : 0;
            },
            "Cannot move ( code: 0x0D"},
        {"permission denied on the source (trash)", paRecycleBin, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}}}}, nullptr,
            [](const std::string& op, const std::string& path, TTempTree&) {
                return op == "rename" && path.find("b/x.txt") != std::string::npos ? EACCES : 0;
            },
            "Cannot delete ( code: 0x0D"},
        {"permission denied on the target folder (copy)", paCopy, false,
            {{"A", {{"a/x.txt", false}, {"b/y.txt", true, ioFailed}}}}, nullptr,
            [](const std::string& op, const std::string& path, TTempTree& tree) {
                return op == "create" && path.rfind(tree.Path("target"), 0) == 0 ? EACCES : 0;
            },
            "Cannot copy ( code: 0x0D"},
        {"permission denied on the target folder (move)", paMove, true,
            {{"A", {{"a/x.txt", false}, {"b/y.txt", true, ioFailed}}}}, nullptr,
            [](const std::string& op, const std::string& path, TTempTree& tree) {
                return (op == "mkdir" || op == "rename-to" || op == "create") &&
                        path.rfind(tree.Path("target"), 0) == 0
                    ? EACCES
                    : 0;
            },
            "Cannot create folder ( code: 0x0D - Permission denied ): "},
        {"a source deleted before its turn (delete)", paDelete, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioNotFound}, {"c/x.txt", true, ioDone}}}},
            nullptr, nullptr, "File not found: ",
            [](std::int32_t done, TTempTree& tree) {
                if (done == 1) {
                    ::unlink(tree.Path("b/x.txt").c_str());
                }
            }},
        {"a source deleted while the pool works (move)", paMove, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}}}}, nullptr,
            [](const std::string& op, const std::string& path, TTempTree& tree) {
                if (op == "rename" && path == tree.Path("b/x.txt")) {
                    ::unlink(path.c_str());
                    return ENOENT;
                }
                return 0;
            },
            "( code: 0x02 - No such file or directory ):  "},
        {"the kept file deleted after the scan (trash)", paRecycleBin, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}, {"c/x.txt", true, ioFailed}}}},
            [](TTempTree& tree) { ::unlink(tree.Path("a/x.txt").c_str()); }, nullptr,
            "Cannot delete ( no unchanged copy is left in its group ):  "},
        {"the kept file changed after the scan (delete for good)", paDelete, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}}}},
            [&](TTempTree& tree) { WriteWhole(tree.Path("a/x.txt"), differentSize); }, nullptr,
            "no unchanged copy is left in its group"},
        {"a checked file changed after the scan (delete for good)", paDelete, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}}}},
            [&](TTempTree& tree) { WriteWhole(tree.Path("b/x.txt"), differentSize); }, nullptr,
            "Cannot delete ( changed since the scan ):  "},
        {"a checked file touched after the scan, same size (links)", paSymbolicLinks, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}}}},
            [](TTempTree& tree) { tree.SetTimes("b/x.txt", 1000, 2000); }, nullptr,
            "Cannot create symbolic links ( changed since the scan ):  "},
        {"the target exists (move, folder structure kept)", paMove, true,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}}}},
            [](TTempTree& tree) {
                tree.AddFile("target" + tree.Path("b/x.txt"), "someone else's file");
            },
            nullptr, "( code: 0x11 - File exists ):  "},
        {"flat names colliding with each other and with a file in the target (move)", paMove, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioDone}}},
                {"B", {{"c/x.txt", false}, {"d/x.txt", true, ioDone}, {"e/x.txt", true, ioDone}}}},
            [](TTempTree& tree) { tree.AddFile("target/x.txt", "someone else's file"); }, nullptr,
            "File x.txt already exists in target location - renamed to x(3).txt"},
        {"two files of the results mapping to one target (copy, folder structure kept)", paCopy,
            true,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioDone}}},
                {"A", {{"c/x.txt", false}, {"b/x.txt", true, ioFailed, false}}}},
            nullptr, nullptr, "Cannot copy ( code: 0x11 - File exists ):  ", nullptr, 1},
        {"a file system refusing links", paSymbolicLinks, false,
            {{"A", {{"a/x.txt", false}, {"b/x.txt", true, ioFailed}}}}, nullptr,
            [](const std::string& op, const std::string&, TTempTree&) {
                return op == "symlink" ? EPERM : 0;
            },
            "Error while creating symboilc links of file "},
        {"names that are not UTF-8, with newlines and quotes (move)", paMove, false,
            {{"A",
                 {{"a/n\xff\xfe.txt", false}, {"b/n\xff\xfe.txt", true, ioDone},
                     {"c/n\xff\xfe.txt", true, ioDone}}},
                {"B",
                    {{"a/new\nline \"quoted\" 'x'", false},
                        {"b/new\nline \"quoted\" 'x'", true, ioDone}}}},
            nullptr, nullptr,
            "File n\xff\xfe.txt already exists in target location - renamed to n\xff\xfe(1).txt"},
        {"names that are not UTF-8, with newlines and quotes (trash)", paRecycleBin, false,
            {{"A", {{"a/n\xff\xfe.txt", false}, {"b/n\xff\xfe.txt", true, ioDone}}},
                {"B",
                    {{"a/new\nline \"quoted\"", false}, {"b/new\nline \"quoted\"", true, ioDone}}}},
            nullptr, nullptr, "Operation complete."},
        {"a folder link making one file two paths (delete for good)", paDelete, false,
            {{"A", {{"real/x.txt", false}, {"alias/x.txt", true, ioFailed, false}}}}, nullptr,
            nullptr, "Cannot delete ( it is the same file as the kept copy ):  "},
        {"a folder link making one file two paths (links)", paSymbolicLinks, false,
            {{"A", {{"real/x.txt", false}, {"alias/x.txt", true, ioFailed, false}}}}, nullptr,
            nullptr, "it is the same file as the kept copy"},
        {"a folder link making one file two paths (move)", paMove, false,
            {{"A", {{"real/x.txt", false}, {"alias/x.txt", true, ioFailed, false}}}}, nullptr,
            nullptr, "Cannot move ( it is the same file as the kept copy ):  "},
    };

    for (const TFaultRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempTree tree;
        tree.AddFolder("target");
        tree.AddFolder("real");
        tree.AddSymlink("alias", tree.Path("real"));
        std::set<std::string> contents;
        TResults results;
        for (const TListedGroup& listed : row.Groups) {
            contents.insert(listed.Content);
            for (const TListed& file : listed.Files) {
                if (file.Make) {
                    tree.AddFile(file.Relative, listed.Content);
                }
            }
        }
        for (const TListedGroup& listed : row.Groups) {
            TDGroup* group = results.NewGroup();
            for (const TListed& file : listed.Files) {
                results.Add(group, tree.Path(file.Relative), file.Checked);
            }
        }
        if (row.AfterScan) {
            row.AfterScan(tree);
        }
        std::multiset<std::string> before = ContentsBelow({tree.Root()});

        TFileWorkOptions options;
        options.Action = row.Action;
        options.TargetFolder = tree.Path("target");
        options.KeepFolderStructure = row.KeepFolderStructure;
        options.Workers = row.Workers;
        TFileWork work(CollectWorkGroups(results.Finder), options);
        TRecorder recorder;
        if (row.OnProgress) {
            recorder.OnProgress = [&](std::int32_t done) { row.OnProgress(done, tree); };
        }
        TFaults faults;
        if (row.Fault) {
            faults.Fault = [&](const std::string& op, const std::string& path) {
                return row.Fault(op, path, tree);
            };
        }
        {
            platform::TScopedSysCalls calls(faults);
            work.Run(recorder);
        }
        TWorkSummary summary = ApplyWorkResults(results.Finder, work, ErrorAddress);
        std::vector<std::string> lines = recorder.Lines;
        lines.insert(lines.end(), summary.Lines.begin(), summary.Lines.end());

        // Every item has its result, reported once, and the one expected.
        ASSERT_EQ(work.Items().size(), recorder.Reports.size());
        std::map<std::pair<std::size_t, std::size_t>, TItemOutcome> outcomes;
        for (const TWorkItem& item : work.Items()) {
            outcomes[{item.Group, item.File}] = item.Result.Outcome;
        }
        for (std::size_t g = 0; g < row.Groups.size(); ++g) {
            for (std::size_t f = 0; f < row.Groups[g].Files.size(); ++f) {
                const TListed& file = row.Groups[g].Files[f];
                if (!file.Checked) {
                    continue;
                }
                const std::pair<std::size_t, std::size_t> key(g, f);
                EXPECT_EQ(outcomes[key], file.Expect) << file.Relative;
                const std::string path = tree.Path(file.Relative);
                if (file.Expect == ioFailed) {
                    // Listed, and still in the results, checked.
                    EXPECT_TRUE(Contains(lines, path) ||
                        Contains(lines, "Group " + std::to_string(g + 1) + " doesn't"))
                        << file.Relative << " fails unlisted";
                    EXPECT_TRUE(results.Holds(path)) << file.Relative;
                }
            }
        }
        // Every content the tree held is still held by some file somewhere.
        std::multiset<std::string> after =
            ContentsBelow({tree.Root(), platform::HomeTrashFolder()});
        for (const std::string& content : before) {
            EXPECT_TRUE(after.count(content) != 0) << "lost: " << content;
        }
        for (const std::string& content : contents) {
            EXPECT_TRUE(after.count(content) != 0) << "lost: " << content;
        }
        if (!row.ExpectLine.empty()) {
            EXPECT_TRUE(Contains(lines, row.ExpectLine)) << "no line with " << row.ExpectLine;
        }
        // No temporary link names are left behind.
        for (const TListedGroup& listed : row.Groups) {
            for (const TListed& file : listed.Files) {
                EXPECT_FALSE(tree.Exists(TemporaryOf(file.Relative))) << file.Relative;
            }
        }
    }
}

// ---- names, links, Stop, space, emptied folders --------------------------------------------

TEST(FileWork, FlatNamesAreNumberedInTheOrderTheFilesAreHandedOver)
{
    TScanned scan;
    scan.Group({"k/x.txt", "a/x.txt", "b/x.txt", "c/x.txt"}, "X");
    scan.Group({"k/README", "a/README", "b/README"}, "R");
    scan.Group({"k/.bashrc", "a/.bashrc"}, "B");
    scan.Group({"k/y.tar.gz", "a/y.tar.gz"}, "Y");
    scan.Tree.AddFile("target/y.tar.gz", "already there");
    TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(paCopy));
    TRecorder recorder;
    work.Run(recorder);

    // A group's files go from the last to the first.
    EXPECT_EQ(scan.Tree.ReadFile("target/x.txt"), "X");
    EXPECT_EQ(work.Items()[0].Target, scan.Tree.Path("target/x.txt"));
    EXPECT_EQ(work.Items()[1].Target, scan.Tree.Path("target/x(1).txt"));
    EXPECT_EQ(work.Items()[2].Target, scan.Tree.Path("target/x(2).txt"));
    EXPECT_EQ(scan.Tree.ReadFile("target/README(1)"), "R");
    EXPECT_EQ(scan.Tree.ReadFile("target/.bashrc"), "B");
    EXPECT_EQ(scan.Tree.ReadFile("target/y.tar(1).gz"), "Y");
    EXPECT_EQ(scan.Tree.ReadFile("target/y.tar.gz"), "already there");
    const std::vector<std::string> expected = {
        "File x.txt already exists in target location - renamed to x(1).txt",
        "File x.txt already exists in target location - renamed to x(2).txt",
        "File README already exists in target location - renamed to README(1)",
        "File y.tar.gz already exists in target location - renamed to y.tar(1).gz",
    };
    EXPECT_EQ(recorder.Lines, expected);

    // After a copy every record stays, checked.
    TWorkSummary summary = ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);
    EXPECT_EQ(scan.Results.Finder.Files.Count(), 11);
    EXPECT_EQ(summary.Lines, std::vector<std::string> {"Operation complete."});
}

TEST(FileWork, ALinkIsRelativeWorkedOutFromRealFoldersAndLeadsToTheKeptFile)
{
    TScanned scan;
    scan.Tree.AddFile("data/photos/k.jpg", "P");
    scan.Tree.AddFile("data/album/deep/x.jpg", "P");
    scan.Tree.AddSymlink("shortcut", scan.Tree.Path("data/album/deep"));
    TDGroup* group = scan.Results.NewGroup();
    scan.Results.Add(group, scan.Tree.Path("data/photos/k.jpg"), false);
    // Listed through the folder link: its ".." leads out of data/album/deep, not the root.
    std::string linked = scan.Tree.Path("shortcut/x.jpg");
    scan.Results.Add(group, linked, true);

    TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(paSymbolicLinks));
    TRecorder recorder;
    work.Run(recorder);

    ASSERT_EQ(work.Items()[0].Result.Outcome, ioDone);
    std::string real = scan.Tree.Path("data/album/deep/x.jpg");
    ASSERT_TRUE(IsLink(real));
    char text[4096] = {};
    ASSERT_GT(::readlink(real.c_str(), text, sizeof text - 1), 0);
    EXPECT_EQ(std::string(text), "../../photos/k.jpg");
    EXPECT_EQ(ReadWhole(linked), "P");
    EXPECT_FALSE(scan.Tree.Exists("data/album/deep/x" + TemporaryLinkExtension));
    ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);
    EXPECT_FALSE(scan.Results.Holds(linked));
}

TEST(FileWork, AGroupWithEveryFileCheckedGetsNoLinksAndStaysChecked)
{
    TScanned scan;
    TDGroup* group = scan.Results.NewGroup();
    for (const char* name : {"a/x.txt", "b/x.txt"}) {
        scan.Tree.AddFile(name, "A");
        scan.Results.Add(group, scan.Tree.Path(name), true);
    }
    TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(paSymbolicLinks));
    TRecorder recorder;
    work.Run(recorder);
    TWorkSummary summary = ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);

    EXPECT_TRUE(Contains(
        recorder.Lines, "Group 1 doesn't contain an unchecked file to create symboilc links to."));
    EXPECT_EQ(summary.ErrorCount, 2);
    EXPECT_EQ(scan.Results.Finder.Files.Count(), 2);
    for (const TDImage* image : scan.Results.Finder.Files) {
        EXPECT_NE(image->CheckState, 0);
        EXPECT_FALSE(IsLink(image->FullPath()));
    }
}

TEST(FileWork, ALinkThatFailsAtAnyPointIsRolledBackAndNothingIsLost)
{
    struct TCase {
        const char* Name;
        std::function<int(const std::string& op, const std::string& path, const std::string& file)>
            Fault;
        bool LeadElsewhere;
        std::string ExpectLine;
        // Where the checked file's content is afterwards (relative to the tree).
        std::string ContentAt;
    };
    const std::string temporary = "b/x" + TemporaryLinkExtension;
    const std::vector<TCase> cases = {
        {"moving the file aside is refused",
            [](const std::string& op, const std::string& path, const std::string& file) {
                return op == "rename" && path == file ? EACCES : 0;
            },
            false, "Cannot create symbolic links ( code: 0x0D", "b/x.txt"},
        {"the file system has no links",
            [](const std::string& op, const std::string&, const std::string&) {
                return op == "symlink" ? EPERM : 0;
            },
            false, "Cannot create symbolic links ( code: 0x01 - Operation not permitted )",
            "b/x.txt"},
        {"the link leads to another file", nullptr, true,
            "Cannot create symbolic links ( the link does not lead to the kept copy )", "b/x.txt"},
        {"the moved-aside file cannot be deleted",
            [](const std::string& op, const std::string& path, const std::string&) {
                return op == "unlink" && path.find(TemporaryLinkExtension) != std::string::npos
                    ? EACCES
                    : 0;
            },
            false, "Cannot create symbolic links ( code: 0x0D", temporary},
        {"the roll-back is refused too",
            [](const std::string& op, const std::string& path, const std::string&) {
                if (op == "symlink") {
                    return EPERM;
                }
                return op == "rename" && path.find(TemporaryLinkExtension) != std::string::npos
                    ? EACCES
                    : 0;
            },
            false, "back to ", temporary},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TScanned scan;
        scan.Group({"a/x.txt", "b/x.txt"}, "A");
        scan.Tree.AddFile("other.txt", "O");
        const std::string file = scan.Tree.Path("b/x.txt");
        TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(paSymbolicLinks));
        TRecorder recorder;
        TFaults faults;
        if (test.Fault) {
            faults.Fault = [&](const std::string& op, const std::string& path) {
                return test.Fault(op, path, file);
            };
        }
        if (test.LeadElsewhere) {
            faults.SymlinkInstead = [&](const char*, const char* path) {
                return ::symlink(scan.Tree.Path("other.txt").c_str(), path);
            };
        }
        {
            platform::TScopedSysCalls calls(faults);
            work.Run(recorder);
        }
        TWorkSummary summary = ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);
        std::vector<std::string> lines = recorder.Lines;
        lines.insert(lines.end(), summary.Lines.begin(), summary.Lines.end());

        EXPECT_EQ(work.Items()[0].Result.Outcome, ioFailed);
        EXPECT_TRUE(Contains(lines, test.ExpectLine)) << test.ExpectLine;
        EXPECT_EQ(scan.Tree.ReadFile(test.ContentAt), "A");
        EXPECT_EQ(scan.Tree.ReadFile("a/x.txt"), "A");
        EXPECT_EQ(scan.Tree.ReadFile("other.txt"), "O");
        EXPECT_TRUE(scan.Results.Holds(file));
        if (test.ContentAt == "b/x.txt") {
            EXPECT_FALSE(IsLink(file));
            EXPECT_FALSE(scan.Tree.Exists(temporary));
        }
    }
}

TEST(FileWork, AFileInTheWayOfTheTemporaryNameIsNeverReplaced)
{
    TScanned scan;
    scan.Group({"a/x.txt", "b/x.txt"}, "A");
    scan.Tree.AddFile("b/x" + TemporaryLinkExtension, "someone else's file");
    TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(paSymbolicLinks));
    TRecorder recorder;
    work.Run(recorder);
    EXPECT_EQ(work.Items()[0].Result.Outcome, ioFailed);
    EXPECT_EQ(work.Items()[0].Result.Code, EEXIST);
    EXPECT_EQ(scan.Tree.ReadFile("b/x" + TemporaryLinkExtension), "someone else's file");
    EXPECT_EQ(scan.Tree.ReadFile("b/x.txt"), "A");
}

TEST(FileWork, StopEndsTheRunBetweenFilesAndFilesNotWorkedOnStayChecked)
{
    TScanned scan;
    for (int g = 0; g < 20; ++g) {
        const std::string n = std::to_string(g);
        scan.Group({"k/" + n, "a/" + n, "b/" + n}, "content " + n);
    }
    TFileWorkOptions options = scan.Options(paDelete);
    TFileWork work(CollectWorkGroups(scan.Results.Finder), options);
    TRecorder recorder;
    recorder.OnProgress = [&](std::int32_t done) {
        if (done == 5) {
            work.Stop();
        }
    };
    work.Run(recorder);
    TWorkSummary summary = ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);

    EXPECT_EQ(recorder.LastDone, 5);
    EXPECT_EQ(recorder.LastTotal, 40);
    EXPECT_EQ(recorder.Reports.size(), work.Items().size());
    std::size_t done = 0;
    for (const TWorkItem& item : work.Items()) {
        const std::string& path = work.Groups()[item.Group].Files[item.File].Path;
        ASSERT_TRUE(item.Result.Outcome == ioDone || item.Result.Outcome == ioNotRun) << path;
        if (item.Result.Outcome == ioDone) {
            ++done;
            EXPECT_FALSE(scan.Results.Holds(path));
        } else {
            EXPECT_TRUE(::access(path.c_str(), F_OK) == 0) << path;
            EXPECT_TRUE(scan.Results.Holds(path)) << path;
        }
    }
    EXPECT_LE(done, 5u);
    EXPECT_EQ(summary.Lines, std::vector<std::string> {"Operation aborted."});
    for (int g = 0; g < 20; ++g) {
        EXPECT_TRUE(scan.Tree.Exists("k/" + std::to_string(g)));
    }
}

TEST(FileWork, AFileWithNoResultWithoutStopIsAFailureNeverADeletion)
{
    TScanned scan;
    scan.Group({"k/x", "a/x"}, "A");
    TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(paDelete));
    // Never run: nothing reports a result for the file.
    TWorkSummary summary = ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);
    EXPECT_EQ(summary.ErrorCount, 1);
    EXPECT_TRUE(Contains(summary.Lines, "Cannot delete ( not done ):  " + scan.Tree.Path("a/x")));
    EXPECT_TRUE(scan.Results.Holds(scan.Tree.Path("a/x")));
}

TEST(FileWork, AMissingFileIsDroppedAfterADeleteButOnlyLoggedAfterACopy)
{
    for (TPerformAction action : {paDelete, paCopy}) {
        TScanned scan;
        scan.Group({"k/x", "a/x"}, "A");
        ::unlink(scan.Tree.Path("a/x").c_str());
        TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(action));
        TRecorder recorder;
        work.Run(recorder);
        ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);
        EXPECT_EQ(
            recorder.Lines, std::vector<std::string> {"File not found: " + scan.Tree.Path("a/x")});
        EXPECT_EQ(scan.Results.Holds(scan.Tree.Path("a/x")), action == paCopy);
    }
}

TEST(FileWork, AFolderPathTooLongIsReportedOnceWithThePathHint)
{
    TScanned scan;
    scan.Group({"k/x", "a/x", "b/x"}, "A");
    TFileWorkOptions options = scan.Options(paMove);
    options.TargetFolder += "/" + std::string(300, 'n');
    options.KeepFolderStructure = true;
    TFileWork work(CollectWorkGroups(scan.Results.Finder), options);
    TRecorder recorder;
    work.Run(recorder);
    TWorkSummary summary = ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);

    // One folder line per distinct text; a summary line for each file.
    ASSERT_EQ(recorder.Lines.size(), 2u);
    EXPECT_EQ(
        recorder.Lines[0].rfind("Cannot create folder ( code: 0x24 - File name too long ): ", 0),
        0u);
    EXPECT_EQ(summary.ErrorCount, 2);
    EXPECT_TRUE(summary.PathHint);
    EXPECT_TRUE(Contains(summary.Lines,
        "Most likely the destination path gets longer than the maximum path length of this "
        "system (255 bytes per name)."));
    EXPECT_EQ(summary.Lines.back(), ErrorAddress);
    EXPECT_TRUE(scan.Tree.Exists("a/x"));
    EXPECT_TRUE(scan.Tree.Exists("b/x"));
}

TEST(FileWork, MovingWithinOneFileSystemNeedsNoSpaceAndCopyingNeedsTheFullSize)
{
    TScanned scan;
    scan.Group({"k/x", "a/x", "b/x"}, "A");
    for (TPerformAction action : {paMove, paCopy}) {
        std::vector<TWorkGroup> groups = CollectWorkGroups(scan.Results.Finder);
        // As listed: far more than any disk holds.
        for (TWorkFile& file : groups[0].Files) {
            file.Size = std::int64_t(1) << 60;
        }
        TFileWork work(std::move(groups), scan.Options(action));
        std::string line = work.CheckTarget();
        EXPECT_GE(work.FreeBytes(), 0);
        if (action == paMove) {
            EXPECT_EQ(work.NeededBytes(), 0);
            EXPECT_EQ(line, "");
        } else {
            EXPECT_EQ(work.NeededBytes(), std::int64_t(2) << 60);
            EXPECT_EQ(line.rfind("Not enough free disk space on drive /", 0), 0u) << line;
            EXPECT_EQ(line.substr(line.size() - 3), ": !");
        }
    }
}

TEST(FileWork, ATargetFolderThatIsMissingOrRelativeEndsTheRunBeforeAnything)
{
    TScanned scan;
    scan.Group({"k/x", "a/x"}, "A");
    TFileWorkOptions options = scan.Options(paMove);
    for (const std::string& folder :
        {scan.Tree.Path("none"), std::string("target"), std::string()}) {
        options.TargetFolder = folder;
        TFileWork work(CollectWorkGroups(scan.Results.Finder), options);
        std::string expected = folder == "target" ? "Target folder target is not a full path!"
                                                  : "Target folder " + folder + " doesn't exist!";
        EXPECT_EQ(work.CheckTarget(), expected);
    }
}

TEST(FileWork, TrashSpaceIsCheckedPerFileSystemAndAnUnreadableCapacityIsNotAsked)
{
    TScanned scan;
    scan.Group({"k/big", "a/big"}, "");
    const std::int64_t gigabyte = std::int64_t(1) << 30;
    scan.Tree.Truncate("a/big", 5 * gigabyte);
    struct TCase {
        bool QueryWorks;
        std::int64_t Held;
        std::int64_t Capacity;
        bool Enough;
    };
    const std::vector<TCase> cases = {
        {true, 1 * gigabyte, 4 * gigabyte, false},
        {true, 1 * gigabyte, 6 * gigabyte, true},
        {true, 0, 0, false},
        // A capacity that cannot be read is unknown: asking again would never change it.
        {true, 1 * gigabyte, -1, true},
        {false, 0, 0, true},
    };
    TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(paRecycleBin));
    for (const TCase& test : cases) {
        TTrashSpaceSource source;
        source.Query = [&](const std::string&, std::int64_t& size, std::int64_t& count) {
            size = test.Held;
            count = 1;
            return test.QueryWorks;
        };
        source.Capacity = [&](const std::string&) { return test.Capacity; };
        EXPECT_EQ(work.CheckRecycleBinSpace(source), test.Enough)
            << test.Held << " held of " << test.Capacity;
    }
}

TEST(FileWork, FilesThatCannotGoToATrashAreDeletedForGoodOnlyWhenTheUserAgreed)
{
    for (bool agreed : {false, true}) {
        TScanned scan;
        const std::string content = agreed ? "deleted for good" : "only ever trashed";
        scan.Group({"k/x", "usb/x"}, content);
        TFileWork work(CollectWorkGroups(scan.Results.Finder), scan.Options(paRecycleBin));
        work.CanTrash = [](const std::string& path) {
            return path.find("/usb/") == std::string::npos;
        };
        ASSERT_TRUE(work.HasNonRecyclableFiles());
        work.AllowPermanentDeleteOfNonRecyclable(agreed);
        TRecorder recorder;
        work.Run(recorder);
        EXPECT_EQ(work.Items()[0].Result.Outcome, ioDone);
        EXPECT_FALSE(scan.Tree.Exists("usb/x"));
        // Without the user's word the file still only goes to a trash.
        std::multiset<std::string> trashed = ContentsBelow({platform::HomeTrashFolder() + "files"});
        EXPECT_EQ(trashed.count(content), agreed ? 0u : 1u);
    }
}

TEST(FileWork, EmptiedFoldersGoUpToTheScanRootAndNoFolderThatHoldsAnythingGoes)
{
    TScanned scan;
    scan.Group({"root/keep/x", "root/a/b/c/x", "root/h/x", "root/x", "outside/d/x"}, "A");
    scan.Tree.AddFile("root/h/.hidden", "");
    TFileWorkOptions options = scan.Options(paDelete);
    options.DeleteEmptyFolders = true;
    options.ScanRoots = {scan.Tree.Path("root") + "/", scan.Tree.Path("outside/d/")};
    TFileWork work(CollectWorkGroups(scan.Results.Finder), options);
    TRecorder recorder;
    work.Run(recorder);

    EXPECT_FALSE(scan.Tree.Exists("root/a"));
    EXPECT_TRUE(scan.Tree.Exists("root/h/.hidden"));
    EXPECT_TRUE(scan.Tree.Exists("root/keep/x"));
    // The scan roots themselves stay, empty or not.
    EXPECT_TRUE(scan.Tree.Exists("root"));
    EXPECT_TRUE(scan.Tree.Exists("outside/d"));
    EXPECT_FALSE(scan.Tree.Exists("outside/d/x"));
    const std::vector<std::string> removed = {
        scan.Tree.Path("root/a/b/c"), scan.Tree.Path("root/a/b"), scan.Tree.Path("root/a")};
    EXPECT_EQ(work.RemovedFolders(), removed);
}

TEST(FileWork, AMoveToAnotherFileSystemNeedsTheSpaceAndAFullDiskLosesNothing)
{
    TScanned scan;
    scan.Group({"k/small", "a/small"}, std::string(1000, 's'));
    scan.Group({"k/big", "a/big"}, std::string(3 << 20, 'b'));
    const std::string mountPoint = scan.Tree.AddFolder("mnt");
    std::string result = testing_support::RunWithPrivateTmpfs(mountPoint, [&]() -> std::string {
        std::string failures;
        auto expect = [&failures](bool ok, const std::string& what) {
            if (!ok) {
                failures += what + "; ";
            }
        };
        TFileWorkOptions options;
        options.Action = paMove;
        options.TargetFolder = mountPoint;
        options.KeepFolderStructure = false;
        // One file at a time: side by side, the big file's copy can take the last free
        // bytes while the small one is being written, and then both fail (and lose nothing).
        options.Workers = 1;
        TFileWork work(CollectWorkGroups(scan.Results.Finder), options);
        expect(work.CheckTarget().empty(), "the target check failed");
        expect(work.NeededBytes() == 1000 + (3 << 20), "a move across needs the files' size");

        // Fill the file system but for a megabyte: the big file cannot arrive.
        platform::TDiskSpace space;
        expect(!platform::GetDiskSpace(mountPoint, space), "no free space known");
        int filler = ::open((mountPoint + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        expect(filler >= 0 && ::posix_fallocate(filler, 0, space.AvailableBytes - (1 << 20)) == 0,
            "cannot fill the file system");
        ::close(filler);

        TRecorder recorder;
        work.Run(recorder);
        TWorkSummary summary = ApplyWorkResults(scan.Results.Finder, work, ErrorAddress);
        for (const TWorkItem& item : work.Items()) {
            const std::string& path = work.Groups()[item.Group].Files[item.File].Path;
            const bool big = path.find("big") != std::string::npos;
            expect(item.Result.Outcome == (big ? ioFailed : ioDone), path + " wrong outcome");
            expect(!big || item.Result.Code == ENOSPC, "not a full disk");
            expect(::access(path.c_str(), F_OK) == (big ? 0 : -1), path + " wrong place");
            expect(::access(item.Target.c_str(), F_OK) == (big ? -1 : 0),
                item.Target + " wrong place");
        }
        expect(ReadWhole(scan.Tree.Path("a/big")) == std::string(3 << 20, 'b'), "big changed");
        expect(ReadWhole(mountPoint + "/small") == std::string(1000, 's'), "small not moved");
        expect(Contains(summary.Lines,
                   "( code: 0x1C - No space left on device ):  " + scan.Tree.Path("a/big")),
            "the full disk is not listed");
        return failures;
    });
    if (result.rfind("SKIP: ", 0) == 0) {
        GTEST_SKIP() << "no private file system here: " << result;
    }
    EXPECT_EQ(result, "");
}

} // namespace
