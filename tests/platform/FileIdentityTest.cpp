#include "platform/FileIdentity.h"

#include "platform/SysCalls.h"
#include "platform/TrashCheck.h"
#include "tests/platform/PrivateTmpfs.h"
#include "tests/support/TempTree.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

using platform::TFileIdentity;
using testing_support::TTempTree;

namespace {

TEST(FileIdentity, TellsSizeTimeKindAndWhichFileItIs)
{
    TTempTree tree;
    std::string file = tree.AddFile("a/x.txt", "12345");
    tree.SetTimes("a/x.txt", 1000, 1600000000, 0, 123456700);
    std::string link = tree.AddSymlink("a/link", file);

    TFileIdentity info;
    ASSERT_EQ(platform::GetFileIdentity(file, false, info), 0);
    EXPECT_TRUE(info.IsRegularFile());
    EXPECT_EQ(info.Size, 5);
    EXPECT_EQ(info.LastWriteTime, platform::FileTimeFromUnix(1600000000, 123456700));

    TFileIdentity linkItself;
    TFileIdentity linkTarget;
    ASSERT_EQ(platform::GetFileIdentity(link, false, linkItself), 0);
    ASSERT_EQ(platform::GetFileIdentity(link, true, linkTarget), 0);
    EXPECT_TRUE(linkItself.IsSymbolicLink());
    EXPECT_FALSE(linkItself.SameFile(info));
    EXPECT_TRUE(linkTarget.SameFile(info));

    TFileIdentity missing;
    EXPECT_EQ(platform::GetFileIdentity(tree.Path("a/none"), false, missing), ENOENT);
}

TEST(FileIdentity, OneEntryReachedThroughAFolderLinkIsOneEntryAndAHardLinkIsAnother)
{
    TTempTree tree;
    std::string file = tree.AddFile("real/x.txt", "same");
    tree.AddSymlink("alias", tree.Path("real"));
    std::string hardLink = tree.Path("real/y.txt");
    ASSERT_EQ(::link(file.c_str(), hardLink.c_str()), 0);
    std::string otherFolderHardLink = tree.AddFolder("other") + "/x.txt";
    ASSERT_EQ(::link(file.c_str(), otherFolderHardLink.c_str()), 0);

    EXPECT_TRUE(platform::SameDirectoryEntry(file, tree.Path("alias/x.txt")));
    EXPECT_TRUE(platform::SameDirectoryEntry(file, tree.Path("real/../real/x.txt")));
    EXPECT_FALSE(platform::SameDirectoryEntry(file, hardLink));
    EXPECT_FALSE(platform::SameDirectoryEntry(file, otherFolderHardLink));
    EXPECT_FALSE(platform::SameDirectoryEntry(file, tree.Path("real/none")));
}

TEST(FileIdentity, RealPathResolvesFolderLinks)
{
    TTempTree tree;
    tree.AddFile("deep/real/x.txt", "x");
    tree.AddSymlink("up/alias", tree.Path("deep/real"));
    std::string real;
    ASSERT_EQ(platform::RealPath(tree.Path("up/alias/x.txt"), real), 0);
    std::string expected;
    ASSERT_EQ(platform::RealPath(tree.Path("deep/real"), expected), 0);
    EXPECT_EQ(real, expected + "/x.txt");
    EXPECT_EQ(platform::RealPath(tree.Path("up/none"), real), ENOENT);
}

TEST(FileIdentity, RelativeLinkTextClimbsToTheSharedFolder)
{
    struct TCase {
        const char* Folder;
        const char* Target;
        const char* Expected;
    };
    const std::vector<TCase> cases = {
        {"/data/a", "/data/a/x.txt", "x.txt"},
        {"/data/a/", "/data/b/x.txt", "../b/x.txt"},
        {"/data/a/b/c", "/data/x.txt", "../../../x.txt"},
        {"/data", "/data/a/b/x.txt", "a/b/x.txt"},
        {"/", "/x.txt", "x.txt"},
        {"/home/u", "/mnt/usb/x.txt", "../../mnt/usb/x.txt"},
        // A folder named like the target's file is still a folder to climb out of.
        {"/data/x.txt", "/data/x.txt/x.txt", "x.txt"},
        {"/data/ab", "/data/a/x", "../a/x"},
    };
    for (const TCase& test : cases) {
        EXPECT_EQ(platform::RelativeLinkText(test.Folder, test.Target), test.Expected)
            << test.Folder << " -> " << test.Target;
    }
}

TEST(FileIdentity, ASymbolicLinkNeverReplacesAnything)
{
    TTempTree tree;
    std::string file = tree.AddFile("x.txt", "keep");
    EXPECT_EQ(platform::CreateSymbolicLink("y.txt", file), EEXIST);
    EXPECT_EQ(tree.ReadFile("x.txt"), "keep");
    std::string link = tree.Path("l");
    ASSERT_EQ(platform::CreateSymbolicLink("x.txt", link), 0);
    EXPECT_EQ(tree.ReadFile("l"), "keep");
}

// Answers every access(2) with the error, as a read-only file system does.
class TRefusedAccess : public platform::TSysCalls {
public:
    int Access(const char*, int) override
    {
        errno = EROFS;
        return -1;
    }
};

TEST(CanTrash, AFileWithAWritableTrashOnItsFileSystemCanGoThere)
{
    TTempTree tree;
    std::string file = tree.AddFile("photos/a.jpg", "A");
    EXPECT_TRUE(platform::CanTrash(file));
    EXPECT_FALSE(platform::CanTrash(tree.Path("photos/none.jpg")));
    {
        TRefusedAccess readOnly;
        platform::TScopedSysCalls calls(readOnly);
        EXPECT_FALSE(platform::CanTrash(file));
    }
    // Asking made nothing.
    EXPECT_TRUE(tree.Exists("photos/a.jpg"));
}

TEST(CanTrash, OnAnotherFileSystemItsTopFolderTrashMayBeMade)
{
    TTempTree tree;
    std::string mountPoint = tree.AddFolder("mnt");
    std::string result = testing_support::RunWithPrivateTmpfs(mountPoint, [&]() -> std::string {
        std::string file = mountPoint + "/a.jpg";
        FILE* out = std::fopen(file.c_str(), "w");
        if (!out) {
            return "cannot make the file";
        }
        std::fclose(out);
        if (!platform::CanTrash(file)) {
            return "a file on the tmpfs cannot be trashed";
        }
        return {};
    });
    if (result.rfind("SKIP: ", 0) == 0) {
        GTEST_SKIP() << "no private file system here: " << result;
    }
    EXPECT_EQ(result, "");
}

} // namespace
