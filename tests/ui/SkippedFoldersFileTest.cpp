#include "ui/SkippedFoldersFile.h"

#include "tests/support/TempTree.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(SkippedFoldersText, ListsProtectedFoldersFirstThenFilteredOnesWithCrLfAndTheirBytes)
{
    const std::set<std::string> system = {"/usr/", "/etc/"};
    const std::set<std::string> filtered = {"/home/u/\xc3\x9c"
                                            "bersicht/",
        "/home/u/\xff\xfe/"};
    EXPECT_EQ(SkippedFoldersText(system, filtered),
        "Skipped (SYS): /etc/\r\n"
        "Skipped (SYS): /usr/\r\n"
        "Skipped (Filter): /home/u/\xc3\x9c"
        "bersicht/\r\n"
        "Skipped (Filter): /home/u/\xff\xfe/\r\n");
    EXPECT_EQ(SkippedFoldersText({}, {}), "");
}

TEST(WriteSkippedFoldersFile, ReplacesTheFileWholeAndReportsAFailure)
{
    testing_support::TTempTree tree;
    const std::string path = tree.AddFile(SkippedFoldersFileName, std::string(500, 'x'));
    std::string error;
    ASSERT_TRUE(WriteSkippedFoldersFile(path, {"/usr/"}, {"/tmp/a/"}, error)) << error;
    EXPECT_EQ(tree.ReadFile(SkippedFoldersFileName),
        "Skipped (SYS): /usr/\r\nSkipped (Filter): /tmp/a/\r\n");
    EXPECT_TRUE(error.empty());

    const std::string missing = tree.Path("missing/") + SkippedFoldersFileName;
    EXPECT_FALSE(WriteSkippedFoldersFile(missing, {"/usr/"}, {}, error));
    EXPECT_EQ(error.rfind("Error while saving " + missing + "\r\n", 0), 0u) << error;
    EXPECT_GT(error.size(), ("Error while saving " + missing + "\r\n").size());

    EXPECT_FALSE(WriteSkippedFoldersFile("", {"/usr/"}, {}, error));
    EXPECT_EQ(error, "Error while saving TWRK_SkippedFolders.txt\r\nNo Documents folder is known.");
}

} // namespace
