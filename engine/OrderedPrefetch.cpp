#include "engine/OrderedPrefetch.h"

#include "engine/ThreadPool.h"

#include <algorithm>
#include <exception>
#include <utility>

TOrderedPrefetch::TOrderedPrefetch(std::size_t count, std::size_t window, std::int32_t threads,
    std::uint8_t priority, std::function<void(std::size_t)> job, std::function<void()> gate)
    : FJob(std::move(job))
    , FGate(std::move(gate))
    , FWindow(std::max<std::size_t>(1, window))
    , FCount(count)
    , FFinished(count, false)
{
    const auto workers = std::size_t(std::max(0, threads));
    for (std::size_t w = 0; w < workers; ++w) {
        try {
            FWorkers.emplace_back([this, priority] { WorkerLoop(priority); });
        } catch (const std::exception&) {
            // Fewer workers: the consumer does what none of them takes.
            break;
        }
    }
}

TOrderedPrefetch::~TOrderedPrefetch()
{
    {
        std::lock_guard guard(FLock);
        FDone = true;
    }
    FRoom.notify_all();
    for (std::thread& worker : FWorkers) {
        worker.join();
    }
}

void TOrderedPrefetch::Extend(std::size_t count)
{
    {
        std::lock_guard guard(FLock);
        if (count <= FCount) {
            return;
        }
        FCount = count;
        FFinished.resize(count, false);
    }
    FRoom.notify_all();
}

bool TOrderedPrefetch::Take(std::size_t at)
{
    std::unique_lock lock(FLock);
    if (at > FAt) {
        FAt = at;
        FRoom.notify_all();
    }
    if (at >= FNext) {
        FNext = std::max(FNext, at + 1);
        return false;
    }
    FJobDone.wait(lock, [this, at] { return bool(FFinished[at]); });
    return true;
}

void TOrderedPrefetch::WorkerLoop(std::uint8_t priority)
{
    try {
        SetCurrentThreadPriority(priority);
    } catch (...) {
        // The worker runs at the priority it has.
    }
    std::unique_lock lock(FLock);
    for (;;) {
        FRoom.wait(lock, [this] { return FDone || (FNext < FCount && FNext < FAt + FWindow); });
        if (FDone) {
            return;
        }
        const std::size_t job = FNext++;
        lock.unlock();
        if (FGate) {
            FGate();
        }
        FJob(job);
        lock.lock();
        FFinished[job] = true;
        FJobDone.notify_all();
    }
}
