#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Runs numbered jobs ahead of one consuming thread on a few worker threads of their own, so
// that the consumer finds most of its work done when it comes to it, yet takes the results
// over in its own order.
//
// Jobs are numbered from 0; Extend makes more of them known (a walk that discovers its work as
// it goes). The workers take the known jobs in order, never more than the window past the job
// that the consumer is at. The consumer calls Take for each job it comes to: when no worker has
// taken the job, none ever will and the consumer does the job itself; otherwise Take waits
// until the worker has finished it. Before each job a worker calls the gate, which may block
// (while a scan is paused, say). The destructor lets the workers finish the jobs they hold and
// joins them. A job and the gate must not raise.
//
// Threads: Extend and Take belong to the consumer. A job runs on a worker or, through the
// consumer's own call after Take answered false, on the consumer; what a worker's job wrote is
// visible to the consumer once Take returned true.
class TOrderedPrefetch {
public:
    // job(n) does job n. threads: how many workers (none when 0 or less: the consumer does
    // every job). priority: the workers' priority level (SetCurrentThreadPriority).
    TOrderedPrefetch(std::size_t count, std::size_t window, std::int32_t threads,
        std::uint8_t priority, std::function<void(std::size_t)> job,
        std::function<void()> gate = {});
    ~TOrderedPrefetch();
    TOrderedPrefetch(const TOrderedPrefetch&) = delete;
    TOrderedPrefetch& operator=(const TOrderedPrefetch&) = delete;

    // Jobs 0 to count - 1 exist from now on (a smaller count changes nothing).
    void Extend(std::size_t count);
    // True when a worker did job at (it has finished); false when the caller is to do it.
    bool Take(std::size_t at);

private:
    void WorkerLoop(std::uint8_t priority);

    std::function<void(std::size_t)> FJob;
    std::function<void()> FGate;
    std::size_t FWindow;
    // The fields below are guarded by FLock.
    std::size_t FCount = 0;
    std::vector<bool> FFinished;
    std::size_t FNext = 0;
    std::size_t FAt = 0;
    bool FDone = false;
    std::mutex FLock;
    // Workers wait here for a job in the window (or the end); the consumer for a job.
    std::condition_variable FRoom;
    std::condition_variable FJobDone;
    std::vector<std::thread> FWorkers;
};
