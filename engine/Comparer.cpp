#include "engine/Comparer.h"

#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/Diff.h"
#include "engine/MemPools.h"
#include "engine/ThreadPool.h"
#include "platform/SysCalls.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <string>

namespace {

// True when a regular file (or a link to one) is at the path.
bool FileExists(const std::string& path)
{
    struct statx info { };
    return platform::Sys().Statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &info) == 0 &&
        S_ISREG(info.stx_mode);
}

// Takes the pool out of the thread's Pool field on every way out of the method.
class TPoolField {
public:
    TPoolField(std::atomic<TThreadPool*>& field, TThreadPool* pool)
        : FField(field)
    {
        FField = pool;
    }
    ~TPoolField() { FField = nullptr; }
    TPoolField(const TPoolField&) = delete;
    TPoolField& operator=(const TPoolField&) = delete;

private:
    std::atomic<TThreadPool*>& FField;
};

} // namespace

TComparer::TComparer(TDImage& fileA, TDImage& fileB, TByteArrayPool* hashPool,
    TByteArrayPool* chunkPool, TIntArrayPool* indexPool, TDFinder& finder, float similarity,
    const std::atomic<bool>* closing)
    : FileA(&fileA)
    , FileB(&fileB)
    , HashPool(hashPool)
    , ChunkPool(chunkPool)
    , IndexPool(indexPool)
    , FFinder(&finder)
    , FSimilarity(similarity)
    , FClosing(closing)
{ }

void TComparer::Run()
{
    if (ScanAborted.load()) {
        return;
    }
    try {
        const float similarity =
            FileSimilarity(*FileA, *FileB, HashPool, ChunkPool, IndexPool, FSimilarity, FClosing);
        if (double(similarity) >= double(FSimilarity) / 100.0) {
            FFinder->AddPair(FileA, FileB, similarity, true);
        }
    } catch (const std::exception&) {
        // The pair stays ungrouped.
    }
}

void CompareSimilarFiles(TDFinderThread& thread)
{
    TDFinder& finder = thread.ScanFinder();
    const TSettings& settings = thread.Settings();
    const std::int32_t workers = thread.ProcessorCount();
    const double threshold = thread.Threshold();

    // Declared before the thread pool, so they outlive every job on every way out.
    TByteArrayPool chunkPool(4 * workers, ComparerBufferSize);
    TIntArrayPool indexPool(8 * workers, ComparerBufferSize);
    auto pool = std::make_unique<TThreadPool>(workers, settings.Priority);
    {
        TPoolField field(thread.Pool, pool.get());

        const std::int64_t count = finder.Files.Count();
        // 1 + (2 + 3 + ... + (count - 1)): the number of pairs, and 1 below two files.
        const std::int64_t pairs = count >= 2 ? count * (count - 1) / 2 : 1;
        finder.Progress = 1;
        finder.State = fsComparing;
        std::int32_t last = -1;
        std::int64_t k = 0;

        bool stopped = false;
        for (std::int32_t i = 0; i < std::int32_t(count) && !stopped; ++i) {
            if (thread.AbortTest()) {
                break;
            }
            TDImage* a = finder.Files[i];
            for (std::int32_t j = i + 1; j < std::int32_t(count); ++j) {
                if (thread.AbortTest()) {
                    stopped = true;
                    break;
                }
                ++k;
                const auto percent = std::int32_t(std::trunc(double(k * 100) / double(pairs)));
                if (percent != last) {
                    last = percent;
                    finder.Progress = percent;
                }

                TDImage* b = finder.Files[j];
                if (a->Size <= 0 || b->Size <= 0) {
                    continue;
                }
                if (settings.ScanEqualExtOnly && a->Ext != b->Ext) {
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
                const std::string pathA = a->FullPath();
                const std::string pathB = b->FullPath();
                if (!FileExists(pathA) || !FileExists(pathB)) {
                    continue;
                }
                thread.Log("Computing diff between: " + pathA + " and " + pathB);
                pool->RunTask(
                    [job = TComparer(*a, *b, thread.HashPool(), &chunkPool, &indexPool, finder,
                         settings.Similarity, &thread.Closing())]() mutable { job.Run(); });
            }
        }
        // Waits until every job handed out has ended.
        pool.reset();
    }
    finder.State = fsFinished;
}
