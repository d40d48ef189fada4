#include "platform/DirList.h"

#include "platform/SysCalls.h"

#include "tests/support/TempTree.h"

#include <linux/magic.h>
#include <sys/statfs.h>

#include <cerrno>
#include <cstring>
#include <map>

#include <gtest/gtest.h>

using platform::TEntryKind;
using platform::TFindRecord;
using testing_support::TTempTree;

namespace {

std::map<std::string, TFindRecord> ByName(const std::vector<TFindRecord>& records)
{
    std::map<std::string, TFindRecord> result;
    for (const TFindRecord& record : records) {
        result[record.Name] = record;
    }
    return result;
}

std::vector<TFindRecord> List(const std::string& folder)
{
    std::vector<TFindRecord> records;
    platform::TSysError error = platform::ListDirectory(folder, records);
    EXPECT_FALSE(error) << error.Text();
    return records;
}

// Answers the entry examination of one name as if the entry had vanished.
class TVanishingEntry : public platform::TSysCalls {
public:
    explicit TVanishingEntry(std::string name) : FName(std::move(name)) {}
    int Statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override
    {
        if (FName == path) {
            errno = ENOENT;
            return -1;
        }
        return TSysCalls::Statx(dirfd, path, flags, mask, out);
    }

private:
    std::string FName;
};

// A file system without birth times.
class TNoBirthTimes : public platform::TSysCalls {
public:
    int Statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override
    {
        int result = TSysCalls::Statx(dirfd, path, flags, mask, out);
        if (result == 0) {
            out->stx_mask &= ~unsigned(STATX_BTIME);
            out->stx_btime = {};
        }
        return result;
    }
};

// Reading the folder fails after the first entry.
class TFailingReadDir : public platform::TSysCalls {
public:
    struct dirent* ReadDir(DIR* dir) override
    {
        if (FCalls++ == 0) {
            return TSysCalls::ReadDir(dir);
        }
        errno = EIO;
        return nullptr;
    }
    int FCalls = 0;
};

// An ordinary user who owns nothing in the tree and belongs to no group of it.
class TOrdinaryUser : public platform::TSysCalls {
public:
    uid_t GetEuid() override { return 12345; }
    gid_t GetEgid() override { return 12345; }
    int GetGroups(int, gid_t[]) override { return 0; }
};

class TFileSystemType : public platform::TSysCalls {
public:
    TFileSystemType(std::uint32_t type, int error) : FType(type), FError(error) {}
    int Statfs(const char*, struct statfs* out) override
    {
        if (FError != 0) {
            errno = FError;
            return -1;
        }
        std::memset(out, 0, sizeof *out);
        out->f_type = FType;
        return 0;
    }

private:
    std::uint32_t FType;
    int FError;
};

} // namespace

TEST(DirList, EntriesComeInByteOrderWithTheirKindsAndAttributes)
{
    TTempTree tree;
    tree.AddFile("b.txt", "12345");
    tree.AddFile("B.txt", "x");
    tree.AddFile("a", "");
    tree.AddFile(".hidden", "h");
    tree.AddFile("\xff\xfe-not-utf8", "bytes");
    tree.AddFolder("dir");
    tree.AddFolder(".git");
    tree.AddSymlink("ldir", tree.Path("dir"));
    tree.AddSymlink("lfile", "b.txt");
    tree.AddSymlink("dead", tree.Path("missing"));
    tree.AddFifo("pipe");

    std::vector<TFindRecord> records = List(tree.Root());
    std::vector<std::string> names;
    for (const TFindRecord& record : records) {
        names.push_back(record.Name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{".git", ".hidden", "B.txt", "a", "b.txt", "dead",
                                               "dir", "ldir", "lfile", "pipe",
                                               "\xff\xfe-not-utf8"}));

    using namespace platform;
    struct TExpected {
        const char* Name;
        TEntryKind Kind;
        std::uint32_t Attributes;
        std::int64_t Size;
    };
    const TExpected expected[] = {
        {".git", TEntryKind::ekDirectory, faDirectory | faHidden, 0},
        {".hidden", TEntryKind::ekRegular, faArchive | faHidden, 1},
        {"a", TEntryKind::ekRegular, faArchive, 0},
        {"b.txt", TEntryKind::ekRegular, faArchive, 5},
        {"dead", TEntryKind::ekOther, faReparsePoint, 0},
        {"dir", TEntryKind::ekDirectory, faDirectory, 0},
        {"ldir", TEntryKind::ekDirectory, faDirectory | faReparsePoint, 0},
        {"lfile", TEntryKind::ekRegular, faArchive | faReparsePoint, 5},
        {"pipe", TEntryKind::ekOther, 0, 0},
        {"\xff\xfe-not-utf8", TEntryKind::ekRegular, faArchive, 5},
    };
    auto byName = ByName(records);
    for (const TExpected& want : expected) {
        SCOPED_TRACE(want.Name);
        const TFindRecord& got = byName[want.Name];
        EXPECT_EQ(got.Kind, want.Kind);
        EXPECT_EQ(got.Attributes, want.Attributes);
        EXPECT_EQ(got.Size, want.Size);
    }

    // A link carries the identity of what it leads to, so a walk can see it was there.
    EXPECT_EQ(byName["ldir"].Device, byName["dir"].Device);
    EXPECT_EQ(byName["ldir"].Inode, byName["dir"].Inode);
    EXPECT_EQ(byName["lfile"].Inode, byName["b.txt"].Inode);
    EXPECT_NE(byName["a"].Inode, byName["b.txt"].Inode);
}

TEST(DirList, ReadOnlyMeansTheEffectiveUserMayNotWrite)
{
    using platform::MayWrite;
    using platform::TCredentials;
    const TCredentials root{0, 0, {}};
    const TCredentials alice{1000, 1000, {27, 100}};
    struct TCase {
        const TCredentials* Who;
        std::uint32_t Mode;
        std::uint32_t Uid;
        std::uint32_t Gid;
        bool Writable;
    };
    const TCase cases[] = {
        {&root, 0444, 1000, 1000, true},   // the superuser writes everything
        {&alice, 0644, 1000, 1000, true},  // own file with the owner's write bit
        {&alice, 0466, 1000, 1000, false}, // the owner's bits decide for the owner
        {&alice, 0464, 0, 100, true},      // a supplementary group's write bit
        {&alice, 0646, 0, 100, false},     // a member gets the group's bits, not the others'
        {&alice, 0664, 0, 1000, true},     // the primary group
        {&alice, 0666, 0, 0, true},        // others may write
        {&alice, 0664, 0, 0, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.Mode << std::dec << " uid " << c.Uid
                                        << " gid " << c.Gid);
        EXPECT_EQ(MayWrite(*c.Who, c.Mode, c.Uid, c.Gid), c.Writable);
    }

    // The listing applies it with the credentials of the process.
    TTempTree tree;
    tree.AddFile("shared", "x");
    tree.SetMode("shared", 0666);
    tree.AddFile("private", "x");
    tree.SetMode("private", 0644);
    TOrdinaryUser ordinary;
    platform::TScopedSysCalls scope(ordinary);
    auto byName = ByName(List(tree.Root()));
    EXPECT_EQ(byName["shared"].Attributes & platform::faReadOnly, 0u);
    EXPECT_NE(byName["private"].Attributes & platform::faReadOnly, 0u);
}

TEST(DirList, SizesBeyondFourGibibytesAndTimesWithNanosecondsAreKept)
{
    TTempTree tree;
    tree.AddFile("sparse", "");
    const std::int64_t size = (std::int64_t(5) << 30) + 3;
    tree.Truncate("sparse", size);
    tree.SetTimes("sparse", 1700000000, 1600000000, 123456789, 987654321);

    auto byName = ByName(List(tree.Root()));
    const TFindRecord& sparse = byName["sparse"];
    EXPECT_EQ(sparse.Size, size);
    EXPECT_EQ(sparse.LastWriteTime.Ticks(),
              (1600000000ULL + 11644473600ULL) * 10000000ULL + 9876543ULL);
    EXPECT_EQ(sparse.LastAccessTime.Ticks(),
              (1700000000ULL + 11644473600ULL) * 10000000ULL + 1234567ULL);
    EXPECT_FALSE(sparse.CreationTime.IsZero());

    // Where the file system keeps no birth time, the last-write time stands in.
    TNoBirthTimes noBirth;
    platform::TScopedSysCalls scope(noBirth);
    auto again = ByName(List(tree.Root()));
    EXPECT_EQ(again["sparse"].CreationTime, sparse.LastWriteTime);
}

TEST(DirList, AnEntryThatVanishesWhileListedIsLeftOut)
{
    TTempTree tree;
    tree.AddFile("stays", "1");
    tree.AddFile("gone", "2");
    tree.AddFile("zz", "3");

    TVanishingEntry vanishing("gone");
    platform::TScopedSysCalls scope(vanishing);
    std::vector<TFindRecord> records;
    EXPECT_FALSE(platform::ListDirectory(tree.Root(), records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Name, "stays");
    EXPECT_EQ(records[1].Name, "zz");
}

TEST(DirList, FoldersThatCannotBeOpenedOrReadGiveTheirError)
{
    TTempTree tree;
    tree.AddFile("file", "x");
    tree.AddFile("one", "1");
    tree.AddFile("two", "2");
    std::vector<TFindRecord> records(3);

    EXPECT_EQ(platform::ListDirectory(tree.Path("missing"), records).Code, ENOENT);
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(platform::ListDirectory(tree.Path("file"), records).Code, ENOTDIR);

    TFailingReadDir failing;
    platform::TScopedSysCalls scope(failing);
    EXPECT_EQ(platform::ListDirectory(tree.Root(), records).Code, EIO);
    EXPECT_LE(records.size(), 1u);
}

TEST(DirList, FileIdentityOfALinkOrOfItsTarget)
{
    TTempTree tree;
    tree.AddFile("target", "x");
    tree.AddSymlink("link", "target");

    std::uint64_t device = 0, targetInode = 0, linkInode = 0, followedInode = 0;
    ASSERT_FALSE(platform::GetFileIdentity(tree.Path("target"), false, device, targetInode));
    ASSERT_FALSE(platform::GetFileIdentity(tree.Path("link"), false, device, linkInode));
    ASSERT_FALSE(platform::GetFileIdentity(tree.Path("link"), true, device, followedInode));
    EXPECT_NE(linkInode, targetInode);
    EXPECT_EQ(followedInode, targetInode);
    EXPECT_EQ(platform::GetFileIdentity(tree.Path("missing"), true, device, linkInode).Code,
              ENOENT);
}

TEST(DirList, PseudoFileSystemsAreRecognisedByTheirType)
{
    struct TCase {
        std::uint32_t Type;
        int Error;
        bool Pseudo;
    };
    const TCase cases[] = {
        {PROC_SUPER_MAGIC, 0, true},    {SYSFS_MAGIC, 0, true},
        {CGROUP2_SUPER_MAGIC, 0, true}, {DEVPTS_SUPER_MAGIC, 0, true},
        {0x19800202, 0, true},          // mqueue
        {0x62656570, 0, true},          // configfs
        {EXT4_SUPER_MAGIC, 0, false},   {TMPFS_MAGIC, 0, false},
        {BTRFS_SUPER_MAGIC, 0, false},  {PROC_SUPER_MAGIC, EACCES, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.Type << " error " << c.Error);
        TFileSystemType type(c.Type, c.Error);
        platform::TScopedSysCalls scope(type);
        EXPECT_EQ(platform::IsPseudoFileSystem("/anything"), c.Pseudo);
    }

    TTempTree tree;
    EXPECT_FALSE(platform::IsPseudoFileSystem(tree.Root()));
    struct statfs proc {};
    if (::statfs("/proc/self", &proc) == 0 && proc.f_type == PROC_SUPER_MAGIC) {
        EXPECT_TRUE(platform::IsPseudoFileSystem("/proc/self/"));
    }
}
