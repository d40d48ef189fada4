#include "platform/FileOperations.h"

#include "platform/SysCalls.h"
#include "tests/platform/PrivateTmpfs.h"
#include "tests/support/TempTree.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

using platform::CopyFileTo;
using platform::DeleteFileOrRecycle;
using platform::FileOperationErrorText;
using platform::MoveFileTo;
using testing_support::TTempTree;

namespace {

enum class TOperation { Move, Copy };

const char* OperationName(TOperation operation)
{
    return operation == TOperation::Move ? "move" : "copy";
}

int Perform(TOperation operation, const std::string& source, const std::string& target)
{
    return operation == TOperation::Move ? MoveFileTo(source, target) : CopyFileTo(source, target);
}

bool IsLink(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

struct stat StatOf(const std::string& path)
{
    struct stat info { };
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

// Makes chosen calls fail the way a full disk, a refused rename or a protected source
// would; every other call goes through.
class TFaultyCalls : public platform::TSysCalls {
public:
    int RenameError = 0; // every rename fails with this
    int RangeError = 0; // copy_file_range fails with this after RangeCallsBefore
    int RangeCallsBefore = 0; // successful copy_file_range calls (64 KiB each) first
    int WriteError = 0; // pwrite fails with this after WriteCallsBefore calls
    int WriteCallsBefore = 0;
    int TimesError = 0;
    int FsyncError = 0;
    std::string UnlinkRefusedPath; // unlink of this path fails with EACCES
    int SymlinkError = 0;
    // Appended to the file (by its path, outside these calls) at the first copy step: a source
    // that grows while it is copied.
    std::string GrowingPath;

    int Rename(const char* from, const char* to, unsigned flags) override
    {
        if (RenameError != 0) {
            errno = RenameError;
            return -1;
        }
        return TSysCalls::Rename(from, to, flags);
    }
    int Link(const char* from, const char* to) override
    {
        if (RenameError == EXDEV) {
            errno = EXDEV;
            return -1;
        }
        return TSysCalls::Link(from, to);
    }
    ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset, std::size_t count,
        unsigned flags) override
    {
        if (!GrowingPath.empty()) {
            const int fd = ::open(GrowingPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            EXPECT_EQ(::write(fd, "more", 4), 4);
            ::close(fd);
            GrowingPath.clear();
        }
        if (RangeError != 0 && FRangeCalls++ >= RangeCallsBefore) {
            errno = RangeError;
            return -1;
        }
        std::size_t limited = RangeError != 0 && count > 65536 ? 65536 : count;
        return TSysCalls::CopyFileRange(inFd, inOffset, outFd, outOffset, limited, flags);
    }
    ssize_t PWrite(int fd, const void* buffer, std::size_t count, off_t offset) override
    {
        if (WriteError != 0 && FWriteCalls++ >= WriteCallsBefore) {
            errno = WriteError;
            return -1;
        }
        return TSysCalls::PWrite(fd, buffer, count, offset);
    }
    int Futimens(int fd, const struct timespec times[2]) override
    {
        if (TimesError != 0) {
            errno = TimesError;
            return -1;
        }
        return TSysCalls::Futimens(fd, times);
    }
    int Fsync(int fd) override
    {
        if (FsyncError != 0) {
            errno = FsyncError;
            return -1;
        }
        return TSysCalls::Fsync(fd);
    }
    int Symlink(const char* target, const char* path) override
    {
        if (SymlinkError != 0) {
            errno = SymlinkError;
            return -1;
        }
        return TSysCalls::Symlink(target, path);
    }
    int Unlink(const char* path) override
    {
        if (!UnlinkRefusedPath.empty() && UnlinkRefusedPath == path) {
            errno = EACCES;
            return -1;
        }
        return TSysCalls::Unlink(path);
    }

private:
    int FRangeCalls = 0;
    int FWriteCalls = 0;
};

} // namespace

TEST(DeleteFileOrRecycle, PermanentDeleteRemovesAReadOnlyFile)
{
    TTempTree tree;
    tree.AddFile("keep/locked.txt", "data");
    tree.SetMode("keep/locked.txt", 0444);
    EXPECT_EQ(DeleteFileOrRecycle(tree.Path("keep/locked.txt"), false), 0);
    EXPECT_FALSE(tree.Exists("keep/locked.txt"));
}

TEST(DeleteFileOrRecycle, PermanentDeleteOfALinkRemovesOnlyTheLink)
{
    TTempTree tree;
    tree.AddFile("target.txt", "precious");
    tree.AddFolder("folder");
    tree.AddFile("folder/inside.txt", "also precious");
    tree.AddSymlink("to-file", tree.Path("target.txt"));
    tree.AddSymlink("to-folder", tree.Path("folder"));
    tree.AddSymlink("dangling", tree.Path("nowhere"));

    for (const char* link : {"to-file", "to-folder", "dangling"}) {
        EXPECT_EQ(DeleteFileOrRecycle(tree.Path(link), false), 0) << link;
        EXPECT_FALSE(IsLink(tree.Path(link))) << link;
    }
    EXPECT_EQ(tree.ReadFile("target.txt"), "precious");
    EXPECT_EQ(tree.ReadFile("folder/inside.txt"), "also precious");
}

TEST(DeleteFileOrRecycle, PermanentDeleteReportsWhatStoppedIt)
{
    TTempTree tree;
    tree.AddFolder("folder");
    EXPECT_EQ(DeleteFileOrRecycle(tree.Path("missing.txt"), false), ENOENT);
    EXPECT_EQ(DeleteFileOrRecycle(tree.Path("folder"), false), EISDIR);
    EXPECT_TRUE(tree.Exists("folder"));
}

TEST(MoveAndCopy, NeverReplaceAnExistingTarget)
{
    struct TCase {
        const char* Name;
        TOperation Operation;
        std::function<std::string(TTempTree&)> MakeTarget; // returns the target path
    };
    const std::vector<TCase> cases = {
        {"move onto a file", TOperation::Move,
            [](TTempTree& tree) { return tree.AddFile("other/b.txt", "old content"); }},
        {"copy onto a file", TOperation::Copy,
            [](TTempTree& tree) { return tree.AddFile("other/b.txt", "old content"); }},
        {"move onto a dangling link", TOperation::Move,
            [](TTempTree& tree) { return tree.AddSymlink("other/b.txt", tree.Path("nowhere")); }},
        {"copy onto a dangling link", TOperation::Copy,
            [](TTempTree& tree) { return tree.AddSymlink("other/b.txt", tree.Path("nowhere")); }},
        {"move onto itself", TOperation::Move, [](TTempTree& tree) { return tree.Path("a.txt"); }},
        {"copy onto itself", TOperation::Copy, [](TTempTree& tree) { return tree.Path("a.txt"); }},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TTempTree tree;
        std::string source = tree.AddFile("a.txt", "new content");
        std::string target = test.MakeTarget(tree);
        bool targetWasLink = IsLink(target);

        EXPECT_EQ(Perform(test.Operation, source, target), EEXIST);
        EXPECT_EQ(tree.ReadFile("a.txt"), "new content");
        if (target != source) {
            if (targetWasLink) {
                EXPECT_TRUE(IsLink(target));
                EXPECT_FALSE(tree.Exists("nowhere"));
            } else {
                EXPECT_EQ(tree.ReadFile("other/b.txt"), "old content");
            }
        }
    }
}

TEST(MoveAndCopy, WhereRenameCannotRefuseToReplaceTheTargetStillSurvives)
{
    // Some file systems reject the no-replace rename (EINVAL); a hard link then refuses an
    // existing name just as atomically. Where there are no hard links either (EPERM), the
    // target is looked for before the plain rename, which would replace it.
    class TNoAtomicRename : public platform::TSysCalls {
    public:
        int Rename(const char* from, const char* to, unsigned flags) override
        {
            if (flags != 0) {
                errno = EINVAL;
                return -1;
            }
            return TSysCalls::Rename(from, to, flags);
        }
        int Link(const char* from, const char* to) override
        {
            if (NoHardLinks) {
                errno = EPERM;
                return -1;
            }
            return TSysCalls::Link(from, to);
        }
        bool NoHardLinks = false;
    };
    for (const bool noHardLinks : {false, true}) {
        SCOPED_TRACE(noHardLinks ? "no hard links" : "hard links");
        TNoAtomicRename calls;
        calls.NoHardLinks = noHardLinks;
        platform::TScopedSysCalls scope(calls);

        TTempTree tree;
        std::string source = tree.AddFile("a.txt", "new content");
        std::string existing = tree.AddFile("b.txt", "old content");
        EXPECT_EQ(MoveFileTo(source, existing), EEXIST);
        EXPECT_EQ(tree.ReadFile("a.txt"), "new content");
        EXPECT_EQ(tree.ReadFile("b.txt"), "old content");

        EXPECT_EQ(MoveFileTo(source, tree.Path("c.txt")), 0);
        EXPECT_FALSE(tree.Exists("a.txt"));
        EXPECT_EQ(tree.ReadFile("c.txt"), "new content");
    }
}

TEST(MoveFileTo, ALinkMovedAcrossFileSystemsEndsInExactlyOnePlace)
{
    struct TCase {
        const char* Name;
        int SymlinkError;
        bool RefuseRemoval;
        int Expected;
    };
    const std::vector<TCase> cases = {
        {"moved", 0, false, 0},
        {"the new link cannot be made", EACCES, false, EACCES},
        {"the old link cannot be removed", 0, true, EACCES},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TTempTree tree;
        tree.AddFile("target.txt", "x");
        const std::string source = tree.AddSymlink("a-link", "target.txt");
        const std::string moved = tree.Path("other/a-link");
        TFaultyCalls calls;
        calls.RenameError = EXDEV;
        calls.SymlinkError = test.SymlinkError;
        if (test.RefuseRemoval) {
            calls.UnlinkRefusedPath = source;
        }
        {
            platform::TScopedSysCalls scope(calls);
            EXPECT_EQ(MoveFileTo(source, moved), test.Expected);
        }
        EXPECT_NE(IsLink(source), IsLink(moved)) << "the link is in exactly one place";
        EXPECT_EQ(IsLink(moved), test.Expected == 0);
        EXPECT_EQ(tree.ReadFile("target.txt"), "x");
    }
}

TEST(MoveAndCopy, MissingTargetFoldersAreCreated)
{
    for (TOperation operation : {TOperation::Move, TOperation::Copy}) {
        SCOPED_TRACE(OperationName(operation));
        TTempTree tree;
        std::string source = tree.AddFileOfSize("from/photo.jpg", 5000, 3);
        std::string content = tree.ReadFile("from/photo.jpg");
        EXPECT_EQ(Perform(operation, source, tree.Path("to/deep/er/photo.jpg")), 0);
        EXPECT_EQ(tree.ReadFile("to/deep/er/photo.jpg"), content);
        EXPECT_EQ(tree.Exists("from/photo.jpg"), operation == TOperation::Copy);
    }
}

TEST(MoveAndCopy, AFileInTheWayOfTheTargetFolderIsAnError)
{
    for (TOperation operation : {TOperation::Move, TOperation::Copy}) {
        SCOPED_TRACE(OperationName(operation));
        TTempTree tree;
        std::string source = tree.AddFile("a.txt", "content");
        tree.AddFile("to", "a file, not a folder");
        EXPECT_EQ(Perform(operation, source, tree.Path("to/sub/a.txt")), ENOTDIR);
        EXPECT_EQ(tree.ReadFile("a.txt"), "content");
        EXPECT_EQ(tree.ReadFile("to"), "a file, not a folder");
    }
}

TEST(CopyFileTo, KeepsContentModeAndTimes)
{
    // How copy_file_range behaves: as the kernel does, not at all (the plain read-and-write
    // loop does the work), or ending early after some bytes as a few file systems do (the
    // loop must go on from there).
    enum class TRange { Native, Unsupported, EndsEarly };
    class TRangeCalls : public platform::TSysCalls {
    public:
        explicit TRangeCalls(TRange range)
            : FRange(range)
        { }
        ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
            std::size_t count, unsigned flags) override
        {
            if (FRange == TRange::Unsupported) {
                errno = EXDEV;
                return -1;
            }
            if (FRange == TRange::EndsEarly) {
                if (FDone >= 100000) {
                    return 0;
                }
                count = 100000;
            }
            ssize_t copied =
                TSysCalls::CopyFileRange(inFd, inOffset, outFd, outOffset, count, flags);
            FDone += copied > 0 ? copied : 0;
            return copied;
        }

    private:
        TRange FRange;
        ssize_t FDone = 0;
    };
    struct TCase {
        const char* Name;
        std::int64_t Size;
        unsigned Mode;
        TRange Range;
    };
    const std::vector<TCase> cases = {
        {"empty file", 0, 0600, TRange::Native},
        {"small read-only file", 100, 0444, TRange::Native},
        {"file larger than one copy step", 3 * 1024 * 1024 + 17, 0750, TRange::Native},
        {"by reading and writing", 3 * 1024 * 1024 + 17, 0640, TRange::Unsupported},
        {"by reading and writing after an early end", 3 * 1024 * 1024 + 17, 0644,
            TRange::EndsEarly},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TTempTree tree;
        tree.AddFileOfSize("a.bin", test.Size, 9);
        tree.SetMode("a.bin", test.Mode);
        tree.SetTimes("a.bin", 1500000000, 1600000000, 123456789, 987654321);

        TRangeCalls calls(test.Range);
        {
            platform::TScopedSysCalls scope(calls);
            ASSERT_EQ(CopyFileTo(tree.Path("a.bin"), tree.Path("b.bin")), 0);
        }
        struct stat copy = StatOf(tree.Path("b.bin"));
        EXPECT_EQ(copy.st_mode & 07777, test.Mode);
        EXPECT_EQ(copy.st_mtim.tv_sec, 1600000000);
        EXPECT_EQ(copy.st_mtim.tv_nsec, 987654321);
        EXPECT_EQ(copy.st_atim.tv_sec, 1500000000);
        EXPECT_EQ(copy.st_atim.tv_nsec, 123456789);
        EXPECT_EQ(tree.ReadFile("b.bin"), tree.ReadFile("a.bin"));
    }
}

TEST(CopyFileTo, SetIdBitsStayOnlyWhenTheCopyKeepsTheOwner)
{
    TTempTree tree;
    tree.AddFile("own", "x");
    tree.SetMode("own", 04755);
    ASSERT_EQ(CopyFileTo(tree.Path("own"), tree.Path("own-copy")), 0);
    EXPECT_EQ(StatOf(tree.Path("own-copy")).st_mode & 07777, 04755u);

    if (::geteuid() != 0) {
        GTEST_SKIP() << "only the administrator can give a file to another user";
    }
    // Another user's set-user-id program copied by the administrator must not become a
    // set-user-id program of the administrator.
    tree.AddFile("theirs", "x");
    ASSERT_EQ(::chown(tree.Path("theirs").c_str(), 65534, 65534), 0);
    tree.SetMode("theirs", 06755);
    ASSERT_EQ(CopyFileTo(tree.Path("theirs"), tree.Path("theirs-copy")), 0);
    EXPECT_EQ(StatOf(tree.Path("theirs-copy")).st_mode & 07777, 0755u);
}

TEST(CopyFileTo, OnlyRegularFilesAreCopied)
{
    TTempTree tree;
    tree.AddFolder("folder");
    tree.AddFifo("pipe");
    EXPECT_EQ(CopyFileTo(tree.Path("folder"), tree.Path("out1")), EISDIR);
    EXPECT_EQ(CopyFileTo(tree.Path("pipe"), tree.Path("out2")), EINVAL);
    EXPECT_EQ(CopyFileTo(tree.Path("missing"), tree.Path("out3")), ENOENT);
    EXPECT_FALSE(tree.Exists("out1"));
    EXPECT_FALSE(tree.Exists("out2"));
    EXPECT_FALSE(tree.Exists("out3"));
}

TEST(MoveAndCopy, AFailurePartWayLeavesNoPartialTargetAndTheSourceIntact)
{
    struct TCase {
        const char* Name;
        TOperation Operation;
        std::function<void(TFaultyCalls&)> Arrange;
        int Expected;
    };
    const std::vector<TCase> cases = {
        {"copy: the disk fills during copy_file_range", TOperation::Copy,
            [](TFaultyCalls& calls) {
                calls.RangeError = ENOSPC;
                calls.RangeCallsBefore = 3;
            },
            ENOSPC},
        {"copy: the disk fills during plain writes", TOperation::Copy,
            [](TFaultyCalls& calls) {
                calls.RangeError = ENOSYS;
                calls.WriteError = ENOSPC;
                calls.WriteCallsBefore = 1;
            },
            ENOSPC},
        {"copy: the times cannot be kept", TOperation::Copy,
            [](TFaultyCalls& calls) { calls.TimesError = EIO; }, EIO},
        {"move across file systems: the disk fills", TOperation::Move,
            [](TFaultyCalls& calls) {
                calls.RenameError = EXDEV;
                calls.RangeError = EXDEV;
                calls.WriteError = ENOSPC;
                calls.WriteCallsBefore = 2;
            },
            ENOSPC},
        {"move across file systems: the copy cannot be flushed", TOperation::Move,
            [](TFaultyCalls& calls) {
                calls.RenameError = EXDEV;
                calls.FsyncError = EIO;
            },
            EIO},
        {"copy: the source grows while it is copied", TOperation::Copy,
            [](TFaultyCalls& calls) { calls.GrowingPath = "a.bin"; }, EAGAIN},
        {"move across file systems: the source grows while it is copied", TOperation::Move,
            [](TFaultyCalls& calls) {
                calls.RenameError = EXDEV;
                calls.GrowingPath = "a.bin";
            },
            EAGAIN},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TTempTree tree;
        std::string source = tree.AddFileOfSize("a.bin", 3 * 1024 * 1024 + 5, 4);
        std::string target = tree.Path("out/a.bin");
        TFaultyCalls calls;
        test.Arrange(calls);
        const bool grows = !calls.GrowingPath.empty();
        if (grows) {
            calls.GrowingPath = source;
        }
        {
            platform::TScopedSysCalls scope(calls);
            EXPECT_EQ(Perform(test.Operation, source, target), test.Expected);
        }
        EXPECT_FALSE(tree.Exists("out/a.bin"));
        std::vector<std::uint8_t> expected = TTempTree::MakeContent(3 * 1024 * 1024 + 5, 4);
        EXPECT_EQ(tree.ReadFile("a.bin"),
            std::string(expected.begin(), expected.end()) + (grows ? "more" : ""));
    }
}

TEST(MoveFileTo, AcrossFileSystemsCopiesThenRemovesTheSource)
{
    TTempTree tree;
    std::string source = tree.AddFileOfSize("a.bin", 200000, 6);
    tree.SetMode("a.bin", 0640);
    tree.SetTimes("a.bin", 1400000000, 1450000000, 0, 500);
    std::string before = tree.ReadFile("a.bin");

    TFaultyCalls calls;
    calls.RenameError = EXDEV;
    {
        platform::TScopedSysCalls scope(calls);
        ASSERT_EQ(MoveFileTo(source, tree.Path("other/a.bin")), 0);
    }
    EXPECT_FALSE(tree.Exists("a.bin"));
    struct stat moved = StatOf(tree.Path("other/a.bin"));
    EXPECT_EQ(moved.st_mode & 07777, 0640u);
    EXPECT_EQ(moved.st_mtim.tv_sec, 1450000000);
    EXPECT_EQ(moved.st_mtim.tv_nsec, 500);
    EXPECT_EQ(tree.ReadFile("other/a.bin"), before);
}

TEST(MoveFileTo, AcrossFileSystemsTheCopyGoesWhenTheSourceCannotBeRemoved)
{
    TTempTree tree;
    std::string source = tree.AddFile("a.txt", "only once");
    TFaultyCalls calls;
    calls.RenameError = EXDEV;
    calls.UnlinkRefusedPath = source;
    {
        platform::TScopedSysCalls scope(calls);
        EXPECT_EQ(MoveFileTo(source, tree.Path("other/a.txt")), EACCES);
    }
    EXPECT_EQ(tree.ReadFile("a.txt"), "only once");
    EXPECT_FALSE(tree.Exists("other/a.txt"));
}

TEST(MoveFileTo, AcrossARealFileSystemBoundary)
{
    TTempTree tree;
    std::string source = tree.AddFileOfSize("a.bin", 300000, 8);
    tree.SetTimes("a.bin", 1300000000, 1350000000);
    std::string existing = tree.AddFile("b.txt", "stays here");
    std::string mountPoint = tree.AddFolder("mnt");
    std::string expected = tree.ReadFile("a.bin");

    std::string result = testing_support::RunWithPrivateTmpfs(mountPoint, [&]() -> std::string {
        std::string failures;
        // Onto an existing file on the other side: refused, both stay.
        if (platform::CopyFileTo(existing, mountPoint + "/b.txt") != 0) {
            return "cannot prepare the existing target";
        }
        if (int code = MoveFileTo(existing, mountPoint + "/b.txt"); code != EEXIST) {
            failures += "move onto an existing target gave " + std::to_string(code) + "; ";
        }
        if (::access(existing.c_str(), F_OK) != 0) {
            failures += "the source of the refused move is gone; ";
        }
        if (int code = MoveFileTo(source, mountPoint + "/sub/a.bin"); code != 0) {
            return failures + "move across file systems gave " + std::to_string(code);
        }
        if (::access(source.c_str(), F_OK) == 0) {
            failures += "the source is still there; ";
        }
        struct stat moved { };
        if (::stat((mountPoint + "/sub/a.bin").c_str(), &moved) != 0 ||
            moved.st_size != static_cast<off_t>(expected.size()) ||
            moved.st_mtim.tv_sec != 1350000000) {
            failures += "the moved file lost its size or time; ";
        }
        return failures;
    });
    if (result.rfind("SKIP: ", 0) == 0) {
        GTEST_SKIP() << "no private tmpfs mount here (" << result << ")";
    }
    EXPECT_EQ(result, "");
}

TEST(FileOperations, NamesThatAreNotUtf8AreMovedAndCopied)
{
    const std::string name = "caf\xE9 \xFF\xFE.txt";
    TTempTree tree;
    std::string source = tree.AddFile(name, "latin-1 name");
    ASSERT_EQ(CopyFileTo(source, tree.Path("copies/" + name)), 0);
    EXPECT_EQ(tree.ReadFile("copies/" + name), "latin-1 name");
    ASSERT_EQ(MoveFileTo(source, tree.Path("moved/" + name)), 0);
    EXPECT_EQ(tree.ReadFile("moved/" + name), "latin-1 name");
    EXPECT_FALSE(tree.Exists(name));
    EXPECT_EQ(DeleteFileOrRecycle(tree.Path("moved/" + name), false), 0);
    EXPECT_FALSE(tree.Exists("moved/" + name));
}

TEST(FileOperationErrorText, IsTheSystemTextWithoutAFinalFullStop)
{
    EXPECT_EQ(FileOperationErrorText(0), "");
    EXPECT_EQ(FileOperationErrorText(EEXIST), "File exists");
    EXPECT_EQ(FileOperationErrorText(EACCES), "Permission denied");
    EXPECT_EQ(FileOperationErrorText(ENOSPC), "No space left on device");
    // Codes that are shell error numbers on another system are plain errno values here.
    EXPECT_EQ(FileOperationErrorText(EDQUOT), "Disk quota exceeded");
}
