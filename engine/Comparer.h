#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class TByteArrayPool;
class TDImage;
class TIntArrayPool;

// Size of the comparison's working buffers: one chunk of each file and the suffix and rank
// arrays of a chunk, each one entry longer than a chunk.
inline constexpr std::size_t ComparerBufferSize = 32769;

// What the job of one pair of the similar-files method found. The job fills it in on a pool
// worker and then sets Finished (under the lock of whoever waits for it); the scan thread
// reads the rest only once Finished is set.
struct TPairOutcome {
    TPairOutcome(TDImage& fileA, TDImage& fileB)
        : FileA(&fileA)
        , FileB(&fileB)
    { }

    // True when the pair is a match at the threshold (in percent): it was measured and its
    // similarity reaches threshold / 100. A pair that was not compared, or whose comparison
    // failed, is never a match, whatever the threshold.
    bool Matches(float threshold) const
    {
        return Measured && double(Similarity) >= double(threshold) / 100.0;
    }

    TDImage* FileA;
    TDImage* FileB;
    float Similarity = 0.0f;
    // False when the pair was not compared (the scan was stopped) or the comparison failed (a
    // file could not be read or had shrunk, or the program is closing).
    bool Measured = false;
    bool Finished = false;
};

// The job of one pair of the similar-files method, run on a pool worker: measures the
// byte-level similarity of the two files into the pair's outcome. The scan thread joins the
// pairs into groups from the outcomes, in the order of the pairs. A plain value that refers to
// the outcome, the two records and the pools; it owns nothing, and everything it refers to
// must outlive the pool it runs on.
class TComparer {
public:
    // similarity: the threshold in percent; aborted: the scan's stop flag, read before the
    // comparison begins; closing: the scan's closing request (may be null), which stops a
    // comparison between chunk pairs.
    TComparer(TPairOutcome& outcome, TByteArrayPool* hashPool, TByteArrayPool* chunkPool,
        TIntArrayPool* indexPool, float similarity, const std::atomic<bool>& aborted,
        const std::atomic<bool>* closing);

    // The job: nothing is compared when the stop flag is set; otherwise measures the pair.
    // Fills in the outcome but for Finished, which the caller sets. Never raises.
    void Run();

    // The file that comes first in the finder's file list, and the other one.
    TDImage* FileA;
    TDImage* FileB;
    TByteArrayPool* HashPool;
    TByteArrayPool* ChunkPool;
    TIntArrayPool* IndexPool;

private:
    TPairOutcome* FOutcome;
    float FSimilarity;
    const std::atomic<bool>* FAborted;
    const std::atomic<bool>* FClosing;
};
