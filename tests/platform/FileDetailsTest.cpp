#include "platform/FileDetails.h"

#include "tests/support/TempTree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testing_support::TTempTree;

TEST(FileDetails, TellsSizeTimesModeAndOwnerOfTheFileALinkLeadsTo)
{
    TTempTree tree;
    const std::string file = tree.AddFile("x.txt", "12345");
    tree.SetTimes("x.txt", 1500000000, 1600000000, 0, 123456700);
    tree.SetMode("x.txt", 0640);
    const std::string link = tree.AddSymlink("link", file);

    for (const std::string& path : {file, link}) {
        platform::TFileDetails details;
        ASSERT_EQ(platform::GetFileDetails(path, details), 0) << path;
        EXPECT_EQ(details.Size, 5) << path;
        EXPECT_TRUE(S_ISREG(details.Mode)) << path;
        EXPECT_EQ(details.Mode & 07777, 0640u) << path;
        EXPECT_EQ(details.LastWriteTime, platform::FileTimeFromUnix(1600000000, 123456700));
        EXPECT_EQ(details.LastAccessTime, platform::FileTimeFromUnix(1500000000, 0));
        EXPECT_EQ(details.Uid, ::geteuid()) << path;
        EXPECT_FALSE(details.OwnerName.empty()) << path;
        EXPECT_FALSE(details.GroupName.empty()) << path;
    }
    platform::TFileDetails missing;
    EXPECT_EQ(platform::GetFileDetails(tree.Path("missing"), missing), ENOENT);
    EXPECT_EQ(platform::GetFileDetails("", missing), ENOENT);
}

TEST(PermissionText, ShowsTheBitsAsListingsDo)
{
    struct TCase {
        std::uint32_t Mode;
        const char* Text;
    };
    for (const TCase& c : std::vector<TCase> {{0644, "rw-r--r--"}, {0, "---------"},
             {0777, "rwxrwxrwx"}, {0100755, "rwxr-xr-x"}, {04755, "rwsr-xr-x"},
             {04644, "rwSr--r--"}, {02750, "rwxr-s---"}, {02640, "rw-r-S---"}, {01777, "rwxrwxrwt"},
             {01776, "rwxrwxrwT"}}) {
        EXPECT_EQ(platform::PermissionText(c.Mode), c.Text) << std::oct << c.Mode;
    }
}

} // namespace
