#include "platform/Volumes.h"

#include "tests/support/TempTree.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

#include <gtest/gtest.h>

using platform::TMountEntry;
using testing_support::TTempTree;

namespace {

const char* const kMountInfo =
    "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "40 27 0:45 / /data rw,relatime - tmpfs tmpfs rw\n"
    "41 27 8:17 / /media/usb\\040stick rw master:3 unbindable - vfat /dev/sdb1 rw\n"
    "this line is not a mount\n"
    "42 40 0:46 / /data/inner rw - tmpfs none rw\n"
    "43 40 0:47 / /data/inner rw - tmpfs second rw\n";

} // namespace

TEST(ParseMountInfo, ReadsPointsDevicesAndTypesAndSkipsBrokenLines)
{
    std::vector<TMountEntry> mounts = platform::ParseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[0].MountPoint, "/");
    EXPECT_EQ(mounts[0].Device, makedev(254, 0));
    EXPECT_EQ(mounts[0].FileSystemType, "ext4");
    EXPECT_EQ(mounts[0].Source, "/dev/vda");
    // Optional fields before "-" are skipped; an escaped blank is decoded.
    EXPECT_EQ(mounts[2].MountPoint, "/media/usb stick/");
    EXPECT_EQ(mounts[2].Device, makedev(8, 17));
    EXPECT_EQ(mounts[2].FileSystemType, "vfat");
}

TEST(FindMountOfFolder, TakesTheLongestWholeComponentPrefixAndTheLatestMount)
{
    std::vector<TMountEntry> mounts = platform::ParseMountInfo(kMountInfo);
    struct TCase {
        const char* Folder;
        const char* MountPoint;
        const char* Source;
    };
    const std::vector<TCase> cases = {
        {"/data", "/data/", "tmpfs"},
        {"/data/photos/2019", "/data/", "tmpfs"},
        {"/data2/photos", "/", "/dev/vda"},
        {"/media/usb stick/a", "/media/usb stick/", "/dev/sdb1"},
        {"/data/inner/x", "/data/inner/", "second"},
        {"/", "/", "/dev/vda"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Folder);
        TMountEntry found;
        ASSERT_TRUE(platform::FindMountOfFolder(mounts, test.Folder, found));
        EXPECT_EQ(found.MountPoint, test.MountPoint);
        EXPECT_EQ(found.Source, test.Source);
    }
}

TEST(Volumes, TheSandboxHasAMountAndItsSpace)
{
    TTempTree tree;
    std::string file = tree.AddFile("a.txt", "x");
    struct stat info { };
    ASSERT_EQ(::stat(file.c_str(), &info), 0);

    std::string key = platform::VolumeKeyOfDrive(file);
    ASSERT_FALSE(key.empty());
    EXPECT_EQ(key.back(), '/');
    EXPECT_EQ(platform::VolumeKeyOfDrive(tree.Root()), key);
    EXPECT_EQ(platform::VolumeKeyOfDrive(tree.Path("missing")), "");

    platform::TDiskSpace space;
    ASSERT_FALSE(platform::GetDiskSpace(tree.Root(), space));
    EXPECT_GT(space.TotalBytes, 0);
    EXPECT_GE(space.TotalBytes, space.FreeBytes);
    EXPECT_GE(space.FreeBytes, space.AvailableBytes);
    EXPECT_EQ(platform::GetDiskSpace(tree.Path("missing"), space).Code, ENOENT);
    EXPECT_EQ(space.TotalBytes, -1);
}
