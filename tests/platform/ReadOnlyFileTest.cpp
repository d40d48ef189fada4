#include "platform/ReadOnlyFile.h"

#include "tests/support/TempTree.h"
#include "tests/support/WatchedCalls.h"

#include <cerrno>
#include <vector>

#include <gtest/gtest.h>

using platform::TReadOnlyFile;
using testing_support::TTempTree;

namespace {

// Hands out at most a few bytes per read and is interrupted now and then, as a pipe-backed
// or network file system may do.
class TShortReads : public platform::TSysCalls {
public:
    ssize_t PRead(int fd, void* buffer, std::size_t count, off_t offset) override
    {
        if (++FCalls % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        return TSysCalls::PRead(fd, buffer, count < 7 ? count : 7, offset);
    }
    int FCalls = 0;
};

// Counts the reads.
class TCountedReads : public platform::TSysCalls {
public:
    ssize_t PRead(int fd, void* buffer, std::size_t count, off_t offset) override
    {
        ++Calls;
        return TSysCalls::PRead(fd, buffer, count, offset);
    }
    int Calls = 0;
};

} // namespace

TEST(ReadOnlyFile, ShortAndInterruptedReadsAreNotTheEndOfTheFile)
{
    TTempTree tree;
    tree.AddFileOfSize("data.bin", 1000, 5);
    std::vector<std::uint8_t> expected = TTempTree::MakeContent(1000, 5);

    TShortReads shortReads;
    platform::TScopedSysCalls scope(shortReads);
    TReadOnlyFile file;
    ASSERT_FALSE(file.Open(tree.Path("data.bin")));
    std::vector<std::uint8_t> buffer(600);
    EXPECT_EQ(file.ReadAt(buffer.data(), 600, 300), 600);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), expected.begin() + 300));
    EXPECT_EQ(file.ReadAt(buffer.data(), 600, 900), 100);
    EXPECT_EQ(file.ReadAt(buffer.data(), 600, 5000), 0);
}

TEST(ReadOnlyFile, ReadErrorsAndNonRegularFilesAreReported)
{
    TTempTree tree;
    tree.AddFile("a.txt", "hello");
    tree.AddFifo("pipe");
    tree.AddFolder("dir");

    TReadOnlyFile file;
    EXPECT_EQ(file.Open(tree.Path("missing")).Code, ENOENT);
    EXPECT_EQ(file.Open(tree.Path("pipe")).Code, EINVAL);
    EXPECT_EQ(file.Open(tree.Path("dir")).Code, EISDIR);

    testing_support::TWatchedCalls failing;
    failing.FailReadOf = tree.Path("a.txt");
    platform::TScopedSysCalls scope(failing);
    ASSERT_FALSE(file.Open(tree.Path("a.txt")));
    char buffer[8];
    EXPECT_EQ(file.ReadAt(buffer, sizeof buffer, 0), -1);
    EXPECT_EQ(file.LastError().Code, EIO);
}

TEST(ReadOnlyFile, AReadThatReachesTheEndOfTheFileAsksTheSystemOnce)
{
    TTempTree tree;
    tree.AddFileOfSize("small.bin", 1000, 3);
    TReadOnlyFile file;
    ASSERT_FALSE(file.Open(tree.Path("small.bin")));
    TCountedReads counted;
    platform::TScopedSysCalls scope(counted);
    std::vector<std::uint8_t> buffer(4096);
    EXPECT_EQ(file.ReadAt(buffer.data(), buffer.size(), 0), 1000);
    EXPECT_EQ(counted.Calls, 1);
    EXPECT_EQ(file.ReadAt(buffer.data(), buffer.size(), 600), 400);
    EXPECT_EQ(counted.Calls, 2);
}
