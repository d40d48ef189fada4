#include "engine/Comparer.h"

#include "engine/Diff.h"

#include <exception>
#include <optional>

TComparer::TComparer(TPairOutcome& outcome, TByteArrayPool* hashPool, TByteArrayPool* chunkPool,
    TIntArrayPool* indexPool, float similarity, const std::atomic<bool>& aborted,
    const std::atomic<bool>* closing)
    : FileA(outcome.FileA)
    , FileB(outcome.FileB)
    , HashPool(hashPool)
    , ChunkPool(chunkPool)
    , IndexPool(indexPool)
    , FOutcome(&outcome)
    , FSimilarity(similarity)
    , FAborted(&aborted)
    , FClosing(closing)
{ }

void TComparer::Run()
{
    FOutcome->Measured = false;
    if (FAborted->load()) {
        return;
    }
    try {
        const std::optional<float> similarity = MeasureFileSimilarity(
            *FileA, *FileB, HashPool, ChunkPool, IndexPool, FSimilarity, FClosing);
        if (similarity) {
            FOutcome->Similarity = *similarity;
            FOutcome->Measured = true;
        }
    } catch (const std::exception&) {
        // Not measured: the pair stays ungrouped.
    }
}
