#include "engine/DImage.h"

#include "engine/CRC32.h"
#include "engine/MemPools.h"
#include "engine/MurmurHash.h"
#include "platform/SysCalls.h"
#include "tests/support/TempTree.h"
#include "tests/support/WatchedCalls.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using platform::TFileTime;
using platform::TFindRecord;
using testing_support::TTempTree;
using testing_support::TWatchedCalls;

namespace {

constexpr std::int64_t SecondChunkStart = 32768;
constexpr std::int64_t ThirdChunkStart = 32768 + 1048576;

TFindRecord RecordNamed(const std::string& name, std::int64_t size)
{
    TFindRecord record;
    record.Name = name;
    record.Size = size;
    record.Kind = platform::TEntryKind::ekRegular;
    record.CreationTime = TFileTime::FromTicks(100);
    record.LastWriteTime = TFileTime::FromTicks(200);
    record.LastAccessTime = TFileTime::FromTicks(300);
    return record;
}

// The record a listing would make of the tree's file, with the size the file has now.
std::unique_ptr<TDImage> ImageOf(const TTempTree& tree, const std::string& relative)
{
    const std::string path = tree.Path(relative);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        ADD_FAILURE() << "no file " << path;
    }
    const std::size_t slash = path.rfind('/');
    return std::make_unique<TDImage>(path.substr(0, slash),
                                     RecordNamed(path.substr(slash + 1), st.st_size));
}

} // namespace

// ---- The record itself ----

TEST(DImage, TakesNameFolderSizeAndTimesFromTheListing)
{
    for (const std::string folder : {"/data/photos", "/data/photos/"}) {
        TDImage image(folder, RecordNamed("Ünïcode \xF0\x9F\x93\xB7.JPG", 1234));
        EXPECT_EQ(image.FileName, "Ünïcode \xF0\x9F\x93\xB7.JPG");
        EXPECT_EQ(image.Folder, "/data/photos/");
        EXPECT_EQ(image.FullPath(), "/data/photos/Ünïcode \xF0\x9F\x93\xB7.JPG");
        EXPECT_EQ(image.Ext, ".jpg");
        EXPECT_EQ(image.NameLength, 14) << "UTF-16 units: the camera is a surrogate pair";
        EXPECT_EQ(image.FolderLength, 13);
        EXPECT_EQ(image.Size, 1234);
        EXPECT_EQ(image.CreationTime.Ticks(), 100u);
        EXPECT_EQ(image.LastWriteTime.Ticks(), 200u);
        EXPECT_EQ(image.LastAccessTime.Ticks(), 300u);
        EXPECT_EQ(image.CheckState, 0);
        EXPECT_EQ(image.Similarity, 0.0f);
        EXPECT_EQ(image.Group.load(), nullptr);
        EXPECT_FALSE(image.ExcludedByRule);
        EXPECT_FALSE(image.ExcludedByFolder);
        EXPECT_EQ(image.HashedChunkCount(), 0);
    }
}

TEST(DImage, ExtensionIsTheLowerCasedTextFromTheLastDotButNotALeadingOne)
{
    const std::pair<std::string, std::string> cases[] = {
        {".bashrc", ""},
        {"a.tar.GZ", ".gz"},
        {"noext", ""},
        {"ÄB.ÖL", ".öl"},
        {".config.JSON", ".json"},
        {"trailing.", "."},
        {"Bad\xFF.T\xFFXT", ".t\xFFxt"}, // not UTF-8: the bytes stay, ASCII is lower-cased
    };
    for (const auto& [name, ext] : cases) {
        TDImage image("/d", RecordNamed(name, 1));
        EXPECT_EQ(image.Ext, ext) << name;
    }
}

TEST(DImage, LengthsKeepTheLow16BitsOfTheUtf16Length)
{
    const std::string longFolder = "/" + std::string(70000, 'x');
    TDImage image(longFolder, RecordNamed("ÄB.ÖL", 1));
    EXPECT_EQ(image.NameLength, 5);
    EXPECT_EQ(image.FolderLength, std::int16_t((70000 + 2) & 0xFFFF));
}

TEST(DImage, SetFullPathReplacesNameFolderAndExtensionAndKeepsTheRest)
{
    TTempTree tree;
    tree.AddFileOfSize("x.bin", 100, 1);
    std::unique_ptr<TDImage> image = ImageOf(tree, "x.bin");
    ASSERT_EQ(image->HashChunks(nullptr, 0), hrOk);

    image->SetFullPath("/Data/Report.TXT");
    EXPECT_EQ(image->FileName, "Report.TXT");
    EXPECT_EQ(image->Folder, "/Data/");
    EXPECT_EQ(image->Ext, ".txt");
    EXPECT_EQ(image->NameLength, 10);
    EXPECT_EQ(image->FolderLength, 6);
    EXPECT_EQ(image->Size, 100);
    EXPECT_EQ(image->LastWriteTime.Ticks(), 200u);
    EXPECT_EQ(image->HashedChunkCount(), 1);
}

TEST(DImage, FileTimeByKindFallsBackToTheCreationTime)
{
    TDImage image("/d", RecordNamed("f", 1));
    const std::pair<std::uint8_t, std::uint64_t> cases[] = {
        {0, 100}, {1, 200}, {2, 300}, {3, 100}, {7, 100}, {255, 100}};
    for (const auto& [kind, ticks] : cases) {
        EXPECT_EQ(image.FileTimeByKind(kind).Ticks(), ticks) << "kind " << int(kind);
    }
}

TEST(DImage, SameGroupNeedsOneGroupThatIsNotNull)
{
    TDImage a("/d", RecordNamed("a", 1));
    TDImage b("/d", RecordNamed("b", 1));
    TDGroup first;
    TDGroup second;
    EXPECT_FALSE(a.SameGroup(b)) << "no group at all";
    a.Group = &first;
    EXPECT_FALSE(a.SameGroup(b));
    EXPECT_FALSE(b.SameGroup(a));
    b.Group = &second;
    EXPECT_FALSE(a.SameGroup(b));
    b.Group = &first;
    EXPECT_TRUE(a.SameGroup(b));
    EXPECT_TRUE(b.SameGroup(a));
}

TEST(DGroup, ListsItsFilesInOrderWithoutOwningThem)
{
    TDImage a("/d", RecordNamed("a", 1));
    TDImage b("/d", RecordNamed("b", 1));
    {
        TDGroup group;
        EXPECT_EQ(group.GroupNumber, 0) << "a size bucket keeps number 0";
        group.Add(&a);
        group.Add(&b);
        ASSERT_EQ(group.Count(), 2);
        EXPECT_EQ(group[0], &a);
        EXPECT_EQ(group[1], &b);
    }
    EXPECT_EQ(a.FileName, "a") << "the files outlive their group";
}

TEST(DImage, FilesOfOneFolderShareItsTextAndARenameGivesOneItsOwn)
{
    const TSharedString folder("/data/photos/");
    TDImage a(folder, RecordNamed("a.jpg", 1));
    TDImage b(folder, RecordNamed("b.jpg", 1));
    EXPECT_TRUE(a.Folder.SharesWith(folder));
    EXPECT_TRUE(b.Folder.SharesWith(folder));
    EXPECT_EQ(a.FullPath(), "/data/photos/a.jpg");
    EXPECT_EQ(a.FolderLength, 13);

    b.SetFullPath("/other/b.jpg");
    EXPECT_EQ(b.Folder, "/other/");
    EXPECT_EQ(b.FolderLength, 7);
    EXPECT_EQ(a.Folder, "/data/photos/") << "the other files of the folder keep it";
    EXPECT_EQ(folder, "/data/photos/");

    TDImage c(TSharedString("/data"), RecordNamed("c", 1));
    EXPECT_EQ(c.Folder, "/data/") << "a folder without its slash gets one";
    TDImage d(TSharedString(), RecordNamed("d", 1));
    EXPECT_EQ(d.FullPath(), "/d");
}

TEST(SharedString, CopiesShareOneTextThatOutlivesTheOriginal)
{
    const TSharedString empty;
    EXPECT_EQ(empty, "");
    EXPECT_TRUE(empty.empty());

    auto original = std::make_unique<TSharedString>(std::string("/some/folder/"));
    TSharedString copy = *original;
    EXPECT_TRUE(copy.SharesWith(*original));
    TSharedString assigned;
    assigned = copy;
    original.reset();
    EXPECT_EQ(copy, "/some/folder/");
    EXPECT_EQ(assigned.Str(), "/some/folder/");

    TSharedString moved = std::move(copy);
    EXPECT_TRUE(moved.SharesWith(assigned));
    assigned = TSharedString(std::string("/else/"));
    EXPECT_EQ(moved, "/some/folder/");
    EXPECT_EQ(assigned, "/else/");
    EXPECT_FALSE(moved == assigned);
    EXPECT_TRUE(moved == TSharedString(std::string("/some/folder/"))) << "equal texts";
}

TEST(SharedString, CopiesMadeAndDroppedOnManyThreadsKeepTheText)
{
    auto shared = std::make_unique<TSharedString>(std::string(100, 'x'));
    std::vector<std::thread> threads;
    std::vector<TSharedString> kept(4);
    for (std::size_t t = 0; t < kept.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20000; ++i) {
                TSharedString copy = *shared;
                kept[t] = copy;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    shared.reset();
    for (const TSharedString& text : kept) {
        EXPECT_EQ(text, std::string(100, 'x'));
    }
}

TEST(SmallLock, LetsOneThreadInAtATime)
{
    TSmallLock lock;
    std::int64_t counter = 0; // guarded by lock only
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50000; ++i) {
                std::lock_guard guard(lock);
                ++counter;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 4 * 50000);
}

// ---- Chunk hashes ----

TEST(HashChunks, HashesFollowTheChunkLayoutWithAChainedCrc)
{
    // The last chunk ends inside the first read piece, or one piece and 7 bytes in.
    for (const std::int64_t size :
         {ThirdChunkStart + 100, ThirdChunkStart + std::int64_t(HashReadSize) + 7}) {
        SCOPED_TRACE(size);
        TTempTree tree;
        tree.AddFileOfSize("f.bin", size, 3);
        const std::vector<std::uint8_t> bytes = TTempTree::MakeContent(size, 3);
        std::unique_ptr<TDImage> image = ImageOf(tree, "f.bin");
        TByteArrayPool pool(0, HashReadSize);

        EXPECT_EQ(TDImage::ChunkCountOf(size), 3);
        ASSERT_EQ(image->HashChunks(&pool, 2), hrOk);
        EXPECT_EQ(image->HashChunks(&pool, 3), hrNoSuchChunk);
        ASSERT_EQ(image->HashedChunkCount(), 3);

        const std::int64_t ends[] = {SecondChunkStart, ThirdChunkStart, size};
        std::int64_t start = 0;
        for (std::int32_t chunk = 0; chunk < 3; ++chunk) {
            std::uint32_t murmur = 0;
            std::uint32_t crc = 0;
            ASSERT_TRUE(image->ChunkHashes(chunk, murmur, crc));
            const std::int64_t end = ends[chunk];
            EXPECT_EQ(murmur, MurmurHash3(bytes.data() + start, std::uint32_t(end - start), 32768))
                << "chunk " << chunk;
            // The chained value is the CRC of everything from the start of the file.
            EXPECT_EQ(crc, Crc32cTable(32768, bytes.data(), std::size_t(end))) << "chunk " << chunk;
            start = end;
        }
        std::uint32_t murmur = 0;
        std::uint32_t crc = 0;
        EXPECT_FALSE(image->ChunkHashes(3, murmur, crc));
    }
}

TEST(HashChunks, ChunkPastTheListedSizeIsNotReadAndEmptyFilesNeedNothing)
{
    TTempTree tree;
    tree.AddFileOfSize("exact.bin", 32768, 1);
    tree.AddFile("empty.bin", "");
    std::unique_ptr<TDImage> exact = ImageOf(tree, "exact.bin");
    std::unique_ptr<TDImage> empty = ImageOf(tree, "empty.bin");
    TWatchedCalls calls;
    platform::TScopedSysCalls scope(calls);

    EXPECT_EQ(exact->HashChunks(nullptr, 1), hrNoSuchChunk);
    EXPECT_EQ(exact->HashChunks(nullptr, -1), hrNoSuchChunk);
    EXPECT_EQ(calls.Opens(tree.Path("exact.bin")), 0);
    EXPECT_EQ(exact->HashChunks(nullptr, 0), hrOk);
    EXPECT_EQ(exact->HashedChunkCount(), 1);

    EXPECT_EQ(empty->HashChunks(nullptr, 0), hrOk);
    EXPECT_EQ(empty->HashedChunkCount(), 0);
    EXPECT_EQ(calls.Opens(tree.Path("empty.bin")), 0);
}

TEST(HashChunks, ReadErrorKeepsTheHashedChunksAndALaterCallTriesAgain)
{
    TTempTree tree;
    const std::int64_t size = SecondChunkStart + 2 * std::int64_t(HashReadSize) + 5;
    tree.AddFileOfSize("f.bin", size, 1);
    const std::vector<std::uint8_t> bytes = TTempTree::MakeContent(size, 1);
    // At the start of chunk 1, or in its second read piece after the first was hashed.
    for (const std::int64_t failFrom :
         {SecondChunkStart, SecondChunkStart + std::int64_t(HashReadSize)}) {
        SCOPED_TRACE(failFrom);
        std::unique_ptr<TDImage> image = ImageOf(tree, "f.bin");
        TByteArrayPool pool(0, HashReadSize);
        {
            TWatchedCalls calls;
            calls.FailReadOf = tree.Path("f.bin");
            calls.FailReadFrom = failFrom;
            platform::TScopedSysCalls scope(calls);
            EXPECT_EQ(image->HashChunks(&pool, 1), hrReadError);
            EXPECT_EQ(image->HashedChunkCount(), 1) << "chunk 0 was read before the error";
            EXPECT_NE(pool.Acquire(), nullptr) << "the buffer went back to the pool";
        }
        TByteArrayPool freshPool(0, HashReadSize);
        EXPECT_EQ(image->HashChunks(&freshPool, 1), hrOk);
        ASSERT_EQ(image->HashedChunkCount(), 2);
        std::uint32_t murmur = 0;
        std::uint32_t crc = 0;
        ASSERT_TRUE(image->ChunkHashes(1, murmur, crc));
        EXPECT_EQ(murmur, MurmurHash3(bytes.data() + SecondChunkStart,
                                      std::uint32_t(size - SecondChunkStart), 32768))
            << "nothing of the failed attempt is in the hash";
        EXPECT_EQ(crc, Crc32cTable(32768, bytes.data(), std::size_t(size)));
    }
}

TEST(HashChunks, HashesStayWhenTheSizeGrowsAfterSomeChunksWereHashed)
{
    TTempTree tree;
    const std::int64_t size = ThirdChunkStart + ChunkSize + 10; // four chunks
    tree.AddFileOfSize("f.bin", size, 5);
    const std::vector<std::uint8_t> bytes = TTempTree::MakeContent(size, 5);
    // Listed and hashed while it had two whole chunks, listed again once it had grown.
    tree.Truncate("f.bin", ThirdChunkStart);
    std::unique_ptr<TDImage> image = ImageOf(tree, "f.bin");
    ASSERT_EQ(image->HashChunks(nullptr, 1), hrOk);
    tree.AddFileOfSize("f.bin", size, 5);
    image->Size = size;
    ASSERT_EQ(image->HashChunks(nullptr, 3), hrOk);
    ASSERT_EQ(image->HashedChunkCount(), 4);
    std::int64_t start = 0;
    for (std::int32_t chunk = 0; chunk < 4; ++chunk) {
        const std::int64_t end = std::min(size, chunk == 0 ? SecondChunkStart
                                                           : SecondChunkStart + chunk * ChunkSize);
        std::uint32_t murmur = 0;
        std::uint32_t crc = 0;
        ASSERT_TRUE(image->ChunkHashes(chunk, murmur, crc));
        EXPECT_EQ(murmur, MurmurHash3(bytes.data() + start, std::uint32_t(end - start), 32768))
            << "chunk " << chunk;
        EXPECT_EQ(crc, Crc32cTable(32768, bytes.data(), std::size_t(end))) << "chunk " << chunk;
        start = end;
    }
}

TEST(SameContent, ReadsOnlyTheChunksNeededToTellFilesApart)
{
    TTempTree tree;
    constexpr std::int64_t Size = 5000000;
    tree.AddFileOfSize("a.bin", Size, 7);
    tree.AddFileOfSize("b.bin", Size, 7);
    const std::uint8_t original = TTempTree::MakeContent(Size, 7)[40000];
    tree.PatchByte("b.bin", 40000, std::uint8_t(original ^ 0xFF));
    std::unique_ptr<TDImage> a = ImageOf(tree, "a.bin");
    std::unique_ptr<TDImage> b = ImageOf(tree, "b.bin");
    TByteArrayPool pool(1, 1048576);

    TWatchedCalls calls;
    platform::TScopedSysCalls scope(calls);
    EXPECT_FALSE(a->SameContent(*b, &pool));
    for (const char* name : {"a.bin", "b.bin"}) {
        SCOPED_TRACE(name);
        const std::vector<off_t> offsets = calls.ReadOffsets(tree.Path(name));
        EXPECT_EQ(std::count(offsets.begin(), offsets.end(), 0), 1);
        EXPECT_EQ(std::count(offsets.begin(), offsets.end(), SecondChunkStart), 1);
        for (off_t offset : offsets) {
            EXPECT_LT(offset, ThirdChunkStart) << "chunk 2 was read";
        }
    }
    EXPECT_EQ(a->HashedChunkCount(), 2);
    EXPECT_EQ(b->HashedChunkCount(), 2);
}

TEST(SameContent, AFileComparedWithManyIsReadOncePerChunk)
{
    TTempTree tree;
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
        tree.AddFileOfSize(name, 100000, 4);
    }
    std::unique_ptr<TDImage> a = ImageOf(tree, "a.bin");
    TByteArrayPool pool(0, 1048576);
    TWatchedCalls calls;
    platform::TScopedSysCalls scope(calls);
    for (const char* name : {"b.bin", "c.bin", "d.bin"}) {
        std::unique_ptr<TDImage> other = ImageOf(tree, name);
        EXPECT_TRUE(a->SameContent(*other, &pool)) << name;
        EXPECT_TRUE(other->SameContent(*a, &pool)) << name;
    }
    const std::vector<off_t> offsets = calls.ReadOffsets(tree.Path("a.bin"));
    EXPECT_EQ(std::count(offsets.begin(), offsets.end(), 0), 1);
    EXPECT_EQ(std::count(offsets.begin(), offsets.end(), SecondChunkStart), 1);
}

TEST(SameContent, SizesAloneDecideWithoutOpeningAFile)
{
    TTempTree tree;
    tree.AddFileOfSize("small.bin", 1000, 1);
    tree.AddFileOfSize("large.bin", 1001, 1);
    tree.AddFile("empty1", "");
    tree.AddFile("empty2", "");
    std::unique_ptr<TDImage> small = ImageOf(tree, "small.bin");
    std::unique_ptr<TDImage> large = ImageOf(tree, "large.bin");
    std::unique_ptr<TDImage> empty1 = ImageOf(tree, "empty1");
    std::unique_ptr<TDImage> empty2 = ImageOf(tree, "empty2");

    TWatchedCalls calls;
    platform::TScopedSysCalls scope(calls);
    EXPECT_FALSE(small->SameContent(*large, nullptr));
    EXPECT_FALSE(large->SameContent(*small, nullptr));
    EXPECT_TRUE(empty1->SameContent(*empty2, nullptr));
    for (const char* name : {"small.bin", "large.bin", "empty1", "empty2"}) {
        EXPECT_EQ(calls.Opens(tree.Path(name)), 0) << name;
    }
    EXPECT_EQ(empty1->HashedChunkCount(), 0);
}

TEST(SameContent, EqualFilesAreEqualAndOneChangedByteInAnyChunkIsNot)
{
    TTempTree tree;
    const std::int64_t size = ThirdChunkStart + 10;
    tree.AddFileOfSize("a.bin", size, 5);
    const std::vector<std::uint8_t> bytes = TTempTree::MakeContent(size, 5);
    for (std::int64_t offset : {std::int64_t(-1), std::int64_t(0), SecondChunkStart - 1,
                                SecondChunkStart, ThirdChunkStart, size - 1}) {
        tree.AddFileOfSize("b.bin", size, 5);
        if (offset >= 0) {
            tree.PatchByte("b.bin", offset, std::uint8_t(bytes[std::size_t(offset)] + 1));
        }
        std::unique_ptr<TDImage> a = ImageOf(tree, "a.bin");
        std::unique_ptr<TDImage> b = ImageOf(tree, "b.bin");
        EXPECT_EQ(a->SameContent(*b, nullptr), offset < 0) << "changed byte " << offset;
    }
}

// Two files of equal content that a comparison must never take for copies because one of
// them cannot be read to the end of its listed size.
TEST(SameContent, AFileThatCannotBeReadWhollyIsNeverEqual)
{
    constexpr std::int64_t Size = 100000; // chunks 0 and 1
    struct TCase {
        const char* Name;
        std::function<void(TTempTree& tree, TWatchedCalls& calls)> Disturb;
    };
    const TCase cases[] = {
        {"the file cannot be opened",
            [](TTempTree& tree, TWatchedCalls& calls) { calls.FailOpenOf = tree.Path("b.bin"); }},
        {"the file is deleted between its chunks",
            [](TTempTree& tree, TWatchedCalls& calls) {
                // The first read of a chunk 1 deletes the other file.
                calls.BeforeRead = [&tree, done = false](
                                       const std::string& path, off_t offset) mutable {
                    if (!done && offset >= SecondChunkStart) {
                        done = true;
                        const std::string other =
                            path == tree.Path("a.bin") ? tree.Path("b.bin") : tree.Path("a.bin");
                        std::filesystem::remove(other);
                    }
                };
            }},
        {"the file shrank to its first chunk",
            [](TTempTree& tree, TWatchedCalls&) { tree.Truncate("b.bin", SecondChunkStart); }},
        {"the file shrank inside its last chunk",
            [](TTempTree& tree, TWatchedCalls&) { tree.Truncate("b.bin", Size - 1); }},
        {"the file shrank to nothing",
            [](TTempTree& tree, TWatchedCalls&) { tree.Truncate("b.bin", 0); }},
        {"both files shrank alike inside their last chunk",
            [](TTempTree& tree, TWatchedCalls&) {
                tree.Truncate("a.bin", Size - 1000);
                tree.Truncate("b.bin", Size - 1000);
            }},
        {"both files shrank alike inside their last chunk while they were read",
            [](TTempTree& tree, TWatchedCalls& calls) {
                calls.BeforeRead = [&tree, done = false](const std::string&, off_t offset) mutable {
                    if (!done && offset >= SecondChunkStart) {
                        done = true;
                        tree.Truncate("a.bin", Size - 1000);
                        tree.Truncate("b.bin", Size - 1000);
                    }
                };
            }},
        {"the file grew",
            [](TTempTree& tree, TWatchedCalls&) {
                std::ofstream(tree.Path("b.bin"), std::ios::binary | std::ios::app) << "more";
            }},
        {"chunk 1 cannot be read",
            [](TTempTree& tree, TWatchedCalls& calls) {
                calls.FailReadOf = tree.Path("b.bin");
                calls.FailReadFrom = SecondChunkStart;
            }},
        {"chunk 0 cannot be read",
            [](TTempTree& tree, TWatchedCalls& calls) { calls.FailReadOf = tree.Path("b.bin"); }},
    };
    for (const TCase& testCase : cases) {
        for (bool disturbedFirst : {false, true}) {
            SCOPED_TRACE(std::string(testCase.Name) +
                         (disturbedFirst ? ", asked of it" : ", asked of the other"));
            TTempTree tree;
            tree.AddFileOfSize("a.bin", Size, 9);
            tree.AddFileOfSize("b.bin", Size, 9);
            std::unique_ptr<TDImage> a = ImageOf(tree, "a.bin");
            std::unique_ptr<TDImage> b = ImageOf(tree, "b.bin");
            TByteArrayPool pool(1, 1048576);
            ASSERT_TRUE(a->SameContent(*b, &pool)) << "equal before the disturbance";

            // Fresh records, as listed before the disturbance.
            a = ImageOf(tree, "a.bin");
            b = ImageOf(tree, "b.bin");
            TWatchedCalls calls;
            testCase.Disturb(tree, calls);
            platform::TScopedSysCalls scope(calls);
            EXPECT_FALSE(disturbedFirst ? b->SameContent(*a, &pool)
                                        : a->SameContent(*b, &pool));
            EXPECT_NE(pool.Acquire(), nullptr);
            EXPECT_NE(pool.Acquire(), nullptr) << "every buffer went back to the pool";
        }
    }
}

TEST(SameContent, WorksWhateverBufferThePoolCanGive)
{
    TTempTree tree;
    constexpr std::int64_t Size = 100000;
    tree.AddFileOfSize("a.bin", Size, 2);
    tree.AddFileOfSize("same.bin", Size, 2);
    tree.AddFileOfSize("other.bin", Size, 3);

    TByteArrayPool busyPool(0, 1048576);
    std::uint8_t* held = busyPool.Acquire();
    std::fill(held, held + 1048576, std::uint8_t(0xA5));
    TByteArrayPool smallPool(3, 100);
    TByteArrayPool piecePool(0, HashReadSize);
    TByteArrayPool goodPool(0, 1048576);

    const std::pair<const char*, TByteArrayPool*> pools[] = {
        {"no pool", nullptr},
        {"every buffer in use", &busyPool},
        {"buffers too small for a chunk", &smallPool},
        {"a buffer of one read piece", &piecePool},
        {"a free buffer", &goodPool},
    };
    for (const auto& [name, pool] : pools) {
        SCOPED_TRACE(name);
        std::unique_ptr<TDImage> a = ImageOf(tree, "a.bin");
        std::unique_ptr<TDImage> same = ImageOf(tree, "same.bin");
        std::unique_ptr<TDImage> other = ImageOf(tree, "other.bin");
        EXPECT_TRUE(a->SameContent(*same, pool));
        EXPECT_FALSE(a->SameContent(*other, pool));
    }
    EXPECT_TRUE(std::all_of(held, held + 1048576, [](std::uint8_t b) { return b == 0xA5; }))
        << "a buffer held by someone else was written";
    EXPECT_NE(goodPool.Acquire(), nullptr);
}

TEST(SameContent, ThreadsSharingARecordAllSeeItsCompleteHashes)
{
    TTempTree tree;
    constexpr int Threads = 6;
    const std::int64_t size = ThirdChunkStart + 10; // three chunks to append
    tree.AddFileOfSize("shared.bin", size, 8);
    for (int t = 0; t < Threads; ++t) {
        tree.AddFileOfSize("copy" + std::to_string(t), size, 8);
    }
    std::unique_ptr<TDImage> shared = ImageOf(tree, "shared.bin");
    std::vector<std::unique_ptr<TDImage>> copies;
    for (int t = 0; t < Threads; ++t) {
        copies.push_back(ImageOf(tree, "copy" + std::to_string(t)));
    }
    TByteArrayPool pool(2, 1048576); // fewer buffers than threads

    std::vector<char> results(Threads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            // Half the threads ask the shared record, half ask their copy.
            results[std::size_t(t)] =
                t % 2 == 0 ? shared->SameContent(*copies[std::size_t(t)], &pool)
                           : copies[std::size_t(t)]->SameContent(*shared, &pool);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < Threads; ++t) {
        EXPECT_TRUE(results[std::size_t(t)]) << "thread " << t;
    }
    EXPECT_EQ(shared->HashedChunkCount(), 3) << "no chunk hashed twice";
}

TEST(HashChunkSideBySide, GivesTheHashesEachFileWouldGetOnItsOwn)
{
    // Sizes whose last chunk ends inside a piece, on a 4-byte block boundary and off it;
    // up to six files, so the files go in runs of four and a remainder.
    for (const std::int64_t size : {ThirdChunkStart + 100, ThirdChunkStart + 4096,
             ThirdChunkStart + std::int64_t(HashReadSize) + 7}) {
        for (const std::size_t count : {2u, 3u, 4u, 6u}) {
            SCOPED_TRACE(testing::Message() << size << " bytes, " << count << " files");
            TTempTree tree;
            std::vector<std::unique_ptr<TDImage>> alone;
            std::vector<std::unique_ptr<TDImage>> together;
            std::vector<TDImage*> files;
            for (std::size_t i = 0; i < count; ++i) {
                const std::string name = "f" + std::to_string(i);
                tree.AddFileOfSize(name, size, std::uint32_t(i % 3));
                alone.push_back(ImageOf(tree, name));
                together.push_back(ImageOf(tree, name));
                files.push_back(together.back().get());
            }
            TByteArrayPool pool(1, HashReadSize);
            for (std::int32_t chunk = 0; chunk < 3; ++chunk) {
                TDImage::HashChunkSideBySide(files, chunk, &pool);
            }
            for (std::size_t i = 0; i < count; ++i) {
                ASSERT_EQ(files[i]->HashedChunkCount(), 3) << i;
                ASSERT_EQ(alone[i]->HashChunks(&pool, 2), hrOk);
                for (std::int32_t chunk = 0; chunk < 3; ++chunk) {
                    std::uint32_t murmur[2] = {};
                    std::uint32_t crc[2] = {};
                    ASSERT_TRUE(files[i]->ChunkHashes(chunk, murmur[0], crc[0]));
                    ASSERT_TRUE(alone[i]->ChunkHashes(chunk, murmur[1], crc[1]));
                    EXPECT_EQ(murmur[0], murmur[1]) << i << " chunk " << chunk;
                    EXPECT_EQ(crc[0], crc[1]) << i << " chunk " << chunk;
                }
            }
        }
    }
}

TEST(HashChunkSideBySide, LeavesFilesItCannotReadAlikeToHashChunksAndReleasesEveryLock)
{
    TTempTree tree;
    const std::int64_t size = ThirdChunkStart + 10;
    for (const char* name : {"a", "b", "locked", "shrunk", "c", "ahead"}) {
        tree.AddFileOfSize(name, size, 4);
    }
    std::vector<std::unique_ptr<TDImage>> images;
    std::vector<TDImage*> files;
    for (const char* name : {"a", "b", "locked", "shrunk", "c", "ahead"}) {
        images.push_back(ImageOf(tree, name));
        files.push_back(images.back().get());
    }
    // "shrunk" ends inside chunk 1 once chunk 0 is hashed; "ahead" has chunk 1 hashed
    // already.
    TByteArrayPool pool(1, HashReadSize);
    for (TDImage* file : files) {
        ASSERT_EQ(file->HashChunks(&pool, 0), hrOk);
    }
    tree.Truncate("shrunk", SecondChunkStart + 5);
    ASSERT_EQ(files[5]->HashChunks(&pool, 1), hrOk);
    TWatchedCalls calls;
    calls.FailOpenOf = tree.Path("locked");
    platform::TScopedSysCalls scope(calls);

    TDImage::HashChunkSideBySide(files, 1, &pool);
    // In the first run of four, "locked" cannot be opened and "shrunk" is not of its listed
    // size: both are left to HashChunks, and "a" and "b" are hashed side by side. "c" and
    // "ahead" make the second run, where only "c" still needs the chunk.
    std::vector<std::int32_t> counts;
    for (TDImage* file : files) {
        counts.push_back(file->HashedChunkCount());
    }
    EXPECT_EQ(counts, (std::vector<std::int32_t> {2, 2, 1, 1, 1, 2}));
    // Every lock was given back: each file can be hashed on its own now.
    EXPECT_EQ(files[0]->HashChunks(&pool, 1), hrOk);
    EXPECT_EQ(files[2]->HashChunks(&pool, 1), hrReadError);
    EXPECT_EQ(files[3]->HashChunks(&pool, 2), hrChanged);
    EXPECT_EQ(files[4]->HashChunks(&pool, 2), hrOk);
    std::uint32_t murmur[2] = {};
    std::uint32_t crc[2] = {};
    ASSERT_TRUE(files[0]->ChunkHashes(1, murmur[0], crc[0]));
    ASSERT_TRUE(files[4]->ChunkHashes(1, murmur[1], crc[1]));
    EXPECT_EQ(murmur[0], murmur[1]);
    EXPECT_EQ(crc[0], crc[1]);
}

TEST(HashChunkSideBySide, FirstChunksOfFilesOfAnySizesGetTheirOwnHashes)
{
    // Shorter than a block, between blocks, whole blocks, a full first chunk and more; an
    // empty file needs nothing and one that shrank to nothing is left to HashChunks.
    TTempTree tree;
    const std::vector<std::int64_t> sizes = {1, 3, 4, 7, 100, 32768, 50000, 0, 9};
    std::vector<std::unique_ptr<TDImage>> alone;
    std::vector<std::unique_ptr<TDImage>> together;
    std::vector<TDImage*> files;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "f" + std::to_string(i);
        tree.AddFileOfSize(name, sizes[i], std::uint32_t(i));
        alone.push_back(ImageOf(tree, name));
        together.push_back(ImageOf(tree, name));
        files.push_back(together.back().get());
    }
    tree.Truncate("f8", 0);
    TByteArrayPool pool(1, HashReadSize);
    TDImage::HashChunkSideBySide(files, 0, &pool);
    for (std::size_t i = 0; i + 2 < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        ASSERT_EQ(files[i]->HashedChunkCount(), 1);
        ASSERT_EQ(alone[i]->HashChunks(&pool, 0), hrOk);
        std::uint32_t murmur[2] = {};
        std::uint32_t crc[2] = {};
        ASSERT_TRUE(files[i]->ChunkHashes(0, murmur[0], crc[0]));
        ASSERT_TRUE(alone[i]->ChunkHashes(0, murmur[1], crc[1]));
        EXPECT_EQ(murmur[0], murmur[1]);
        EXPECT_EQ(crc[0], crc[1]);
    }
    EXPECT_EQ(files[7]->HashedChunkCount(), 0);
    EXPECT_EQ(files[8]->HashedChunkCount(), 0);
    EXPECT_EQ(files[8]->HashChunks(&pool, 0), hrChanged);
}
