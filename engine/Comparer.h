#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class TByteArrayPool;
class TDFinder;
class TDFinderThread;
class TDImage;
class TIntArrayPool;

// Size of the comparison's working buffers: one chunk of each file and the suffix and rank
// arrays of a chunk, each one entry longer than a chunk.
inline constexpr std::size_t ComparerBufferSize = 32769;

// One pair of the similar-files method, measured on a pool worker: when the byte-level
// similarity of the two files reaches the threshold, the pair is joined into a group under
// the finder's lock. A plain value that refers to the two records and the pools; it owns
// nothing, and everything it refers to must outlive the pool it runs on.
class TComparer {
public:
    // similarity: the threshold in percent; closing: the scan's closing request (may be null),
    // which stops a comparison between chunk pairs.
    TComparer(TDImage& fileA, TDImage& fileB, TByteArrayPool* hashPool, TByteArrayPool* chunkPool,
        TIntArrayPool* indexPool, TDFinder& finder, float similarity,
        const std::atomic<bool>* closing);

    // The job: nothing when ScanAborted is set; otherwise measures the pair and adds it when
    // it reaches the threshold. A failure leaves the pair ungrouped. Never raises.
    void Run();

    // The file that comes first in the finder's file list, and the other one.
    TDImage* FileA;
    TDImage* FileB;
    TByteArrayPool* HashPool;
    TByteArrayPool* ChunkPool;
    TIntArrayPool* IndexPool;

private:
    TDFinder* FFinder;
    float FSimilarity;
    const std::atomic<bool>* FClosing;
};

// The similar-files method of the scan, run on the scan thread: every pair of files (in file
// list order) that may reach the threshold becomes a TComparer job on a thread pool of one
// worker per processor. The pool hands a job to a free worker or waits for one, so at most
// that many comparisons run and the buffer pools (4 chunk buffers and 8 index buffers per
// worker) never run dry. A pair is handed out only when, tested cheapest first: both files
// have content, the extensions agree when they must, the two files are not both grouped
// already (a pair of grouped files could change nothing), the smaller size is at least the
// threshold's share of the larger, the scan goes on, and both files still exist.
// Progress runs from 1 to 100 over all pairs. Returns when every job handed out has ended;
// Pause stops the hand-out, not the jobs.
void CompareSimilarFiles(TDFinderThread& thread);
