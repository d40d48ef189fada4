#include "engine/OrderedPrefetch.h"

#include "engine/PauseGate.h"
#include "engine/ThreadPool.h"

#include <algorithm>
#include <cassert>
#include <exception>
#include <utility>

TOrderedPrefetch::TOrderedPrefetch(std::size_t count, std::size_t window, std::int32_t threads,
    std::uint8_t priority, std::function<void(std::size_t)> job, TPauseGate* pause)
    : FJob(std::move(job))
    , FPause(pause)
    , FWindow(std::max<std::size_t>(1, window))
    , FCount(count)
    , FStates(count, jsOpen)
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
    FCancelled = true;
    if (FPause != nullptr) {
        FPause->Wake();
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
        FStates.resize(count, jsOpen);
    }
    FRoom.notify_all();
}

bool TOrderedPrefetch::Take(std::size_t at)
{
    bool done = false;
    {
        std::unique_lock lock(FLock);
        assert(!FTookAny || at > FLastTaken);
        FTookAny = true;
        FLastTaken = at;
        if (at > FAt) {
            FAt = at;
            FRoom.notify_all();
        }
        if (at >= FNext) {
            // Every job before it that no worker took is passed over for good.
            FNext = at + 1;
            return false;
        }
        if (FStates[at] == jsOpen) {
            // Passed over by an earlier Take: nobody will do it but the caller.
            return false;
        }
        TPauseGate::TConsumerWait waiting(FPause);
        FJobDone.wait(
            lock, [this, at] { return FStates[at] == jsDone || FStates[at] == jsFailed; });
        done = FStates[at] == jsDone;
    }
    // Held up while the work is paused before going on with what the worker did.
    if (FPause != nullptr) {
        FPause->ConsumerGate();
    }
    return done;
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
        FStates[job] = jsRunning;
        lock.unlock();
        bool ran = false;
        try {
            if (FPause == nullptr || FPause->BeginWork(&FCancelled)) {
                try {
                    FJob(job);
                    ran = true;
                } catch (...) {
                    // The consumer does the job again.
                }
                if (FPause != nullptr) {
                    FPause->EndWork();
                }
            }
        } catch (...) {
            // The gate failed: the job was not run.
        }
        lock.lock();
        FStates[job] = ran ? jsDone : jsFailed;
        FJobDone.notify_all();
    }
}
