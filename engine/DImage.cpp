#include "engine/DImage.h"

#include "engine/CRC32.h"
#include "engine/MemPools.h"
#include "engine/MurmurHash.h"
#include "platform/ReadOnlyFile.h"

#include <QByteArray>
#include <QString>

#include <cstring>
#include <exception>
#include <memory>

namespace {

std::int64_t ChunkStart(std::int32_t chunk)
{
    return chunk == 0 ? 0 : FirstChunkSize + std::int64_t(chunk - 1) * ChunkSize;
}

std::size_t ChunkLength(std::int32_t chunk)
{
    return std::size_t(chunk == 0 ? FirstChunkSize : ChunkSize);
}

// The low 16 bits of the text's length in UTF-16 code units.
std::int16_t Utf16Length(const std::string& text)
{
    return std::int16_t(std::uint16_t(QString::fromUtf8(text).size() & 0xFFFF));
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
    QString text = QString::fromUtf8(suffix);
    QByteArray back = text.toUtf8();
    if (std::size_t(back.size()) == suffix.size() &&
        std::memcmp(back.constData(), suffix.data(), suffix.size()) == 0) {
        return text.toLower().toStdString();
    }
    // Not valid UTF-8: lower-case the ASCII letters and keep every other byte as it is.
    for (char& c : suffix) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return suffix;
}

// A buffer for one read: one of the pool's when it has a free one that is large enough,
// else one of its own. Goes back to the pool when the lease ends.
class TBufferLease {
public:
    TBufferLease(TByteArrayPool* pool, std::size_t needed)
    {
        if (pool != nullptr && pool->Size() >= needed) {
            FData = pool->Acquire();
            if (FData != nullptr) {
                FPool = pool;
                return;
            }
        }
        FOwn = std::make_unique_for_overwrite<std::uint8_t[]>(needed);
        FData = FOwn.get();
    }
    ~TBufferLease()
    {
        if (FPool != nullptr) {
            FPool->Release(FData);
        }
    }
    TBufferLease(const TBufferLease&) = delete;
    TBufferLease& operator=(const TBufferLease&) = delete;

    std::uint8_t* Data() const { return FData; }

private:
    TByteArrayPool* FPool = nullptr;
    std::uint8_t* FData = nullptr;
    std::unique_ptr<std::uint8_t[]> FOwn;
};

} // namespace

TDImage::TDImage(const std::string& folder, const platform::TFindRecord& record)
    : Size(record.Size),
      CreationTime(record.CreationTime),
      LastWriteTime(record.LastWriteTime),
      LastAccessTime(record.LastAccessTime)
{
    SetNameAndFolder(record.Name, folder);
}

void TDImage::SetNameAndFolder(const std::string& fileName, const std::string& folder)
{
    FileName = fileName;
    Folder = folder;
    if (Folder.empty() || Folder.back() != '/') {
        Folder += '/';
    }
    Ext = ExtensionOf(FileName);
    NameLength = Utf16Length(FileName);
    FolderLength = Utf16Length(Folder);
}

std::string TDImage::FullPath() const
{
    return Folder + FileName;
}

void TDImage::SetFullPath(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        SetNameAndFolder(path, std::string());
    } else {
        SetNameAndFolder(path.substr(slash + 1), path.substr(0, slash + 1));
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

THashResult TDImage::HashChunks(TByteArrayPool* pool, std::int32_t lastChunk)
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
    const auto hashed = std::int32_t(MurmurHashes.size());
    if (lastChunk < hashed) {
        return hrOk;
    }

    try {
        platform::TReadOnlyFile file;
        if (file.Open(FullPath())) {
            return hrReadError;
        }
        TBufferLease buffer(pool, ChunkLength(lastChunk == 0 ? 0 : 1));
        for (std::int32_t chunk = hashed; chunk <= lastChunk; ++chunk) {
            const std::size_t length = ChunkLength(chunk);
            const std::int64_t got = file.ReadAt(buffer.Data(), length, ChunkStart(chunk));
            if (got < 0) {
                return hrReadError;
            }
            if (got > 0) {
                const std::uint32_t previousCrc =
                    CrcHashes.empty() ? ChunkHashSeed : CrcHashes.back();
                MurmurHashes.push_back(
                    MurmurHash3(buffer.Data(), std::uint32_t(got), ChunkHashSeed));
                CrcHashes.push_back(Crc32c(previousCrc, buffer.Data(), std::size_t(got)));
            }
            if (std::size_t(got) < length) {
                break; // the end of the file
            }
        }
    } catch (const std::exception&) {
        // Out of memory for a buffer of its own: the chunk stays unhashed.
        return hrReadError;
    }
    // Fewer chunks than asked for: the file is shorter now than when it was listed.
    return std::int32_t(MurmurHashes.size()) > lastChunk ? hrOk : hrNoSuchChunk;
}

bool TDImage::ChunkHashes(std::int32_t chunk, std::uint32_t& murmurHash,
                          std::uint32_t& crcHash) const
{
    std::lock_guard guard(HashLock);
    if (chunk < 0 || std::size_t(chunk) >= MurmurHashes.size()) {
        return false;
    }
    murmurHash = MurmurHashes[std::size_t(chunk)];
    crcHash = CrcHashes[std::size_t(chunk)];
    return true;
}

std::int32_t TDImage::HashedChunkCount() const
{
    std::lock_guard guard(HashLock);
    return std::int32_t(MurmurHashes.size());
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
