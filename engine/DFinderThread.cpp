#include "engine/DFinderThread.h"

#include "engine/Comparer.h"
#include "engine/DFinder.h"
#include "engine/Diff.h"
#include "engine/FindFile.h"
#include "engine/Log.h"
#include "engine/MemPools.h"
#include "engine/OptionValues.h"
#include "engine/OrderedPrefetch.h"
#include "engine/SimilarNames.h"
#include "engine/SystemServices.h"
#include "engine/ThreadPool.h"
#include "engine/ZYUtils.h"
#include "platform/FindRecord.h"
#include "platform/Memory.h"
#include "platform/PathText.h"
#include "platform/ReadOnlyFile.h"
#include "platform/SysCalls.h"

#include <QString>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

std::atomic<bool> ScanAborted {false};

namespace {

// Buffers of the chunk hashing: chunks are read and hashed a piece of this size at a time.
constexpr std::size_t HashBufferSize = HashReadSize;

const std::string LogFileName = "Marrowfen_Log.txt";

// While the listing runs, the file searcher calls back into the scan; afterwards it must
// not keep handlers, a filter or a stop flag that belong to a scan, nor an abort left set by a
// stopped scan: a later search with the same searcher starts as a fresh one.
class TSearcherHandlers {
public:
    explicit TSearcherHandlers(TFindFile& searcher)
        : FSearcher(searcher)
    { }
    ~TSearcherHandlers()
    {
        FSearcher.OnNewPath = nullptr;
        FSearcher.OnNewFileEvent = nullptr;
        FSearcher.Filter = nullptr;
        FSearcher.ListingThreads = 0;
        FSearcher.Abort = false;
        FSearcher.AbortSignal = nullptr;
        FSearcher.ListingPause = nullptr;
    }
    TSearcherHandlers(const TSearcherHandlers&) = delete;
    TSearcherHandlers& operator=(const TSearcherHandlers&) = delete;

private:
    TFindFile& FSearcher;
};

std::uint64_t ChunkKey(std::uint32_t murmurHash, std::uint32_t crcHash)
{
    return (std::uint64_t(murmurHash) << 32) | crcHash;
}

// Jobs that workers may run ahead of the scan thread, per worker: the preprocessing's jobs
// take a run of files each, the comparison's a size bucket each. Workers wait while the scan
// is paused and end their jobs early when it stops, so the windows need not be small.
constexpr std::size_t PrefetchFilesPerJob = 32;
constexpr std::size_t PrefetchJobsPerWorker = 16;
constexpr std::size_t PrefetchBucketsPerWorker = 256;

// Splits the files of one size bucket (in bucket order) into the classes of files that have
// equal content by their chunk hashes (and, with sameExtOnly, equal extensions), and appends
// every class of two or more files to classes, its files in bucket order.
//
// Chunk 0 of every file is hashed already; chunk k + 1 is read only for the files whose chunks
// 0 to k agree with those of another file, which are exactly the files whose chunk k + 1 a
// pairwise comparison would read. A file that cannot be read or ended early falls out: it is
// equal to nothing. stopTest is asked before each file that is looked at, gate before each
// piece that is read; when either says to stop the split ends with false and nothing is
// appended.
template<typename TStopTest>
bool SplitBucket(const TSettings& settings, TByteArrayPool* pool,
    const std::vector<TDImage*>& bucket, std::vector<std::vector<TDImage*>>& classes,
    TStopTest&& stopTest, const THashGate& gate)
{
    if (bucket.size() < 2) {
        return true;
    }
    std::vector<std::vector<TDImage*>> cells;
    if (settings.ScanEqualExtOnly) {
        std::unordered_map<std::string, std::size_t> cellOfExt;
        for (TDImage* file : bucket) {
            const auto [at, added] = cellOfExt.try_emplace(file->Ext, cells.size());
            if (added) {
                cells.emplace_back();
            }
            cells[at->second].push_back(file);
        }
    } else {
        cells.push_back(bucket);
    }

    const std::int32_t chunks = TDImage::ChunkCountOf(bucket.front()->Size);
    for (std::int32_t chunk = 0; chunk < chunks; ++chunk) {
        std::vector<std::vector<TDImage*>> next;
        for (const std::vector<TDImage*>& cell : cells) {
            if (cell.size() < 2) {
                continue;
            }
            std::unordered_map<std::uint64_t, std::size_t> partOfKey;
            std::vector<std::vector<TDImage*>> parts;
            // The files' chunks are read and hashed side by side first; the loop below then
            // finds them hashed (and hashes on its own what was left).
            TDImage::HashChunkSideBySide(cell, chunk, pool, &gate);
            for (TDImage* file : cell) {
                if (stopTest()) {
                    return false;
                }
                std::uint32_t murmurHash = 0;
                std::uint32_t crcHash = 0;
                const THashResult hashed = file->HashChunks(pool, chunk, &gate);
                if (hashed == hrStopped) {
                    return false;
                }
                if (hashed != hrOk || !file->ChunkHashes(chunk, murmurHash, crcHash)) {
                    continue;
                }
                const auto [at, added] =
                    partOfKey.try_emplace(ChunkKey(murmurHash, crcHash), parts.size());
                if (added) {
                    parts.emplace_back();
                }
                parts[at->second].push_back(file);
            }
            // A part of one file is done with: that file equals no other.
            for (std::vector<TDImage*>& part : parts) {
                if (part.size() >= 2) {
                    next.push_back(std::move(part));
                }
            }
        }
        cells = std::move(next);
    }
    for (std::vector<TDImage*>& cell : cells) {
        if (cell.size() >= 2) {
            classes.push_back(std::move(cell));
        }
    }
    return true;
}

// What hashing the first chunk of the file would answer, found without hashing: whether the
// file opens, still has its listed size and gives at least one byte (an empty file needs no
// reading).
THashResult ProbeFirstChunk(const TDImage& file, const THashGate* gate)
{
    if (file.Size <= 0) {
        return hrOk;
    }
    if (gate != nullptr && !(*gate)()) {
        return hrStopped;
    }
    try {
        platform::TReadOnlyFile handle;
        if (handle.Open(file.FullPath())) {
            return hrReadError;
        }
        if (handle.Size() != file.Size) {
            return hrChanged;
        }
        std::uint8_t byte = 0;
        const std::int64_t got = handle.ReadAt(&byte, 1, 0);
        if (got < 0) {
            return hrReadError;
        }
        return got == 0 ? hrChanged : hrOk;
    } catch (const std::exception&) {
        return hrReadError;
    }
}

// A bucket split by a worker ahead of the scan thread: its classes, and how many files the
// split looked at (the scan thread makes as many abort tests when it takes the result over).
struct TBucketSplit {
    const std::vector<TDImage*>* Bucket = nullptr;
    std::vector<std::vector<TDImage*>> Classes;
    std::size_t Looks = 0;
    bool Complete = false;
};

// The name a file is compared by in the similar-names method: lower-cased, without its
// extension when the extension is not to be compared (a leading "." starts no extension).
QString ComparedName(const TDImage& file, bool withoutExt)
{
    std::string name = file.FileName;
    if (withoutExt) {
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot != 0) {
            name.resize(dot);
        }
    }
    return LowerCaseText(NameText(name));
}

// True when a regular file (or a link to one) is at the path.
bool FileExists(const std::string& path)
{
    struct statx info { };
    return platform::Sys().Statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &info) == 0 &&
        S_ISREG(info.stx_mode);
}

// The similar-files method measures its pairs in blocks (whole rows of the pair loop), in
// batches of at most MaxBatchPairs pairs that share their old file. Larger blocks let more
// pairs share a sort; smaller ones join groups sooner, and a pair whose files were both
// grouped by then is not measured. A block holds at least MinBlockPairsPerWorker pairs a
// worker; the size doubles, up to MaxBlockPairsPerWorker (and MaxBlockPairs in all), after a
// block in which few pairs were measured that the loop would have skipped, and halves after
// one in which many were.
constexpr std::size_t MinBlockPairsPerWorker = 64;
constexpr std::size_t MaxBlockPairsPerWorker = 4096;
constexpr std::size_t MaxBlockPairs = 65536;
constexpr std::size_t MaxBatchPairs = 64;

// The thread pool of the similar-files method: published in the scan's Pool field while it
// lives, and taken out of the field before it is freed (freeing it waits for every job).
class TPublishedPool {
public:
    TPublishedPool(std::atomic<TThreadPool*>& field, std::int32_t workers, std::uint8_t priority)
        : FField(field)
        , FPool(std::make_unique<TThreadPool>(workers, priority))
    {
        FField = FPool.get();
    }
    ~TPublishedPool() { Free(); }
    TPublishedPool(const TPublishedPool&) = delete;
    TPublishedPool& operator=(const TPublishedPool&) = delete;

    TThreadPool& operator*() const { return *FPool; }
    void Free()
    {
        FField = nullptr;
        FPool.reset();
    }

private:
    std::atomic<TThreadPool*>& FField;
    std::unique_ptr<TThreadPool> FPool;
};

} // namespace

std::vector<std::string> NormaliseRoots(const std::vector<std::string>& folders, bool recurse)
{
    std::vector<std::string> roots;
    roots.reserve(folders.size());
    for (const std::string& folder : folders) {
        roots.push_back(platform::WithTrailingSlash(folder));
    }

    // Links by their targets; a link to a folder that is listed itself goes.
    for (std::size_t i = roots.size(); i-- > 0;) {
        const std::string final = GetFinalPath(roots[i]);
        if (final.empty() || SamePath(final, roots[i])) {
            continue;
        }
        const bool listed = std::any_of(roots.begin(), roots.end(),
            [&final](const std::string& root) { return SamePath(root, final); });
        if (listed) {
            roots.erase(roots.begin() + std::ptrdiff_t(i));
        } else {
            roots[i] = platform::WithTrailingSlash(final);
        }
    }

    // Folders listed twice, and with subfolders searched, folders inside another root.
    for (std::size_t i = roots.size(); i-- > 0;) {
        for (std::size_t j = roots.size(); j-- > 0;) {
            if (j == i) {
                continue;
            }
            const bool covered =
                recurse ? PathStartsWith(roots[i], roots[j]) : SamePath(roots[i], roots[j]);
            if (covered) {
                roots.erase(roots.begin() + std::ptrdiff_t(i));
                break;
            }
        }
    }
    return roots;
}

TDFinderThread::TDFinderThread(TDFinder& finder, TFindFile& searcher, const TSettings& settings)
    : NameMeasure(&NameSimilarity)
    , FFinder(finder)
    , FSearcher(searcher)
    , FSettings(settings)
    , FProcessorCount(std::max(1, std::int32_t(std::thread::hardware_concurrency())))
    , FPause([this] { return StopRequested(); })
    , FScanPieceGate([this] {
        FPause.ConsumerGate();
        return !StopRequested();
    })
    , FWorkerPieceGate([this] { return FPause.PieceGate(); })
{ }

TDFinderThread::~TDFinderThread()
{
    Terminate();
    if (FThread.joinable() && FThread.get_id() == std::this_thread::get_id()) {
        FThread.detach();
        return;
    }
    WaitFor();
}

bool TDFinderThread::Start()
{
    if (FThread.joinable()) {
        return false;
    }
    try {
        FThread = std::thread([this] {
            try {
                SetCurrentThreadPriority(FSettings.Priority);
            } catch (...) {
                // The scan runs at the priority it has.
            }
            Execute();
            DeliverOnTerminate();
        });
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void TDFinderThread::WaitFor()
{
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) {
        FThread.join();
    }
}

void TDFinderThread::Pause()
{
    FPause.Pause();
}

void TDFinderThread::Resume()
{
    FPause.Resume();
}

bool TDFinderThread::Suspended() const
{
    return FPause.Suspended();
}

void TDFinderThread::Stop()
{
    ScanAborted = true;
    FPause.Wake();
}

void TDFinderThread::Terminate()
{
    FClosing = true;
    FTerminated = true;
    FPause.Wake();
}

bool TDFinderThread::Terminated() const
{
    return FTerminated.load();
}

std::string TDFinderThread::ErrorText() const
{
    std::lock_guard guard(FErrorLock);
    return FErrorText;
}

void TDFinderThread::SetErrorText(std::string cause)
{
    std::lock_guard guard(FErrorLock);
    FErrorText = cause.empty() ? std::string("Unknown error") : std::move(cause);
}

void TDFinderThread::DetachOnTerminate()
{
    std::lock_guard guard(FTerminateLock);
    FTerminateDetached = true;
}

void TDFinderThread::DeliverOnTerminate()
{
    std::lock_guard guard(FTerminateLock);
    if (FTerminateDetached || !OnTerminate) {
        return;
    }
    try {
        OnTerminate();
    } catch (...) {
        // Nothing leaves the thread's body.
    }
}

void TDFinderThread::Gate()
{
    if (OnGate) {
        OnGate();
    }
    FPause.ConsumerGate();
}

std::int32_t TDFinderThread::WorkersFor(std::size_t jobs) const
{
    return std::int32_t(std::min(jobs, std::size_t(FProcessorCount)));
}

bool TDFinderThread::StopRequested() const
{
    return ScanAborted.load() || FClosing.load();
}

bool TDFinderThread::AbortTest()
{
    Gate();
    if (StopRequested()) {
        FTerminated = true;
        return true;
    }
    return false;
}

void TDFinderThread::Log(const std::string& text) const
{
    if (FSettings.EnableLog) {
        AddAppLogText(text);
    }
}

void TDFinderThread::PublishProgress(std::int64_t i, std::int64_t count)
{
    if (count <= 0) {
        return;
    }
    const double percent = std::trunc(double(i * 100) / double(count) - 2.0);
    FFinder.Progress = std::int32_t(std::max(0.0, percent));
}

void TDFinderThread::Execute()
{
    try {
        FFinder.ClearResults(true);
        FFinder.Progress = 0;
        FFinder.FileCount = 0;
        if (FFinder.Folders.empty()) {
            return;
        }
        Gate();
        ListFiles();
        Gate();
        Preprocess();
        Gate();
        if (!FTerminated.load()) {
            FFinder.FileCount = FFinder.Files.Count();
            RunMethod();
            Gate();
            CleanUp();
        }
    } catch (const std::bad_alloc&) {
        SetErrorText(std::generic_category().message(ENOMEM));
    } catch (const std::exception& error) {
        SetErrorText(error.what());
    } catch (...) {
        SetErrorText({});
    }
    try {
        FHashPool.reset();
        // The buckets point to records that the clean-up may have freed.
        FFinder.SizeBuckets.clear();
        if (ScanAborted.load()) {
            Log("Aborted by user");
        }
    } catch (...) { }
}

void TDFinderThread::ListFiles()
{
    FFinder.State = fsListing;
    const std::string documents = GetSpecialFolder(CSIDL_PERSONAL);
    if (FSettings.EnableLog) {
        auto log = std::make_unique<TLog>();
        log->MessageMode = lmmSimple;
        TLog* installed = ReplaceAppLog(std::move(log));
        // Without a known Documents folder the log stays closed rather than landing in
        // whatever the current folder is.
        if (!documents.empty()) {
            installed->SetFileName(documents + LogFileName);
        }
        Log(GetSystemInfoText());
    }
    Log("Retreiving file list...");

    TSearcherHandlers handlers(FSearcher);
    FSearcher.Recurse = FSettings.Recurse;
    FSearcher.SetFilters({"*.*"});
    FSearcher.Abort = false;
    FSearcher.AbortSignal = &ScanAborted;
    FSearcher.OnNewPath = [this](TFindFile& sender, const std::string& newPath,
                              std::int32_t filesCount,
                              bool& abort) { CheckAbort(sender, newPath, filesCount, abort); };

    std::vector<std::string> folders;
    folders.reserve(FFinder.Folders.size());
    for (const TFinderFolder& entry : FFinder.Folders) {
        folders.push_back(entry.Folder);
    }
    const std::vector<std::string> roots = NormaliseRoots(folders, FSettings.Recurse);

    FSearcher.Filter = &FSettings.Filter;
    FSearcher.SkipSystemFolders = FSettings.ProtectSysFiles;
    FSearcher.SkipZeroSizeFiles = FSettings.SkipZeroFiles;
    FSearcher.ListingThreads = FProcessorCount;
    FSearcher.ListingPriority = FSettings.Priority;
    FSearcher.ListingPause = &FPause;
    FSearcher.OnNewFileEvent = [this](const std::string& path,
                                   const platform::TFindRecord& searchRec) {
        FileFound(path, searchRec);
    };
    if (FSettings.ProtectSysFiles) {
        FSearcher.Attributes = TAttrOptions(FSearcher.Attributes & ~AttrOptionBit(ffSystem));
    } else {
        FSearcher.Attributes = TAttrOptions(FSearcher.Attributes | AttrOptionBit(ffSystem));
    }
    FFinder.FileCount = 0;
    FFirstOfSize.Clear();

    FSearcher.Folders.clear();
    for (const std::string& root : roots) {
        if (FolderExists(root)) {
            FSearcher.Folders.push_back(root);
        }
    }
    if (!FSearcher.Folders.empty()) {
        FSearcher.Execute();
    }
    FSearcher.OnNewPath = nullptr;

    FFirstOfSize.Clear();
    // The listing threads' folder listings are freed by now; their pages would otherwise
    // stay with those threads' heaps for the rest of the scan.
    platform::ReturnFreedMemory();
    Log("File list retreived.");
    FFinder.State = fsIdle;
    FSearcher.Files.clear();
    FFinder.FileCount = FFinder.Files.Count();
}

void TDFinderThread::CheckAbort(TFindFile&, const std::string&, std::int32_t, bool& abort)
{
    Gate();
    abort = StopRequested();
}

void TDFinderThread::FileFound(const std::string& path, const platform::TFindRecord& searchRec)
{
    // The files of one folder come one after another and share one folder text.
    if (FListedFolder.Str() != path) {
        FListedFolder = TSharedString(path);
    }
    auto image = std::make_unique<TDImage>(FListedFolder, searchRec);
    if (FSettings.FindMode == 0) {
        // A size gets its bucket when its second file comes; until then its only file waits
        // in the first-of-size table. A file alone in its size is never compared, so the
        // buckets the method reads are the same.
        const auto bucket = FFinder.SizeBuckets.find(image->Size);
        if (bucket != FFinder.SizeBuckets.end()) {
            bucket->second->Add(image.get());
        } else if (TDImage* first = FFirstOfSize.Find(image->Size)) {
            auto added = std::make_unique<TDGroup>();
            added->Add(first);
            added->Add(image.get());
            FFinder.SizeBuckets.emplace(image->Size, std::move(added));
        } else {
            FFirstOfSize.Add(image->Size, image.get());
        }
    }
    FFinder.Files.Add(std::move(image));
    FFinder.FileCount = FFinder.Files.Count();
}

void TDFinderThread::Preprocess()
{
    if (!ScanAborted.load()) {
        Log("Starting scan...");
    }
    FHashPool = std::make_unique<TByteArrayPool>(FProcessorCount + 1, HashBufferSize);
    FFinder.State = fsPreprocessing;

    // Files from the last to the first, the order in which they are processed. Removing a
    // file leaves the places of the files before it as they are.
    std::vector<TDImage*> order;
    order.reserve(std::size_t(std::max(0, FFinder.Files.Count())));
    for (std::int32_t i = FFinder.Files.Count() - 1; i >= 0; --i) {
        order.push_back(FFinder.Files[i]);
    }
    // The equal-files method hashes first chunks on worker threads ahead of this loop; the
    // loop still takes every file in turn (its result, the progress, the log line, the
    // removal of an unreadable file), so what it does and in which order stays the same.
    // A file whose size no other file has is never compared: it is only probed for what
    // hashing its first chunk would tell, whether it can be read. Which files share a size is
    // settled here, before any file is removed, so the workers read nothing that changes.
    std::vector<std::int8_t> firstChunk(order.size(), -1);
    std::vector<bool> sizeShared(order.size(), true);
    if (FSettings.FindMode == 0) {
        for (std::size_t at = 0; at < order.size(); ++at) {
            const auto bucket = FFinder.SizeBuckets.find(order[at]->Size);
            sizeShared[at] = bucket != FFinder.SizeBuckets.end() && bucket->second->Count() > 1;
        }
    }
    const auto firstChunkOf = [&order, &sizeShared](
                                  std::size_t at, TByteArrayPool* pool, const THashGate* gate) {
        return sizeShared[at] ? order[at]->HashChunks(pool, 0, gate)
                              : ProbeFirstChunk(*order[at], gate);
    };
    std::optional<TOrderedPrefetch> prefetch;
    if (FSettings.FindMode == 0 && order.size() > 1) {
        TByteArrayPool* pool = FHashPool.get();
        const std::size_t batches = (order.size() + PrefetchFilesPerJob - 1) / PrefetchFilesPerJob;
        prefetch.emplace(
            batches, PrefetchJobsPerWorker * std::size_t(FProcessorCount), WorkersFor(batches),
            FSettings.Priority,
            [this, pool, &order, &sizeShared, &firstChunk, &firstChunkOf](std::size_t batch) {
                const std::size_t end =
                    std::min(order.size(), (batch + 1) * PrefetchFilesPerJob);
                // The first chunks the run needs are hashed side by side first; the loop
                // below then finds them hashed (and hashes what was left on its own).
                try {
                    std::vector<TDImage*> shared;
                    for (std::size_t at = batch * PrefetchFilesPerJob; at < end; ++at) {
                        if (sizeShared[at] && order[at]->Size > 0) {
                            shared.push_back(order[at]);
                        }
                    }
                    TDImage::HashChunkSideBySide(shared, 0, pool, &FWorkerPieceGate);
                } catch (const std::exception&) {
                    // Out of memory for the list: each file is hashed on its own below.
                }
                for (std::size_t at = batch * PrefetchFilesPerJob; at < end; ++at) {
                    const THashResult result = firstChunkOf(at, pool, &FWorkerPieceGate);
                    if (result == hrStopped) {
                        break; // the scan thread finds the rest unhashed
                    }
                    firstChunk[at] = std::int8_t(result);
                }
            },
            &FPause);
    }

    std::int32_t processed = 0;
    for (std::size_t at = 0; at < order.size(); ++at) {
        Gate();
        if (StopRequested()) {
            break;
        }
        FFinder.Progress = ++processed;
        if (FSettings.FindMode != 0) {
            continue;
        }
        TDImage* file = order[at];
        if (prefetch && at % PrefetchFilesPerJob == 0) {
            // After this no worker touches the files of this job, which may be freed below.
            prefetch->Take(at / PrefetchFilesPerJob);
        }
        try {
            if (FSettings.EnableLog) {
                Log("Processing file: " + file->FullPath());
            }
            const THashResult result = firstChunk[at] >= 0
                ? THashResult(firstChunk[at])
                : firstChunkOf(at, FHashPool.get(), &FScanPieceGate);
            if (result == hrStopped) {
                break; // the scan is stopping
            }
            if (result != hrOk) {
                FFinder.RemoveFile(file);
            }
        } catch (const std::exception&) {
            FFinder.RemoveFile(file);
        }
    }
}

void TDFinderThread::RunMethod()
{
    switch (FSettings.FindMode) {
    case 0:
        CompareEqualFiles();
        break;
    case 1:
        CompareSimilarFiles();
        break;
    case 2:
        CompareSimilarNames();
        break;
    case 3:
        CompareEqualSizes();
        break;
    default:
        // No such method: nothing is compared.
        FFinder.State = fsComparing;
        FFinder.Progress = 1;
        FFinder.State = fsFinished;
        break;
    }
}

void TDFinderThread::CleanUp()
{
    // A group about to go must not stay behind in its files.
    for (TDGroup* group : FFinder.Groups) {
        if (group->Count() <= 1) {
            for (TDImage* file : *group) {
                file->Group = nullptr;
            }
        }
    }
    FFinder.Files.RemoveIf([](TDImage* file) { return file->Group.load() == nullptr; });
    FFinder.Groups.RemoveIf([](TDGroup* group) { return group->Count() <= 1; });
}

// Equal content. When a file's turn comes and it has no group yet, no file of its class (same
// size, same content, and the same extension when asked) has one either: the first file of a
// class in the file list takes all the others into a new group, in bucket order. So each
// bucket is split into its classes once, when its first ungrouped file comes, and each class
// of two or more becomes one group, numbered in the order of its first file.
void TDFinderThread::CompareEqualFiles()
{
    FFinder.State = fsComparing;
    FFinder.Progress = 1;

    // The buckets of two or more files in the order in which the loop below comes to them
    // (by their first file), split on worker threads ahead of it. The loop takes each split
    // over with as many abort tests as the split made, so pausing and stopping behave as
    // when it splits the bucket itself, which it does when no worker got to it.
    std::vector<TBucketSplit> splits;
    std::unordered_map<std::int64_t, std::size_t> splitOfSize;
    for (TDImage* file : FFinder.Files) {
        const auto bucket = FFinder.SizeBuckets.find(file->Size);
        if (bucket == FFinder.SizeBuckets.end() || bucket->second->Items.size() < 2) {
            continue;
        }
        if (splitOfSize.try_emplace(file->Size, splits.size()).second) {
            splits.emplace_back();
            splits.back().Bucket = &bucket->second->Items;
        }
    }
    std::optional<TOrderedPrefetch> prefetch;
    if (!splits.empty()) {
        TByteArrayPool* pool = HashPool();
        prefetch.emplace(
            splits.size(), PrefetchBucketsPerWorker * std::size_t(FProcessorCount),
            WorkersFor(splits.size()), FSettings.Priority,
            [this, pool, &splits](std::size_t at) {
                TBucketSplit& split = splits[at];
                try {
                    split.Complete = SplitBucket(
                        FSettings, pool, *split.Bucket, split.Classes,
                        [this, &split] {
                            ++split.Looks;
                            return StopRequested();
                        },
                        FWorkerPieceGate);
                } catch (const std::exception&) {
                    split.Complete = false;
                }
                if (!split.Complete) {
                    split.Classes.clear();
                }
            },
            &FPause);
    }

    std::vector<std::vector<TDImage*>> classes;
    std::unordered_map<const TDImage*, std::size_t> classOf;
    std::unordered_set<std::int64_t> splitSizes;
    const std::int32_t count = FFinder.Files.Count();
    for (std::int32_t i = 0; i < count; ++i) {
        if (AbortTest()) {
            break;
        }
        PublishProgress(i, FFinder.Files.Count());
        TDImage* a = FFinder.Files[i];
        if (a->Group.load() != nullptr) {
            continue;
        }
        const auto bucket = FFinder.SizeBuckets.find(a->Size);
        if (bucket == FFinder.SizeBuckets.end()) {
            continue;
        }
        if (splitSizes.insert(a->Size).second) {
            const std::size_t first = classes.size();
            bool split = false;
            const auto job = splitOfSize.find(a->Size);
            if (job != splitOfSize.end() && prefetch->Take(job->second)) {
                TBucketSplit& done = splits[job->second];
                if (done.Complete) {
                    bool stopped = false;
                    for (std::size_t look = 0; look < done.Looks && !stopped; ++look) {
                        stopped = AbortTest();
                    }
                    if (stopped) {
                        break;
                    }
                    for (std::vector<TDImage*>& found : done.Classes) {
                        classes.push_back(std::move(found));
                    }
                    done.Classes.clear();
                    split = true;
                }
            }
            if (!split &&
                !SplitBucket(
                    FSettings, HashPool(), bucket->second->Items, classes,
                    [this] { return AbortTest(); }, FScanPieceGate)) {
                break;
            }
            for (std::size_t c = first; c < classes.size(); ++c) {
                for (const TDImage* member : classes[c]) {
                    classOf.emplace(member, c);
                }
            }
        }
        const auto found = classOf.find(a);
        if (found == classOf.end()) {
            continue;
        }
        for (TDImage* b : classes[found->second]) {
            if (b != a) {
                FFinder.AddPair(a, b, 1.0f, false);
            }
        }
    }
    // The workers end before the method does.
    prefetch.reset();
    FFinder.State = fsFinished;
}

// Similar names. The pairs that the loop over every pair of files would join, and their order,
// follow from the earliest class of names that matches each class (TSimilarNames); the classes
// are compared phase by phase on worker threads, one per processor, ahead of the scan thread,
// which then joins the pairs of the phase's files in the loop's order. A stop keeps the groups
// of the files joined so far, as the loop's would; while paused the workers hold between
// blocks of comparisons.
void TDFinderThread::CompareSimilarNames()
{
    FFinder.State = fsComparing;
    FFinder.Progress = 1;

    const std::int32_t count = FFinder.Files.Count();
    std::vector<TDImage*> files;
    std::vector<QString> names;
    files.reserve(std::size_t(count));
    names.reserve(std::size_t(count));
    for (TDImage* file : FFinder.Files) {
        files.push_back(file);
        names.push_back(ComparedName(*file, FSettings.DoNotCompareExt));
    }
    std::vector<QStringView> nameViews(names.begin(), names.end());
    std::vector<const std::string*> exts;
    if (FSettings.ScanEqualExtOnly) {
        exts.reserve(files.size());
        for (const TDImage* file : files) {
            exts.push_back(&file->Ext.Str());
        }
    }
    TSimilarNames::TOptions options;
    options.Threshold = Threshold();
    options.ExactOnly = FSettings.Similarity == 100.0f;
    options.EqualExtOnly = FSettings.ScanEqualExtOnly;
    options.PhaseSize = NamesPhaseSize;
    TSimilarNames similar(nameViews, exts, options);

    std::vector<std::int32_t> partners;
    for (std::int32_t phase = 0; phase < similar.PhaseCount(); ++phase) {
        if (AbortTest()) {
            break;
        }
        const std::size_t jobs =
            similar.BeginPhase(phase, PrefetchJobsPerWorker * std::size_t(FProcessorCount));
        bool complete = true;
        if (jobs > 0) {
            std::vector<std::uint8_t> done(jobs, 0);
            TOrderedPrefetch prefetch(jobs, jobs, WorkersFor(jobs), FSettings.Priority,
                [&similar, &done, this](std::size_t job) {
                    done[job] = similar.RunJob(job, &FWorkerPieceGate) ? 1 : 0;
                },
                &FPause);
            for (std::size_t job = 0; job < jobs && complete; ++job) {
                if (!prefetch.Take(job)) {
                    done[job] = similar.RunJob(job, &FScanPieceGate) ? 1 : 0;
                }
                complete = done[job] != 0;
            }
        }
        if (!complete) {
            // Only a stop ends a job early.
            AbortTest();
            break;
        }
        similar.EndPhase();

        bool stopped = false;
        for (std::int32_t c = similar.PhaseStart(phase); c < similar.PhaseStart(phase + 1); ++c) {
            if (AbortTest()) {
                stopped = true;
                break;
            }
            const std::int32_t i = similar.FilesOf(c)[0];
            PublishProgress(i, count);
            similar.PairsOf(c, partners);
            TDImage* a = files[std::size_t(i)];
            std::int32_t measuredClass = -1;
            double measured = 0.0;
            for (const std::int32_t j : partners) {
                if (AbortTest()) {
                    stopped = true;
                    break;
                }
                TDImage* b = files[std::size_t(j)];
                const std::int32_t classB = similar.ClassOf(j);
                double similarity = 1.0;
                if (classB != c && !options.ExactOnly) {
                    // The same for every file of the class.
                    if (classB != measuredClass) {
                        measured = NameMeasure(names[std::size_t(i)], names[std::size_t(j)]);
                        measuredClass = classB;
                    }
                    similarity = measured;
                }
                a->Similarity = float(similarity);
                b->Similarity = float(similarity);
                FFinder.AddPair(a, b, float(similarity), false);
            }
            if (stopped) {
                break;
            }
        }
        if (stopped) {
            break;
        }
    }
    FFinder.State = fsFinished;
}

// Equal sizes. As with equal content, the first file of each size in the file list takes
// every other file of that size into a new group; the files of a size are gathered once.
void TDFinderThread::CompareEqualSizes()
{
    FFinder.State = fsComparing;
    FFinder.Progress = 1;

    std::unordered_map<std::int64_t, std::vector<TDImage*>> bySize;
    for (TDImage* file : FFinder.Files) {
        bySize[file->Size].push_back(file);
    }
    const std::int32_t count = FFinder.Files.Count();
    for (std::int32_t i = 0; i < count; ++i) {
        if (AbortTest()) {
            break;
        }
        PublishProgress(i, FFinder.Files.Count());
        TDImage* a = FFinder.Files[i];
        if (a->Group.load() != nullptr) {
            continue;
        }
        const std::vector<TDImage*>& sameSize = bySize[a->Size];
        for (TDImage* b : sameSize) {
            if (b != a) {
                FFinder.AddPair(a, b, 1.0f, false);
            }
        }
    }
    FFinder.State = fsFinished;
}

// Similar files. The pairs of files (in file list order) that may reach the threshold are
// gathered a block at a time; a pair is taken when, tested cheapest first: both files have
// content, the extensions agree when they must, the two files are not both grouped already (a
// pair of grouped files could change nothing), the smaller size is at least the threshold's
// share of the larger, the scan goes on, and both files still exist (asked once a block for
// each file). The pairs of a block that share their old file (the smaller) are measured
// together, in batches, on a thread pool of one worker per processor: each chunk of the old
// file is read and sorted once for the batch instead of once a pair. The pool hands a batch
// to a free worker or waits for one, so at most that many run and the buffer pools never run
// dry. Progress runs from 1 to 100 over all pairs.
//
// The next block is gathered while one is measured. Once every batch of a block has ended, its
// pairs are joined into groups from their outcomes, in the order of the pairs: as a loop that
// compares the pairs one after another would join them, so the same files always give the
// same groups, numbers, order and similarities. The groups that decide whether a pair is taken
// are those of the blocks joined before, which can only let through a pair that the loop would
// skip; such a pair is left out of the join.
void TDFinderThread::CompareSimilarFiles()
{
    const std::int32_t workers = FProcessorCount;
    const float similarity = FSettings.Similarity;
    const double threshold = Threshold();

    // Declared before the thread pool, so they outlive every batch on every way out.
    TByteArrayPool chunkPool(4 * workers, ComparerBufferSize);
    TIntArrayPool indexPool(8 * workers, ComparerBufferSize);
    std::mutex doneLock;
    std::condition_variable doneSignal;
    std::size_t running = 0;
    // A block of pairs: in the loop's order, and in batches by old file (the batches handed out
    // point into Batched). One block is gathered while the one before is measured.
    struct TBlock {
        std::vector<TOldFilePair> Pairs;
        std::vector<std::size_t> ByOld;
        std::vector<TOldFilePair> Batched;
    };
    std::array<TBlock, 2> blocks;
    TBlock* gathering = &blocks[0];
    TBlock* measuring = nullptr;
    // The pairs a block gathers before it ends with its row, and the range they keep to.
    const std::size_t fewestBlockPairs = MinBlockPairsPerWorker * std::size_t(workers);
    const std::size_t mostBlockPairs = std::max(fewestBlockPairs,
        std::min(MaxBlockPairsPerWorker * std::size_t(workers), MaxBlockPairs));
    std::size_t blockPairs = fewestBlockPairs;

    TPublishedPool pool(Pool, workers, FSettings.Priority);
    // Hands out the block's pairs to be measured, batched by their old file.
    const auto handOut = [&](TBlock& block) {
        // The pairs by old file, each old file's in a run, in the order of the pairs.
        const std::vector<TOldFilePair>& pairs = block.Pairs;
        block.ByOld.resize(pairs.size());
        std::iota(block.ByOld.begin(), block.ByOld.end(), std::size_t(0));
        std::stable_sort(block.ByOld.begin(), block.ByOld.end(),
            [&pairs](std::size_t x, std::size_t y) {
                return &OldFileOf(*pairs[x].FileA, *pairs[x].FileB) <
                    &OldFileOf(*pairs[y].FileA, *pairs[y].FileB);
            });
        std::vector<TOldFilePair>& batched = block.Batched;
        batched.resize(pairs.size());
        for (std::size_t k = 0; k < pairs.size(); ++k) {
            batched[k] = pairs[block.ByOld[k]];
        }
        for (std::size_t from = 0; from < batched.size();) {
            TDImage* old = &OldFileOf(*batched[from].FileA, *batched[from].FileB);
            std::size_t to = from + 1;
            while (to < batched.size() && to - from < MaxBatchPairs &&
                &OldFileOf(*batched[to].FileA, *batched[to].FileB) == old) {
                ++to;
            }
            {
                std::lock_guard guard(doneLock);
                ++running;
            }
            TTask task = [this, old, batch = std::span(batched).subspan(from, to - from),
                             &chunkPool, &indexPool, similarity, &doneLock, &doneSignal,
                             &running] {
                // The batch is counted as ended on every way out, so nobody waits in vain.
                struct TDone {
                    std::mutex& Lock;
                    std::condition_variable& Signal;
                    std::size_t& Running;
                    ~TDone()
                    {
                        {
                            std::lock_guard guard(Lock);
                            --Running;
                        }
                        Signal.notify_all();
                    }
                } done {doneLock, doneSignal, running};
                // Nothing is compared once the scan is stopped.
                if (!ScanAborted.load()) {
                    MeasureAgainstOldFile(*old, batch, HashPool(), &chunkPool, &indexPool,
                        similarity, &FClosing);
                }
            };
            {
                // While paused no comparison is handed out: the scan thread waits for a free
                // worker or, once one is free, at the gate, and is held up either way.
                TPauseGate::TConsumerWait handingOut(&FPause);
                (*pool).RunTask(std::move(task), [this] { FPause.ConsumerGate(); });
            }
            from = to;
        }
    };
    // Waits until every batch handed out has ended.
    const auto waitForBatches = [&]() {
        {
            std::unique_lock lock(doneLock);
            TPauseGate::TConsumerWait waiting(&FPause);
            doneSignal.wait(lock, [&running] { return running == 0; });
        }
        FPause.ConsumerGate();
    };
    // Joins the block's pairs in their order once every batch of it has ended (the pairs that
    // were not measured, after a stop, join nothing).
    const auto join = [&](TBlock& block) {
        for (std::size_t k = 0; k < block.Batched.size(); ++k) {
            block.Pairs[block.ByOld[k]].Result = block.Batched[k].Result;
        }
        // The pairs the loop would have skipped: both files were grouped when it came to them.
        std::size_t skippable = 0;
        for (const TOldFilePair& pair : block.Pairs) {
            if (pair.FileA->Group.load() != nullptr && pair.FileB->Group.load() != nullptr) {
                ++skippable; // joining it would change nothing
            } else if (pair.Result && double(*pair.Result) >= threshold) {
                FFinder.AddPair(pair.FileA, pair.FileB, *pair.Result, false);
            }
        }
        if (skippable * 8 <= block.Pairs.size()) {
            blockPairs = std::min(2 * blockPairs, mostBlockPairs);
        } else if (skippable * 4 > block.Pairs.size()) {
            blockPairs = std::max(blockPairs / 2, fewestBlockPairs);
        }
        block.Pairs.clear();
    };
    // The block gathered goes out once the one out before has ended and joined.
    std::uint32_t blockNumber = 1;
    const auto nextBlock = [&]() {
        ++blockNumber;
        if (measuring != nullptr) {
            waitForBatches();
            join(*measuring);
        }
        handOut(*gathering);
        measuring = gathering;
        gathering = gathering == &blocks[0] ? &blocks[1] : &blocks[0];
    };

    const std::int64_t count = FFinder.Files.Count();
    // 1 + (2 + 3 + ... + (count - 1)): the number of pairs, and 1 below two files.
    const std::int64_t pairs = count >= 2 ? count * (count - 1) / 2 : 1;
    FFinder.Progress = 1;
    FFinder.State = fsComparing;
    std::int32_t last = -1;
    std::int64_t k = 0;
    // Whether a file still exists is asked once a block: a file that goes while its pairs are
    // measured fails to open, and a failed pair is similar to nothing, as a skipped one.
    std::vector<std::uint32_t> askedInBlock(std::size_t(count), 0);
    std::vector<std::uint8_t> there(std::size_t(count), 0);
    const auto stillThere = [&](std::int32_t index) {
        const auto at = std::size_t(index);
        if (askedInBlock[at] != blockNumber) {
            askedInBlock[at] = blockNumber;
            there[at] = FileExists(FFinder.Files[index]->FullPath()) ? 1 : 0;
        }
        return there[at] != 0;
    };

    bool stopped = false;
    for (std::int32_t i = 0; i < std::int32_t(count) && !stopped; ++i) {
        if (AbortTest()) {
            break;
        }
        TDImage* a = FFinder.Files[i];
        for (std::int32_t j = i + 1; j < std::int32_t(count); ++j) {
            if (AbortTest()) {
                stopped = true;
                break;
            }
            ++k;
            const auto percent = std::int32_t(std::trunc(double(k * 100) / double(pairs)));
            if (percent != last) {
                last = percent;
                FFinder.Progress = percent;
            }

            TDImage* b = FFinder.Files[j];
            if (a->Size <= 0 || b->Size <= 0) {
                continue;
            }
            if (FSettings.ScanEqualExtOnly && a->Ext != b->Ext) {
                continue;
            }
            if (a->Group.load() != nullptr && b->Group.load() != nullptr) {
                continue;
            }
            const auto [smaller, larger] = std::minmax(a->Size, b->Size);
            if (double(smaller) / double(larger) < threshold) {
                continue;
            }
            if (ScanAborted.load()) {
                continue;
            }
            if (!stillThere(i) || !stillThere(j)) {
                continue;
            }
            if (FSettings.EnableLog) {
                Log("Computing diff between: " + a->FullPath() + " and " + b->FullPath());
            }
            gathering->Pairs.push_back({a, b, std::nullopt});
        }
        // A block ends with a row once it holds enough pairs to keep every worker busy.
        if (gathering->Pairs.size() >= blockPairs) {
            nextBlock();
        }
    }
    nextBlock();
    // Every batch handed out has ended once the pool is freed.
    {
        TPauseGate::TConsumerWait waiting(&FPause);
        pool.Free();
    }
    FPause.ConsumerGate();
    join(*measuring);
    FFinder.State = fsFinished;
}
