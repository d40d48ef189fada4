#include "platform/Trash.h"

#include "platform/FileOperations.h"
#include "platform/SysCalls.h"
#include "tests/platform/PrivateTmpfs.h"
#include "tests/support/TempTree.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WatchedCalls.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using platform::DeleteFileOrRecycle;
using platform::HomeTrashFolder;
using testing_support::TTempTree;

namespace {

std::vector<std::string> NamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (struct dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string RealFolderOf(const std::string& folder)
{
    char* resolved = ::realpath(folder.c_str(), nullptr);
    std::string result = resolved ? std::string(resolved) + "/" : std::string();
    std::free(resolved);
    return result;
}

// What a .trashinfo says, by key; "header" is its first line.
std::map<std::string, std::string> ParseTrashInfo(const std::string& text)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    values["header"] = line;
    while (std::getline(lines, line)) {
        std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return values;
}

// Whether text has the pattern's shape: "d" stands for a digit, anything else for itself.
bool MatchesPattern(const std::string& text, const std::string& pattern)
{
    if (text.size() != pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool ok = pattern[i] == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == pattern[i];
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string PercentDecode(const std::string& text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// Every trash test starts from an empty home trash.
class Trash : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(HomeTrashFolder(), ignored);
    }
    std::string Files() const { return HomeTrashFolder() + "files/"; }
    std::string Info() const { return HomeTrashFolder() + "info/"; }
};

} // namespace

TEST_F(Trash, AFileGoesToFilesWithAValidTrashInfo)
{
    TTempTree tree;
    std::string path = tree.AddFile("some folder/report 100%.txt", "quarterly");
    std::string expectedPath = RealFolderOf(tree.Path("some folder")) + "report 100%.txt";

    std::time_t before = std::time(nullptr);
    ASSERT_EQ(DeleteFileOrRecycle(path, true), 0);
    std::time_t after = std::time(nullptr);

    EXPECT_FALSE(tree.Exists("some folder/report 100%.txt"));
    EXPECT_EQ(ReadWhole(Files() + "report 100%.txt"), "quarterly");
    ASSERT_EQ(NamesIn(Info()), std::vector<std::string> {"report 100%.txt.trashinfo"});

    auto info = ParseTrashInfo(ReadWhole(Info() + "report 100%.txt.trashinfo"));
    EXPECT_EQ(info["header"], "[Trash Info]");
    // Blanks and "%" are escaped; "/" is not.
    EXPECT_EQ(info["Path"].find(' '), std::string::npos);
    EXPECT_NE(info["Path"].find("report%20100%25.txt"), std::string::npos) << info["Path"];
    EXPECT_EQ(PercentDecode(info["Path"]), expectedPath);

    const std::string& date = info["DeletionDate"];
    ASSERT_TRUE(MatchesPattern(date, "dddd-dd-ddTdd:dd:dd")) << date;
    struct tm parsed { };
    ASSERT_NE(::strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S", &parsed), nullptr);
    parsed.tm_isdst = -1;
    std::time_t when = std::mktime(&parsed);
    EXPECT_GE(when, before);
    EXPECT_LE(when, after);
}

TEST_F(Trash, SameNamedFilesFromEightThreadsAreAllKept)
{
    TTempTree tree;
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i) {
        paths.push_back(
            tree.AddFile("d" + std::to_string(i) + "/same.txt", "content " + std::to_string(i)));
    }
    std::vector<int> results(8, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] { results[i] = DeleteFileOrRecycle(paths[i], true); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(results, std::vector<int>(8, 0));

    std::vector<std::string> trashed = NamesIn(Files());
    ASSERT_EQ(trashed.size(), 8u);
    std::set<std::string> origins;
    for (const std::string& name : trashed) {
        SCOPED_TRACE(name);
        auto info = ParseTrashInfo(ReadWhole(Info() + name + ".trashinfo"));
        std::string origin = PercentDecode(info["Path"]);
        origins.insert(origin);
        // Each info file names the very file stored under its name.
        std::string folder = origin.substr(0, origin.rfind('/'));
        std::string index = folder.substr(folder.rfind('/') + 2);
        EXPECT_EQ(ReadWhole(Files() + name), "content " + index);
    }
    EXPECT_EQ(origins.size(), 8u);
    EXPECT_EQ(NamesIn(Info()).size(), 8u);
}

TEST_F(Trash, ALeftoverEntryWithoutInfoIsNeverReplaced)
{
    TTempTree tree;
    std::filesystem::create_directories(Files());
    std::ofstream(Files() + "a.txt") << "left by someone";
    ASSERT_EQ(DeleteFileOrRecycle(tree.AddFile("a.txt", "mine"), true), 0);
    EXPECT_EQ(ReadWhole(Files() + "a.txt"), "left by someone");
    EXPECT_EQ(ReadWhole(Files() + "a.txt.2"), "mine");
    EXPECT_EQ(NamesIn(Info()), std::vector<std::string> {"a.txt.2.trashinfo"});
}

TEST_F(Trash, ALinkIsTrashedItselfNotItsTarget)
{
    TTempTree tree;
    tree.AddFile("target.txt", "stays");
    ASSERT_EQ(DeleteFileOrRecycle(tree.AddSymlink("link", tree.Path("target.txt")), true), 0);
    struct stat info { };
    ASSERT_EQ(::lstat((Files() + "link").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(tree.ReadFile("target.txt"), "stays");
}

TEST_F(Trash, ANameThatIsNotUtf8IsTrashedAndEscaped)
{
    const std::string name = "caf\xE9\xFF.txt";
    TTempTree tree;
    ASSERT_EQ(DeleteFileOrRecycle(tree.AddFile(name, "bytes"), true), 0);
    EXPECT_EQ(ReadWhole(Files() + name), "bytes");
    auto info = ParseTrashInfo(ReadWhole(Info() + name + ".trashinfo"));
    EXPECT_NE(info["Path"].find("caf%E9%FF.txt"), std::string::npos) << info["Path"];
}

TEST_F(Trash, ANameTooLongForItsInfoFileIsShortened)
{
    // 250 bytes: the name fits a file name, but not with ".trashinfo" after it. The cut must
    // not split the two-byte letter that sits across the limit.
    std::string name = std::string(244, 'x') + "\xC3\xA9" + "abcd";
    TTempTree tree;
    std::string path = tree.AddFile(name, "long");
    ASSERT_EQ(DeleteFileOrRecycle(path, true), 0);
    std::vector<std::string> trashed = NamesIn(Files());
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0], std::string(244, 'x'));
    EXPECT_EQ(ReadWhole(Files() + trashed[0]), "long");
    auto info = ParseTrashInfo(ReadWhole(Info() + trashed[0] + ".trashinfo"));
    EXPECT_EQ(PercentDecode(info["Path"]), RealFolderOf(tree.Root()) + name);
}

TEST_F(Trash, AFailedTrashLeavesTheFileAndNoInfo)
{
    // The rename into the trash fails: no copy, no deletion, no info left over.
    class TRefusedRename : public platform::TSysCalls {
    public:
        explicit TRefusedRename(int error)
            : FError(error)
        { }
        int Rename(const char*, const char*, unsigned) override
        {
            errno = FError;
            return -1;
        }
        int Link(const char*, const char*) override
        {
            errno = FError;
            return -1;
        }

    private:
        int FError;
    };
    // Writing the info file fails.
    using TFullDisk = testing_support::TDiskFull;

    for (int error : {EXDEV, EACCES, EROFS, ENOSPC}) {
        SCOPED_TRACE(error);
        TTempTree tree;
        std::string path = tree.AddFile("a.txt", "safe");
        TRefusedRename refused(error);
        TFullDisk full;
        platform::TSysCalls& calls =
            error == ENOSPC ? static_cast<platform::TSysCalls&>(full) : refused;
        {
            platform::TScopedSysCalls scope(calls);
            EXPECT_EQ(DeleteFileOrRecycle(path, true), error);
        }
        EXPECT_EQ(tree.ReadFile("a.txt"), "safe");
        EXPECT_TRUE(NamesIn(Files()).empty());
        EXPECT_TRUE(NamesIn(Info()).empty());
    }
    EXPECT_EQ(DeleteFileOrRecycle(TTempTree().Path("missing.txt"), true), ENOENT);
}

TEST_F(Trash, HomeTrashFollowsTheDataFolder)
{
    const std::string saved = std::getenv("XDG_DATA_HOME");
    ::setenv("XDG_DATA_HOME", "/somewhere/data", 1);
    EXPECT_EQ(HomeTrashFolder(), "/somewhere/data/Trash/");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(HomeTrashFolder(), testing_support::TTestEnvironment::Home() + ".local/share/Trash/");
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

TEST_F(Trash, RecycleBinSizeAndCountComeFromItsFiles)
{
    TTempTree tree;
    std::string probe = tree.AddFile("probe.txt", "");
    std::int64_t size = -1;
    std::int64_t count = -1;
    ASSERT_TRUE(platform::QueryRecycleBin(probe, size, count));
    EXPECT_EQ(size, 0);
    EXPECT_EQ(count, 0);

    ASSERT_EQ(DeleteFileOrRecycle(tree.AddFileOfSize("a.bin", 1000), true), 0);
    ASSERT_EQ(DeleteFileOrRecycle(tree.AddFileOfSize("b.bin", 2345), true), 0);
    // A trashed folder is one item; the files inside it count towards the bytes.
    tree.AddFileOfSize("folder/c.bin", 300);
    tree.AddFileOfSize("folder/sub/d.bin", 40);
    ASSERT_EQ(DeleteFileOrRecycle(tree.Path("folder"), true), 0);

    ASSERT_TRUE(platform::QueryRecycleBin(probe, size, count));
    EXPECT_EQ(size, 1000 + 2345 + 300 + 40);
    EXPECT_EQ(count, 3);
    // Asking by a folder of the same file system gives the same trash.
    std::string trashFolder;
    ASSERT_FALSE(platform::FindTrashFolder(tree.Root(), trashFolder));
    EXPECT_EQ(trashFolder, HomeTrashFolder());

    struct statvfs info { };
    ASSERT_EQ(::statvfs(tree.Root().c_str(), &info), 0);
    EXPECT_EQ(platform::GetRecycleBinCapacity(probe),
        static_cast<std::int64_t>(info.f_blocks) * static_cast<std::int64_t>(info.f_frsize));
    EXPECT_EQ(platform::GetRecycleBinCapacity(tree.Path("missing")), -1);
}

TEST_F(Trash, OnAnotherFileSystemTheTopFolderTrashIsUsed)
{
    TTempTree tree;
    std::string mountPoint = tree.AddFolder("mnt");
    std::string top = RealFolderOf(mountPoint);

    std::string result = testing_support::RunWithPrivateTmpfs(mountPoint, [&]() -> std::string {
        // The checks below run inside the child; the process user is uid 0 there when the
        // test made a user namespace, so take the id as the child sees it.
        std::string id = std::to_string(::getuid());
        std::string failures;
        auto make = [&](const std::string& relative, const std::string& content) {
            std::string path = top + relative;
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            std::ofstream(path) << content;
            return path;
        };
        auto expect = [&failures](bool ok, const std::string& what) {
            if (!ok) {
                failures += what + "; ";
            }
        };

        // No .Trash: the user's own .Trash-$uid, made for the user alone, with the path
        // relative to the top folder.
        if (int code = DeleteFileOrRecycle(make("photos/a.jpg", "A"), true); code != 0) {
            return "trash on the tmpfs gave " + std::to_string(code);
        }
        std::string own = top + ".Trash-" + id + "/";
        expect(ReadWhole(own + "files/a.jpg") == "A", "a.jpg is not in .Trash-$uid/files");
        auto info = ParseTrashInfo(ReadWhole(own + "info/a.jpg.trashinfo"));
        expect(info["Path"] == "photos/a.jpg", "Path is " + info["Path"]);
        struct stat ownInfo { };
        expect(::stat(own.c_str(), &ownInfo) == 0 && (ownInfo.st_mode & 07777) == 0700,
            ".Trash-$uid is not 0700");
        expect(NamesIn(HomeTrashFolder() + "files").empty(), "the home trash was used");

        // A .Trash without the sticky bit does not count.
        std::filesystem::create_directories(top + ".Trash");
        ::chmod((top + ".Trash").c_str(), 0777);
        expect(DeleteFileOrRecycle(make("b.jpg", "B"), true) == 0, "b.jpg not trashed");
        expect(ReadWhole(own + "files/b.jpg") == "B", "b.jpg not in .Trash-$uid");

        // A sticky .Trash does: the user's folder in it.
        ::chmod((top + ".Trash").c_str(), 01777);
        expect(DeleteFileOrRecycle(make("c.jpg", "C"), true) == 0, "c.jpg not trashed");
        expect(ReadWhole(top + ".Trash/" + id + "/files/c.jpg") == "C", "c.jpg not in .Trash/$uid");
        std::int64_t size = 0;
        std::int64_t count = 0;
        expect(platform::QueryRecycleBin(top + "photos", size, count) && size == 1 && count == 1,
            "the query does not see the top-folder trash");

        // A .Trash that is a link is never followed.
        std::filesystem::remove_all(top + ".Trash");
        std::filesystem::create_directories(top + "elsewhere");
        ::chmod((top + "elsewhere").c_str(), 01777);
        ::symlink((top + "elsewhere").c_str(), (top + ".Trash").c_str());
        expect(DeleteFileOrRecycle(make("d.jpg", "D"), true) == 0, "d.jpg not trashed");
        expect(ReadWhole(own + "files/d.jpg") == "D", "d.jpg not in .Trash-$uid");
        expect(NamesIn(top + "elsewhere").empty(), "the linked .Trash was used");

        // A trash folder that belongs to another user is never used: the shared one's folder
        // of the user gives way to .Trash-$uid, and when that is another's too, nothing is
        // trashed and the file stays where it is.
        std::filesystem::remove(top + ".Trash");
        std::filesystem::create_directories(top + ".Trash/" + id);
        ::chmod((top + ".Trash").c_str(), 01777);
        class TForeignOwner : public platform::TSysCalls {
        public:
            int Statx(
                int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override
            {
                const int result = TSysCalls::Statx(dirfd, path, flags, mask, out);
                std::string name = path;
                while (name.size() > 1 && name.back() == '/') {
                    name.pop_back();
                }
                for (const std::string& foreign : Foreign) {
                    if (result == 0 && name == foreign) {
                        out->stx_uid = ::getuid() + 1;
                    }
                }
                return result;
            }
            std::vector<std::string> Foreign;
        } foreign;
        foreign.Foreign = {top + ".Trash/" + id};
        {
            platform::TScopedSysCalls scope(foreign);
            expect(DeleteFileOrRecycle(make("e.jpg", "E"), true) == 0, "e.jpg not trashed");
        }
        expect(ReadWhole(own + "files/e.jpg") == "E", "e.jpg not in .Trash-$uid");
        expect(NamesIn(top + ".Trash/" + id).empty(), "another user's .Trash/$uid was used");
        foreign.Foreign.push_back(top + ".Trash-" + id);
        {
            platform::TScopedSysCalls scope(foreign);
            expect(DeleteFileOrRecycle(make("f.jpg", "F"), true) == EACCES,
                "trashing into another user's folders was not refused");
        }
        expect(ReadWhole(top + "f.jpg") == "F", "f.jpg did not stay");
        expect(!std::filesystem::exists(own + "files/f.jpg") &&
                !std::filesystem::exists(own + "info/f.jpg.trashinfo"),
            "f.jpg went to another user's .Trash-$uid");
        expect(NamesIn(top + ".Trash/" + id).empty(), "another user's .Trash/$uid was used");
        return failures;
    });
    if (result.rfind("SKIP: ", 0) == 0) {
        GTEST_SKIP() << "no private tmpfs mount here (" << result << ")";
    }
    EXPECT_EQ(result, "");
}
