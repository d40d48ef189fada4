#pragma once

#include "engine/SharedString.h"
#include "platform/FileTime.h"
#include "platform/FindRecord.h"
#include "platform/ReadOnlyFile.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TByteArrayPool;
class TDGroup;

// Chunk layout: chunk 0 covers the first 32768 bytes of a file, every later chunk the next
// 1048576 bytes; the last chunk is shorter when the file ends inside it.
inline constexpr std::int64_t FirstChunkSize = 32768;
inline constexpr std::int64_t ChunkSize = 1048576;
// Seed of every chunk's MurmurHash3 and start value of the chained CRC-32C.
inline constexpr std::uint32_t ChunkHashSeed = 32768;
// A chunk is read and hashed in pieces of at most this many bytes, so each piece is hashed
// while it is still in the processor's cache; a hashing buffer needs no more than this.
inline constexpr std::size_t HashReadSize = 131072;

// A lock of four bytes for the many small records of a scan, usable with std::lock_guard:
// 0 free, 1 held, 2 held with threads waiting. An uncontended lock and unlock are one atomic
// operation each; a waiting thread sleeps in the atomic wait instead of spinning.
class TSmallLock {
public:
    void lock() noexcept;
    void unlock() noexcept;

private:
    std::atomic<std::uint32_t> FState{0};
};

// What TDImage::HashChunks found.
enum THashResult {
    hrOk, // chunks 0 to k are hashed (or the file is empty: nothing to hash)
    hrNoSuchChunk, // chunk k lies past the end of the file by its listed size
    hrReadError, // the file could not be opened or read
    hrChanged, // the file is not as long as it was listed any more: it shrank or grew
    hrStopped, // the hashing was told to stop (its gate answered false) before it was done
};

// Asked by the chunk hashing before each piece it reads (at most HashReadSize bytes): may wait,
// while a scan is paused, and answers false when the hashing is to stop.
using THashGate = std::function<bool()>;

// One file that a scan found: name, folder, extension, size, times, its place in the results,
// and the hashes of its content, computed lazily chunk by chunk. Owned by the finder's file
// list; it owns its hashes, and shares its folder text with the other files of its folder.
//
// Threads: Group is read by other threads and is atomic. HashChunks and ChunkHashes take the
// record's own lock, so two threads may hash and compare the same record at once. The other
// fields are written by one thread while no other reads them (the scan, then the user
// interface).
class TDImage {
public:
    // folder: where the file was listed, with or without the trailing "/".
    TDImage(const std::string& folder, const platform::TFindRecord& record);
    // The same with a folder text that the files of one folder share: when it ends with "/"
    // the record holds the very same text, else a new one with the "/" added.
    TDImage(const TSharedString& folder, const platform::TFindRecord& record);
    TDImage(const TDImage&) = delete;
    TDImage& operator=(const TDImage&) = delete;

    // Folder followed by the file name.
    std::string FullPath() const;
    // Replaces name and folder (after a rename), with extension and lengths anew; size,
    // times and hashes stay.
    void SetFullPath(const std::string& path);
    // True when this file is in a group and the other file is in the same one.
    bool SameGroup(const TDImage& other) const;
    // 1 last-write time, 2 last-access time, 0 and every other kind creation time.
    platform::TFileTime FileTimeByKind(std::uint8_t kind) const;

    // Makes sure that chunks 0 to lastChunk are hashed, reading only those not hashed yet.
    // A chunk's hashes cover exactly the bytes that the listed size gives it: a file whose
    // size is not the listed one when it is opened, or that yields fewer bytes than that,
    // gets no further hashes (hrChanged). Reads into a buffer of the pool, or into one of its
    // own when the pool has none free (or pool is null). The gate (may be null) is asked
    // before each piece; when it answers false the chunk in hand stays unhashed (hrStopped).
    // Never raises.
    THashResult HashChunks(
        TByteArrayPool* pool, std::int32_t lastChunk, const THashGate* gate = nullptr);
    // Hashes chunk `chunk` of files side by side, a few at a time, so that the serial steps
    // of their hashes overlap: for each file whose chunks before it are hashed and it is not,
    // the same values HashChunks would store. First chunks may be of files of any sizes,
    // later chunks only of files of the size of the first file given (others are passed
    // over). A file that cannot be opened or read, or whose size is not its listed one, is
    // left as it was (HashChunks then finds out what it is). The gate (may be null) is asked
    // before each piece read for all of them; when it answers false the files in hand stay as
    // they were. Takes the files' locks in address order. Never raises.
    static void HashChunkSideBySide(const std::vector<TDImage*>& files, std::int32_t chunk,
        TByteArrayPool* pool, const THashGate* gate = nullptr);
    // Equal content by the chunk hashes: sizes equal, and for every chunk that the listed
    // size has, both MurmurHash3 values and both chained CRC-32C values agree. A file that
    // cannot be read, or whose size is not its listed one any more, is equal to nothing.
    // Reads only as many chunks as it needs to tell the two apart.
    bool SameContent(TDImage& other, TByteArrayPool* pool);

    // The hashes of chunk k, when hashed: copied out under the record's lock.
    bool ChunkHashes(std::int32_t chunk, std::uint32_t& murmurHash, std::uint32_t& crcHash) const;
    // How many chunks are hashed (always a prefix of the file's chunks).
    std::int32_t HashedChunkCount() const;
    // How many chunks a file of the given size has: 0 for an empty file.
    static std::int32_t ChunkCountOf(std::int64_t size);

    // Size as the listing reported it.
    std::int64_t Size = 0;
    platform::TFileTime CreationTime;
    platform::TFileTime LastWriteTime;
    platform::TFileTime LastAccessTime;
    // The result group holding the file (owned by the finder), or null.
    std::atomic<TDGroup*> Group{nullptr};
    std::string FileName;
    // Extension with its dot, lower-cased; empty when there is none. Records made on one
    // thread share the texts of their extensions; never changed in place.
    TSharedString Ext;
    // Always ends with "/". Shared with the other files of the folder; never changed in
    // place, only replaced as a whole.
    TSharedString Folder;

private:
    void SetNameAndFolder(const std::string& fileName, TSharedString folder);
    // The chained CRC-32C of the chunks hashed so far (the start value when none is).
    std::uint32_t LastCrc() const;
    // HashChunkSideBySide's work on files whose locks it holds.
    // Takes its own copy of the list: the caller unlocks every file it locked.
    static void HashLanes(std::vector<TDImage*> lanes, std::int32_t chunk, TByteArrayPool* pool,
        const THashGate* gate);
    // HashLanes for the first chunk, whose files may differ in size; the files are open.
    static void HashFirstLanes(const std::vector<TDImage*>& lanes,
        std::vector<platform::TReadOnlyFile>& handles, TByteArrayPool* pool, const THashGate* gate);
    // Stores the hashes of the next chunk; false when there is no memory for them.
    bool AppendHashes(std::uint32_t murmurHash, std::uint32_t crcHash);

    // Chunk k's MurmurHash3 and the CRC-32C of chunks 0 to k, chained. Chunk 0's are kept
    // here, since most files never need more; chunks 1 and later in LaterHashes as
    // (MurmurHash3, CRC-32C) pairs, allocated when first needed. All guarded by HashLock.
    std::unique_ptr<std::uint32_t[]> LaterHashes;
    std::int32_t HashCount = 0;
    std::int32_t LaterCapacity = 0; // pairs that LaterHashes has room for
    std::uint32_t FirstMurmurHash = 0;
    std::uint32_t FirstCrcHash = 0;
    mutable TSmallLock HashLock;

public:
    // (The small fields come last, so the record has no padding between its fields.)
    // Similarity to the group, 0 to 1.
    float Similarity = 0.0f;
    // UTF-16 lengths of FileName and Folder (their low 16 bits).
    std::int16_t NameLength = 0;
    std::int16_t FolderLength = 0;
    // 0 unchecked, 1 checked by the autocheck rule, 2 checked by hand.
    std::uint8_t CheckState = 0;
    bool ExcludedByRule = false;
    bool ExcludedByFolder = false;
};

// A list of files (not owned) with a number: a result group (numbered from 1) or a size
// bucket of the equal-files method (number 0).
class TDGroup {
public:
    std::int32_t Count() const { return std::int32_t(Items.size()); }
    TDImage* operator[](std::int32_t index) const { return Items[std::size_t(index)]; }
    void Add(TDImage* image) { Items.push_back(image); }
    auto begin() const { return Items.begin(); }
    auto end() const { return Items.end(); }

    std::vector<TDImage*> Items;
    std::int32_t GroupNumber = 0;
};
