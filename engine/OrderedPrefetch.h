#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TPauseGate;

// Runs numbered jobs ahead of one consuming thread on a few worker threads of their own, so
// that the consumer finds most of its work done when it comes to it, yet takes the results
// over in its own order.
//
// Jobs are numbered from 0; Extend makes more of them known (a walk that discovers its work as
// it goes). The workers take the known jobs in order, never more than the window past the job
// that the consumer is at. The consumer calls Take for each job it comes to, in increasing
// order: when no worker has taken the job, none ever will and the consumer does the job itself;
// otherwise Take waits until the worker has finished it. A job that raised counts as not done:
// Take answers false and the consumer does it again. Each job runs at most once on a worker.
//
// With a pause gate, the workers are its helpers: they begin each job through it (so they wait
// there while the work is paused) and the job's own piece gates end it early when the prefetch
// is destroyed; the consumer's wait in Take counts as its wait for them, and it passes its own
// gate before Take returns. The destructor lets the workers end the jobs they hold and joins
// them.
//
// Threads: Extend and Take belong to the consumer. A job runs on a worker or, through the
// consumer's own call after Take answered false, on the consumer; what a worker's job wrote is
// visible to the consumer once Take returned true.
class TOrderedPrefetch {
public:
    // job(n) does job n. threads: how many workers (none when 0 or less: the consumer does
    // every job). priority: the workers' priority level (SetCurrentThreadPriority). pause: the
    // pause the workers heed (may be null); it must outlive the prefetch.
    TOrderedPrefetch(std::size_t count, std::size_t window, std::int32_t threads,
        std::uint8_t priority, std::function<void(std::size_t)> job, TPauseGate* pause = nullptr);
    ~TOrderedPrefetch();
    TOrderedPrefetch(const TOrderedPrefetch&) = delete;
    TOrderedPrefetch& operator=(const TOrderedPrefetch&) = delete;

    // Jobs 0 to count - 1 exist from now on (a smaller count changes nothing).
    void Extend(std::size_t count);
    // True when a worker did job at (it has finished); false when the caller is to do it.
    // Precondition: at is greater than every job taken before.
    bool Take(std::size_t at);

private:
    enum TJobState : std::uint8_t {
        jsOpen, // no worker has taken it (yet)
        jsRunning, // a worker holds it
        jsDone, // a worker did it
        jsFailed, // a worker's run raised, or was cancelled: the consumer does it
    };

    void WorkerLoop(std::uint8_t priority);

    std::function<void(std::size_t)> FJob;
    TPauseGate* FPause;
    std::size_t FWindow;
    // Set by the destructor: workers waiting to begin a job give it up, running jobs end at
    // their next piece gate.
    std::atomic<bool> FCancelled {false};
    // The fields below are guarded by FLock.
    std::size_t FCount = 0;
    std::vector<TJobState> FStates;
    std::size_t FNext = 0;
    std::size_t FAt = 0;
    bool FTookAny = false;
    std::size_t FLastTaken = 0;
    bool FDone = false;
    std::mutex FLock;
    // Workers wait here for a job in the window (or the end); the consumer for a job.
    std::condition_variable FRoom;
    std::condition_variable FJobDone;
    std::vector<std::thread> FWorkers;
};
