#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A task of the pool: one call without arguments. An empty task is the stop signal that the
// pool sends its own workers; callers never pass one.
using TTask = std::function<void()>;

// Milliseconds after which a running task counts as hung: the longest single wait of RunTask
// for a free worker, and the watchdog's threshold.
inline constexpr std::uint32_t TaskTimeout = 10000;

// Nice values of the worker threads, indexed by the Priority option: idle, lowest, below
// normal, normal, above normal, highest, time critical.
inline constexpr std::array<int, 7> ThreadPriorities = {19, 10, 5, 0, -5, -10, -20};

// Gives the calling thread the nice value of ThreadPriorities at the index (an index past the
// table takes its last entry). Raising the priority needs a right that ordinary users lack;
// the thread then keeps the priority it has, which is not an error.
void SetCurrentThreadPriority(std::uint8_t priorityIndex);

class TThreadPool;

// The time that the pool's watchdog goes by: a millisecond count that wraps at 2^32 like a
// tick counter. The pool reads it, and waits for a free worker through WaitFor, so a test can
// run the watchdog on a clock of its own. A clock whose time can jump calls ClockMoved of
// every pool attached to it after each jump.
class TPoolClock {
public:
    virtual ~TPoolClock() = default;

    virtual std::uint32_t TickCount() = 0;
    // Blocks on cv, whose mutex lock holds, until cv is notified or milliseconds of this
    // clock have passed; may return earlier.
    virtual void WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                         std::uint32_t milliseconds) = 0;
    // A pool attaches itself for its lifetime.
    virtual void Attach(TThreadPool& pool);
    virtual void Detach(TThreadPool& pool);
};

// The steady clock of the machine.
TPoolClock& SystemPoolClock();

// A counting semaphore: a count between 0 and a maximum. A release beyond the maximum has no
// effect.
class TPoolSemaphore {
public:
    TPoolSemaphore(std::int32_t initialCount, std::int32_t maximumCount);
    TPoolSemaphore(const TPoolSemaphore&) = delete;
    TPoolSemaphore& operator=(const TPoolSemaphore&) = delete;

    void Release();
    // Takes one count, waiting as long as it takes.
    void Wait();
    // Takes one count when one comes within milliseconds of the clock; false when none came.
    bool WaitFor(TPoolClock& clock, std::uint32_t milliseconds);
    // Makes a WaitFor in progress look at its clock again.
    void WakeWaiters();

private:
    std::mutex Mutex;
    std::condition_variable Signal;
    std::int32_t Count;
    std::int32_t MaximumCount;
};

// One worker thread of a pool. A slot of the pool holds the worker that takes its tasks; a
// worker whose task overran the watchdog's limit is abandoned: it finishes that task and ends,
// and touches neither its slot nor the pool's DoneSemaphore again.
struct TThreadWorker {
    // Released once per handed-over task, or to deliver the stop signal.
    TPoolSemaphore WakeSemaphore{0, 1};
    // The fields below are guarded by the pool's Lock.
    TTask Task;
    bool Stop = false;
    // 0 idle; -1 reserved for a hand-over; 1 the task has been handed over.
    std::int32_t Busy = 0;
    // Tick at which the current task started; valid while Running.
    std::uint32_t StartTick = 0;
    bool Running = false;
    bool Abandoned = false;
    // An abandoned worker whose task has ended: its thread ends without touching the pool.
    bool Finished = false;
    std::int32_t Index = 0;
    std::thread Thread;
};

// A pool of at most MaxThreads worker threads that run tasks handed over one at a time by a
// single owner thread. There is no queue: RunTask starts a new worker while fewer than
// MaxThreads run, and otherwise waits until a worker is free, so the owner goes at the pace of
// the workers. Every task handed over runs exactly once.
//
// Watchdog: when RunTask has waited TaskTimeout ms for a free worker, a slot whose task has
// run longer than TaskTimeout gets a fresh thread, which takes the new task; the hung task is
// never killed, it runs to its end on its own thread. Each slot has at most one such abandoned
// task at a time, so at most MaxThreads workers take new tasks and at most 2 x MaxThreads
// tasks run at once.
//
// Threads: the owner constructs the pool, calls RunTask and destroys it. Destroying the pool
// waits until every task handed over has ended, abandoned ones included, and joins every
// thread it started. An exception from a task is swallowed; the task counts as finished.
class TThreadPool {
public:
    // clock: the watchdog's time (the system's steady clock when null); it must outlive the
    // pool. maxThreads below 1 counts as 1.
    TThreadPool(std::int32_t maxThreads, std::uint8_t priorityIndex,
                TPoolClock* clock = nullptr);
    ~TThreadPool();
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    // Hands the task to a worker and returns as soon as it has been handed over; waits while
    // every worker is busy. An empty task is ignored. beforeHandOver (may be empty) runs on
    // the caller's thread once a worker is free for the task, right before it is handed over:
    // it may wait (while the caller's work is paused); the worker stays reserved meanwhile.
    void RunTask(TTask task, const std::function<void()>& beforeHandOver = {});

    // Called by a clock whose time jumped: a RunTask waiting for a worker looks at it again.
    void ClockMoved();

    std::int32_t MaxThreads() const { return FMaxThreads; }

private:
    // One place for a worker taking new tasks, and the abandoned worker it replaced.
    struct TSlot {
        std::unique_ptr<TThreadWorker> Current;
        std::unique_ptr<TThreadWorker> Retired;
    };

    // All four run under Lock.
    std::int32_t StartWorker();
    std::int32_t FindWorker(bool watchdog, std::unique_ptr<TThreadWorker>& toJoin);
    std::unique_ptr<TThreadWorker> NewWorker(std::int32_t index);
    bool LaunchThread(TThreadWorker& worker);

    void HandOver(std::int32_t slot, TTask task);
    void WorkerLoop(TThreadWorker& worker);

    std::int32_t FMaxThreads;
    // Workers started so far; slots 0 .. StartedCount-1 are in use. Guarded by Lock.
    std::int32_t StartedCount = 0;
    // Set when a thread cannot be started: no further worker is started. Guarded by Lock.
    bool StartFailed = false;
    std::vector<TSlot> Workers;
    // Released by a worker after each finished task: its count is the number of idle workers.
    TPoolSemaphore DoneSemaphore;
    std::uint8_t PriorityIndex;
    // This pool is being destroyed: a worker that finishes a task now ends. Guarded by Lock.
    bool Terminating = false;
    TPoolClock& Clock;
    // Guards the slots and the workers' state; never held while a task runs or while
    // waiting on a semaphore.
    std::mutex Lock;
};
