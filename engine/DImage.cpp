#include "engine/DImage.h"

#include "engine/CRC32.h"
#include "engine/MemPools.h"
#include "engine/MurmurHash.h"
#include "engine/ZYUtils.h"
#include "platform/ReadOnlyFile.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <mutex>
#include <new>

namespace {

std::int64_t ChunkStart(std::int32_t chunk)
{
    return chunk == 0 ? 0 : FirstChunkSize + std::int64_t(chunk - 1) * ChunkSize;
}

std::size_t ChunkLength(std::int32_t chunk)
{
    return std::size_t(chunk == 0 ? FirstChunkSize : ChunkSize);
}

// The bytes of the chunk in a file of the given size: its length, less for the last chunk.
std::size_t ChunkLengthIn(std::int64_t size, std::int32_t chunk)
{
    const std::int64_t start = ChunkStart(chunk);
    return start >= size
        ? 0
        : std::size_t(std::min<std::int64_t>(std::int64_t(ChunkLength(chunk)), size - start));
}

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
        [](char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; });
}

// The low 16 bits of the text's length in UTF-16 code units (an ASCII text has one per byte).
std::int16_t Utf16Length(const std::string& text)
{
    const std::size_t units = IsAscii(text) ? text.size() : std::size_t(NameText(text).size());
    return std::int16_t(std::uint16_t(units & 0xFFFF));
}

// From the last "." of the name, with the dot, lower-cased. A name that starts with its only
// "." is a hidden file and has no extension.
std::string ExtensionOf(const std::string& name)
{
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return {};
    }
    std::string suffix = name.substr(dot);
    if (IsAscii(suffix)) {
        for (char& c : suffix) {
            if (c >= 'A' && c <= 'Z') {
                c = char(c - 'A' + 'a');
            }
        }
        return suffix;
    }
    // Letters lower-cased by their Unicode case; bytes that are no valid UTF-8 stay as they are.
    return NameBytes(LowerCaseText(NameText(suffix)));
}

// One shared text per extension for the records made on this thread: a tree has few distinct
// extensions and many files. The cache is bounded; when it is full it starts anew (records keep
// the texts they hold).
TSharedString SharedExtension(std::string ext)
{
    if (ext.empty()) {
        return {};
    }
    constexpr std::size_t MaxCachedExtensions = 1024;
    thread_local std::unordered_map<std::string, TSharedString> cache;
    const auto found = cache.find(ext);
    if (found != cache.end()) {
        return found->second;
    }
    if (cache.size() >= MaxCachedExtensions) {
        cache.clear();
    }
    TSharedString shared(ext);
    cache.emplace(std::move(ext), shared);
    return shared;
}

} // namespace

void TSmallLock::lock() noexcept
{
    std::uint32_t state = 0;
    if (FState.compare_exchange_strong(state, 1, std::memory_order_acquire)) {
        return;
    }
    // Contended: mark the lock as waited for and sleep until it is given back. Whoever gets
    // it this way keeps the mark, so its unlock wakes the next waiter.
    if (state != 2) {
        state = FState.exchange(2, std::memory_order_acquire);
    }
    while (state != 0) {
        FState.wait(2, std::memory_order_relaxed);
        state = FState.exchange(2, std::memory_order_acquire);
    }
}

void TSmallLock::unlock() noexcept
{
    if (FState.exchange(0, std::memory_order_release) == 2) {
        FState.notify_one();
    }
}

TDImage::TDImage(const std::string& folder, const platform::TFindRecord& record)
    : Size(record.Size),
      CreationTime(record.CreationTime),
      LastWriteTime(record.LastWriteTime),
      LastAccessTime(record.LastAccessTime)
{
    SetNameAndFolder(record.Name, TSharedString(folder));
}

TDImage::TDImage(const TSharedString& folder, const platform::TFindRecord& record)
    : Size(record.Size),
      CreationTime(record.CreationTime),
      LastWriteTime(record.LastWriteTime),
      LastAccessTime(record.LastAccessTime)
{
    SetNameAndFolder(record.Name, folder);
}

void TDImage::SetNameAndFolder(const std::string& fileName, TSharedString folder)
{
    FileName = fileName;
    if (folder.empty() || folder.back() != '/') {
        folder = TSharedString(folder.Str() + '/');
    }
    Folder = std::move(folder);
    Ext = SharedExtension(ExtensionOf(FileName));
    NameLength = Utf16Length(FileName);
    FolderLength = Utf16Length(Folder);
}

std::string TDImage::FullPath() const
{
    return Folder.Str() + FileName;
}

void TDImage::SetFullPath(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        SetNameAndFolder(path, TSharedString());
    } else {
        SetNameAndFolder(path.substr(slash + 1), TSharedString(path.substr(0, slash + 1)));
    }
}

bool TDImage::SameGroup(const TDImage& other) const
{
    TDGroup* group = Group.load();
    return group != nullptr && group == other.Group.load();
}

platform::TFileTime TDImage::FileTimeByKind(std::uint8_t kind) const
{
    switch (kind) {
    case 1:
        return LastWriteTime;
    case 2:
        return LastAccessTime;
    default:
        return CreationTime;
    }
}

std::int32_t TDImage::ChunkCountOf(std::int64_t size)
{
    if (size <= 0) {
        return 0;
    }
    if (size <= FirstChunkSize) {
        return 1;
    }
    return std::int32_t(1 + (size - FirstChunkSize + ChunkSize - 1) / ChunkSize);
}

bool TDImage::AppendHashes(std::uint32_t murmurHash, std::uint32_t crcHash)
{
    if (HashCount == 0) {
        FirstMurmurHash = murmurHash;
        FirstCrcHash = crcHash;
        HashCount = 1;
        return true;
    }
    const std::int32_t later = HashCount - 1;
    if (later >= LaterCapacity) {
        // Room for every later chunk that the listed size has, at once; more only when the
        // file turned out longer than listed.
        const std::int32_t capacity = std::max(ChunkCountOf(Size) - 1, later + 1);
        std::unique_ptr<std::uint32_t[]> grown(
            new (std::nothrow) std::uint32_t[std::size_t(capacity) * 2]);
        if (grown == nullptr) {
            return false;
        }
        if (LaterHashes != nullptr) {
            std::copy_n(LaterHashes.get(), std::size_t(later) * 2, grown.get());
        }
        LaterHashes = std::move(grown);
        LaterCapacity = capacity;
    }
    LaterHashes[std::size_t(later) * 2] = murmurHash;
    LaterHashes[std::size_t(later) * 2 + 1] = crcHash;
    ++HashCount;
    return true;
}

std::uint32_t TDImage::LastCrc() const
{
    if (HashCount == 0) {
        return ChunkHashSeed;
    }
    return HashCount == 1 ? FirstCrcHash : LaterHashes[std::size_t(HashCount - 2) * 2 + 1];
}

void TDImage::HashChunkSideBySide(const std::vector<TDImage*>& files, std::int32_t chunk,
    TByteArrayPool* pool, const THashGate* gate)
{
    constexpr std::size_t MaxLanes = 4;
    if (files.size() < 2 || chunk < 0) {
        return;
    }
    for (std::size_t first = 0; first < files.size(); first += MaxLanes) {
        std::vector<TDImage*> lanes;
        try {
            lanes.assign(files.begin() + std::ptrdiff_t(first),
                files.begin() + std::ptrdiff_t(std::min(files.size(), first + MaxLanes)));
        } catch (const std::exception&) {
            return; // out of memory: HashChunks hashes the files one by one
        }
        lanes.erase(std::remove_if(lanes.begin(), lanes.end(),
                        [&](const TDImage* file) {
                            // First chunks of any sizes go together; later ones of one size.
                            return (chunk > 0 && file->Size != files.front()->Size) ||
                                ChunkStart(chunk) >= file->Size;
                        }),
            lanes.end());
        std::sort(lanes.begin(), lanes.end());
        lanes.erase(std::unique(lanes.begin(), lanes.end()), lanes.end());
        if (lanes.size() < 2) {
            continue;
        }
        // Locks in address order, so two threads never wait for each other.
        for (TDImage* file : lanes) {
            file->HashLock.lock();
        }
        try {
            HashLanes(lanes, chunk, pool, gate);
        } catch (const std::exception&) {
            // Out of memory: the files stay as they were.
        }
        for (TDImage* file : lanes) {
            file->HashLock.unlock();
        }
    }
}

void TDImage::HashLanes(
    std::vector<TDImage*> lanes, std::int32_t chunk, TByteArrayPool* pool, const THashGate* gate)
{
    // Only the files whose next chunk is this one.
    lanes.erase(std::remove_if(lanes.begin(), lanes.end(),
                    [chunk](const TDImage* file) { return file->HashCount != chunk; }),
        lanes.end());
    // Only files that open and still have their listed size.
    std::vector<platform::TReadOnlyFile> handles(lanes.size());
    std::size_t open = 0;
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
        if (!handles[lane].Open(lanes[lane]->FullPath()) &&
            handles[lane].Size() == lanes[lane]->Size) {
            lanes[open] = lanes[lane];
            std::swap(handles[open], handles[lane]);
            ++open;
        }
    }
    lanes.resize(open);
    handles.resize(open);
    const std::size_t count = lanes.size();
    if (count < 2) {
        return;
    }
    if (chunk == 0) {
        HashFirstLanes(lanes, handles, pool, gate);
        return;
    }

    // One buffer shared out among the lanes, each piece a whole number of 4-byte blocks.
    TBufferLease<std::uint8_t> buffer(pool, HashReadSize);
    const std::size_t piece = (HashReadSize / count) & ~std::size_t(63);
    std::vector<TMurmurHash3Stream> murmurs(count, TMurmurHash3Stream(ChunkHashSeed));
    std::vector<TMurmurHash3Stream*> streams(count);
    std::vector<const void*> data(count);
    std::vector<std::uint32_t> crcs(count);
    for (std::size_t lane = 0; lane < count; ++lane) {
        streams[lane] = &murmurs[lane];
        data[lane] = buffer.Data() + lane * piece;
        crcs[lane] = lanes[lane]->LastCrc();
    }
    // The files are of one size, so the chunk has the same length in each.
    const std::size_t length = ChunkLengthIn(lanes.front()->Size, chunk);
    const std::int64_t start = ChunkStart(chunk);
    std::size_t done = 0;
    while (done < length) {
        if (gate != nullptr && !(*gate)()) {
            return;
        }
        const std::size_t want = std::min(piece, length - done);
        for (std::size_t lane = 0; lane < count; ++lane) {
            const std::int64_t read = handles[lane].ReadAt(
                buffer.Data() + lane * piece, want, start + std::int64_t(done));
            // A read error, or a file that ended early: leave them all to HashChunks, which
            // hashes each on its own.
            if (read != std::int64_t(want)) {
                return;
            }
        }
        TMurmurHash3Stream::AddSideBySide(streams.data(), data.data(), count, want);
        for (std::size_t lane = 0; lane < count; ++lane) {
            crcs[lane] = Crc32c(crcs[lane], data[lane], want);
        }
        done += want;
    }
    for (std::size_t lane = 0; lane < count; ++lane) {
        lanes[lane]->AppendHashes(murmurs[lane].Value(), crcs[lane]);
    }
}

void TDImage::HashFirstLanes(const std::vector<TDImage*>& lanes,
    std::vector<platform::TReadOnlyFile>& handles, TByteArrayPool* pool, const THashGate* gate)
{
    // Each file's whole first chunk goes into its own part of the buffer in one read. The
    // files may have different sizes: the bytes they all have are hashed side by side, the
    // rest of each file on its own. A file that cannot be read or ended early is left to
    // HashChunks.
    static_assert(HashReadSize >= 4 * std::size_t(FirstChunkSize));
    // The first chunks of all lanes together are one piece.
    if (gate != nullptr && !(*gate)()) {
        return;
    }
    TBufferLease<std::uint8_t> buffer(pool, HashReadSize);
    std::vector<TDImage*> files;
    std::vector<TMurmurHash3Stream> murmurs;
    std::vector<const void*> data;
    std::vector<std::size_t> lengths;
    std::size_t common = std::size_t(FirstChunkSize);
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
        std::uint8_t* part = buffer.Data() + lane * std::size_t(FirstChunkSize);
        const std::size_t expected = ChunkLengthIn(lanes[lane]->Size, 0);
        const std::int64_t got = handles[lane].ReadAt(part, expected, 0);
        if (got <= 0 || std::size_t(got) != expected) {
            continue;
        }
        files.push_back(lanes[lane]);
        murmurs.emplace_back(ChunkHashSeed);
        data.push_back(part);
        lengths.push_back(std::size_t(got));
        common = std::min(common, std::size_t(got));
    }
    const std::size_t count = files.size();
    std::vector<TMurmurHash3Stream*> streams(count);
    for (std::size_t lane = 0; lane < count; ++lane) {
        streams[lane] = &murmurs[lane];
    }
    common &= ~std::size_t(3);
    TMurmurHash3Stream::AddSideBySide(streams.data(), data.data(), count, common);
    for (std::size_t lane = 0; lane < count; ++lane) {
        const auto* bytes = static_cast<const std::uint8_t*>(data[lane]);
        murmurs[lane].Add(bytes + common, lengths[lane] - common);
        files[lane]->AppendHashes(
            murmurs[lane].Value(), Crc32c(ChunkHashSeed, bytes, lengths[lane]));
    }
}

THashResult TDImage::HashChunks(TByteArrayPool* pool, std::int32_t lastChunk, const THashGate* gate)
{
    if (Size <= 0) {
        return hrOk;
    }
    if (lastChunk < 0 || ChunkStart(lastChunk) >= Size) {
        return hrNoSuchChunk;
    }

    // Held for the whole read, so a second thread that wants the same chunks waits for them
    // instead of reading them again or appending them twice.
    std::lock_guard guard(HashLock);
    const std::int32_t hashed = HashCount;
    if (lastChunk < hashed) {
        return hrOk;
    }

    try {
        platform::TReadOnlyFile file;
        if (file.Open(FullPath())) {
            return hrReadError;
        }
        if (file.Size() != Size) {
            return hrChanged;
        }
        // Each chunk is read in pieces of at most HashReadSize bytes and every piece goes
        // through both hashes at once, while it is in the cache. The values are the same as
        // hashing the whole chunk in one go.
        TBufferLease<std::uint8_t> buffer(
            pool, std::min(HashReadSize, ChunkLength(lastChunk == 0 ? 0 : 1)));
        // The chained CRC-32C goes on from the last hashed chunk's.
        std::uint32_t crc = LastCrc();
        for (std::int32_t chunk = hashed; chunk <= lastChunk; ++chunk) {
            const std::size_t length = ChunkLengthIn(Size, chunk);
            const std::int64_t start = ChunkStart(chunk);
            TMurmurHash3Stream murmur(ChunkHashSeed);
            std::size_t done = 0;
            while (done < length) {
                if (gate != nullptr && !(*gate)()) {
                    return hrStopped;
                }
                const std::size_t piece = std::min(HashReadSize, length - done);
                const std::int64_t got =
                    file.ReadAt(buffer.Data(), piece, start + std::int64_t(done));
                if (got < 0) {
                    return hrReadError;
                }
                if (std::size_t(got) < piece) {
                    return hrChanged; // the file ended before its listed size
                }
                murmur.Add(buffer.Data(), piece);
                crc = Crc32c(crc, buffer.Data(), piece);
                done += piece;
            }
            if (!AppendHashes(murmur.Value(), crc)) {
                return hrReadError;
            }
        }
    } catch (const std::exception&) {
        // Out of memory for a buffer of its own: the chunk stays unhashed.
        return hrReadError;
    }
    return hrOk;
}

bool TDImage::ChunkHashes(std::int32_t chunk, std::uint32_t& murmurHash,
                          std::uint32_t& crcHash) const
{
    std::lock_guard guard(HashLock);
    if (chunk < 0 || chunk >= HashCount) {
        return false;
    }
    if (chunk == 0) {
        murmurHash = FirstMurmurHash;
        crcHash = FirstCrcHash;
    } else {
        murmurHash = LaterHashes[std::size_t(chunk - 1) * 2];
        crcHash = LaterHashes[std::size_t(chunk - 1) * 2 + 1];
    }
    return true;
}

std::int32_t TDImage::HashedChunkCount() const
{
    std::lock_guard guard(HashLock);
    return HashCount;
}

bool TDImage::SameContent(TDImage& other, TByteArrayPool* pool)
{
    if (Size != other.Size) {
        return false;
    }
    if (Size <= 0) {
        return true;
    }
    // Every chunk that the listed size has must be read and agree; a file that cannot be
    // read or that ended early is never taken for a copy of another. Only one record's lock
    // is held at a time.
    const std::int32_t chunks = ChunkCountOf(Size);
    for (std::int32_t chunk = 0; chunk < chunks; ++chunk) {
        if (HashChunks(pool, chunk) != hrOk || other.HashChunks(pool, chunk) != hrOk) {
            return false;
        }
        std::uint32_t murmur = 0;
        std::uint32_t crc = 0;
        std::uint32_t otherMurmur = 0;
        std::uint32_t otherCrc = 0;
        if (!ChunkHashes(chunk, murmur, crc) || !other.ChunkHashes(chunk, otherMurmur, otherCrc)) {
            return false;
        }
        if (murmur != otherMurmur || crc != otherCrc) {
            return false;
        }
    }
    return true;
}
