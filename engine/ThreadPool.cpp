#include "engine/ThreadPool.h"

#include "platform/SysCalls.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <exception>

namespace {

// Runs a task and swallows whatever it throws: an exception never leaves a worker.
void RunGuarded(TTask& task)
{
    try {
        task();
    } catch (...) {
        // The task counts as finished; the pool has nobody to report to.
    }
}

class TSteadyPoolClock : public TPoolClock {
public:
    std::uint32_t TickCount() override
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                 std::uint32_t milliseconds) override
    {
        cv.wait_for(lock, std::chrono::milliseconds(milliseconds));
    }
};

} // namespace

void SetCurrentThreadPriority(std::uint8_t priorityIndex)
{
    const std::size_t index = std::min<std::size_t>(priorityIndex, ThreadPriorities.size() - 1);
    platform::TSysCalls& sys = platform::Sys();
    // A failure (EACCES or EPERM when raising it without the right) leaves the priority as
    // it is.
    (void)sys.SetPriority(PRIO_PROCESS, id_t(sys.GetTid()), ThreadPriorities[index]);
}

void TPoolClock::Attach(TThreadPool&) {}

void TPoolClock::Detach(TThreadPool&) {}

TPoolClock& SystemPoolClock()
{
    static TSteadyPoolClock clock;
    return clock;
}

TPoolSemaphore::TPoolSemaphore(std::int32_t initialCount, std::int32_t maximumCount)
    : Count(std::max(0, std::min(initialCount, maximumCount))), MaximumCount(maximumCount)
{
}

void TPoolSemaphore::Release()
{
    {
        std::lock_guard guard(Mutex);
        if (Count >= MaximumCount) {
            return;
        }
        ++Count;
    }
    Signal.notify_one();
}

void TPoolSemaphore::Wait()
{
    std::unique_lock lock(Mutex);
    Signal.wait(lock, [this] { return Count > 0; });
    --Count;
}

bool TPoolSemaphore::WaitFor(TPoolClock& clock, std::uint32_t milliseconds)
{
    std::unique_lock lock(Mutex);
    const std::uint32_t start = clock.TickCount();
    while (Count == 0) {
        const std::uint32_t elapsed = clock.TickCount() - start;
        if (elapsed >= milliseconds) {
            return false;
        }
        clock.WaitFor(Signal, lock, milliseconds - elapsed);
    }
    --Count;
    return true;
}

void TPoolSemaphore::WakeWaiters()
{
    // Taking the mutex orders this after a waiter's look at the clock: the waiter either saw
    // the new time or is already waiting when the notification comes.
    std::lock_guard guard(Mutex);
    Signal.notify_all();
}

TThreadPool::TThreadPool(std::int32_t maxThreads, std::uint8_t priorityIndex, TPoolClock* clock)
    : FMaxThreads(std::max(1, maxThreads)),
      Workers(std::size_t(FMaxThreads)),
      DoneSemaphore(0, 2 * FMaxThreads),
      PriorityIndex(priorityIndex),
      Clock(clock != nullptr ? *clock : SystemPoolClock())
{
    Clock.Attach(*this);
}

TThreadPool::~TThreadPool()
{
    Clock.Detach(*this);

    // Idle workers get the stop signal; busy ones end by themselves after their task, since
    // they find Terminating set. The choice is made under the lock, where workers go idle.
    std::vector<TThreadWorker*> idle;
    {
        std::lock_guard guard(Lock);
        Terminating = true;
        for (std::int32_t i = 0; i < StartedCount; ++i) {
            TThreadWorker& worker = *Workers[std::size_t(i)].Current;
            if (worker.Busy == 0) {
                worker.Stop = true;
                idle.push_back(&worker);
            }
        }
    }
    for (TThreadWorker* worker : idle) {
        worker->WakeSemaphore.Release();
    }

    // Every thread ever started is joined, abandoned ones too, so no task can still touch
    // the caller's objects once the pool is gone. Only this thread changes the slots.
    for (std::int32_t i = 0; i < StartedCount; ++i) {
        TSlot& slot = Workers[std::size_t(i)];
        for (TThreadWorker* worker : {slot.Current.get(), slot.Retired.get()}) {
            if (worker != nullptr && worker->Thread.joinable()) {
                worker->Thread.join();
            }
        }
    }
}

void TThreadPool::RunTask(TTask task, const std::function<void()>& beforeHandOver)
{
    if (!task) {
        return;
    }
    std::int32_t slot = -1;
    bool haveWorkers = false;
    {
        std::lock_guard guard(Lock);
        if (StartedCount < FMaxThreads && !StartFailed) {
            slot = StartWorker();
        }
        haveWorkers = StartedCount > 0;
    }
    if (slot < 0 && !haveWorkers) {
        // Not a single thread could be started: the task runs here rather than not at all.
        if (beforeHandOver) {
            beforeHandOver();
        }
        RunGuarded(task);
        return;
    }
    // Waits until a worker takes the task: a signal means a worker went idle; a wait that
    // times out lets the watchdog look for a hung one. Neither ever drops the task.
    while (slot < 0) {
        const bool signalled = DoneSemaphore.WaitFor(Clock, TaskTimeout);
        std::unique_ptr<TThreadWorker> ended;
        {
            std::lock_guard guard(Lock);
            slot = FindWorker(!signalled, ended);
        }
        if (ended != nullptr && ended->Thread.joinable()) {
            ended->Thread.join();
        }
    }
    if (beforeHandOver) {
        try {
            beforeHandOver();
        } catch (...) {
            // The reserved worker must not be lost: the task is handed over all the same.
            HandOver(slot, std::move(task));
            throw;
        }
    }
    HandOver(slot, std::move(task));
}

void TThreadPool::ClockMoved()
{
    DoneSemaphore.WakeWaiters();
}

std::unique_ptr<TThreadWorker> TThreadPool::NewWorker(std::int32_t index)
{
    auto worker = std::make_unique<TThreadWorker>();
    worker->Index = index;
    worker->Busy = -1;
    return worker;
}

bool TThreadPool::LaunchThread(TThreadWorker& worker)
{
    try {
        worker.Thread = std::thread([this, &worker] { WorkerLoop(worker); });
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::int32_t TThreadPool::StartWorker()
{
    std::unique_ptr<TThreadWorker> worker;
    try {
        worker = NewWorker(StartedCount);
    } catch (const std::exception&) {
        StartFailed = true;
        return -1;
    }
    if (!LaunchThread(*worker)) {
        StartFailed = true;
        return -1;
    }
    Workers[std::size_t(StartedCount)].Current = std::move(worker);
    return StartedCount++;
}

std::int32_t TThreadPool::FindWorker(bool watchdog, std::unique_ptr<TThreadWorker>& toJoin)
{
    if (!watchdog) {
        for (std::int32_t i = 0; i < StartedCount; ++i) {
            TThreadWorker& worker = *Workers[std::size_t(i)].Current;
            if (worker.Busy == 0) {
                worker.Busy = -1;
                return i;
            }
        }
        return -1;
    }

    // The walk goes over the busy slots in order and ends at the first idle one (whose
    // DoneSemaphore count the next wait takes at once).
    const std::uint32_t now = Clock.TickCount();
    for (std::int32_t i = 0; i < StartedCount; ++i) {
        TSlot& slot = Workers[std::size_t(i)];
        TThreadWorker& worker = *slot.Current;
        if (worker.Busy == 0) {
            return -1;
        }
        if (!worker.Running || std::uint32_t(now - worker.StartTick) <= TaskTimeout) {
            continue;
        }
        // A slot whose earlier abandoned task still runs is not taken over again: this keeps
        // the tasks running at once to two per slot.
        if (slot.Retired != nullptr && !slot.Retired->Finished) {
            continue;
        }
        std::unique_ptr<TThreadWorker> fresh;
        try {
            fresh = NewWorker(i);
        } catch (const std::exception&) {
            return -1;
        }
        if (!LaunchThread(*fresh)) {
            return -1;
        }
        // The hung worker finishes its task on its own thread and then ends; its earlier
        // predecessor has ended already and is joined by the caller.
        worker.Abandoned = true;
        toJoin = std::move(slot.Retired);
        slot.Retired = std::move(slot.Current);
        slot.Current = std::move(fresh);
        return i;
    }
    return -1;
}

void TThreadPool::HandOver(std::int32_t slot, TTask task)
{
    TThreadWorker* worker = nullptr;
    {
        std::lock_guard guard(Lock);
        worker = Workers[std::size_t(slot)].Current.get();
        worker->Busy = 1;
        worker->Task = std::move(task);
    }
    worker->WakeSemaphore.Release();
}

void TThreadPool::WorkerLoop(TThreadWorker& worker)
{
    SetCurrentThreadPriority(PriorityIndex);
    for (;;) {
        worker.WakeSemaphore.Wait();
        TTask task;
        {
            std::lock_guard guard(Lock);
            if (worker.Stop) {
                worker.Busy = 0;
                return;
            }
            task = std::move(worker.Task);
            worker.Task = nullptr;
            worker.StartTick = Clock.TickCount();
            worker.Running = true;
        }
        RunGuarded(task);
        // What the task holds is let go before the task counts as finished.
        task = nullptr;

        bool leave = false;
        {
            std::lock_guard guard(Lock);
            worker.Running = false;
            worker.StartTick = 0;
            if (worker.Abandoned) {
                // Replaced meanwhile: the slot and DoneSemaphore belong to the new worker.
                worker.Finished = true;
                return;
            }
            worker.Busy = 0;
            leave = Terminating;
        }
        DoneSemaphore.Release();
        if (leave) {
            return;
        }
    }
}
