#include "engine/ThreadPool.h"

#include "platform/SysCalls.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A door that tasks wait at until the test opens it.
class TGate {
public:
    void Open()
    {
        {
            std::lock_guard guard(FMutex);
            FOpen = true;
        }
        FChanged.notify_all();
    }
    void Wait()
    {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [this] { return FOpen; });
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FOpen = false;
};

// What one task did: how often it started and ended, and on which thread.
class TTaskRecord {
public:
    void Started()
    {
        std::lock_guard guard(FMutex);
        ++FStarts;
        FThread = std::this_thread::get_id();
        FChanged.notify_all();
    }
    void Ended()
    {
        std::lock_guard guard(FMutex);
        ++FEnds;
        FChanged.notify_all();
    }
    void WaitStarted()
    {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [this] { return FStarts > 0; });
    }
    void WaitEnded()
    {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [this] { return FEnds > 0; });
    }
    int Starts()
    {
        std::lock_guard guard(FMutex);
        return FStarts;
    }
    int Ends()
    {
        std::lock_guard guard(FMutex);
        return FEnds;
    }
    std::thread::id Thread()
    {
        std::lock_guard guard(FMutex);
        return FThread;
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    int FStarts = 0;
    int FEnds = 0;
    std::thread::id FThread;
};

// A task that records itself and, when given a gate, waits at it before it ends.
TTask RecordedTask(TTaskRecord& record, TGate* gate = nullptr)
{
    return [&record, gate] {
        record.Started();
        if (gate != nullptr) {
            gate->Wait();
        }
        record.Ended();
    };
}

// A clock that stands still until the test moves it. It tells the test when a RunTask has
// begun to wait for a free worker, and at which tick.
class TFakeClock : public TPoolClock {
public:
    explicit TFakeClock(std::uint32_t start) : FNow(start) {}

    std::uint32_t TickCount() override { return FNow.load(); }
    void WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                 std::uint32_t) override
    {
        {
            std::lock_guard guard(FWaitsMutex);
            ++FWaits;
            FWaitTicks.push_back(FNow.load());
        }
        FWaitsChanged.notify_all();
        cv.wait(lock);
    }
    void Attach(TThreadPool& pool) override
    {
        std::lock_guard guard(FPoolsMutex);
        FPools.push_back(&pool);
    }
    void Detach(TThreadPool& pool) override
    {
        std::lock_guard guard(FPoolsMutex);
        std::erase(FPools, &pool);
    }

    void Advance(std::uint32_t milliseconds)
    {
        std::lock_guard guard(FPoolsMutex);
        FNow += milliseconds;
        for (TThreadPool* pool : FPools) {
            pool->ClockMoved();
        }
    }
    // Blocks until a wait for a worker has begun at the tick.
    void WaitForWaitAt(std::uint32_t tick)
    {
        std::unique_lock lock(FWaitsMutex);
        FWaitsChanged.wait(lock, [&] { return HasWaitAt(tick); });
    }
    // Blocks until a wait has begun at the tick or done is set (whoever sets it calls
    // Poke); true when done was set.
    bool WaitForWaitAtOr(std::uint32_t tick, const std::atomic<bool>& done)
    {
        std::unique_lock lock(FWaitsMutex);
        FWaitsChanged.wait(lock, [&] { return done.load() || HasWaitAt(tick); });
        return done.load();
    }
    void Poke()
    {
        std::lock_guard guard(FWaitsMutex);
        FWaitsChanged.notify_all();
    }
    int Waits()
    {
        std::lock_guard guard(FWaitsMutex);
        return FWaits;
    }

private:
    bool HasWaitAt(std::uint32_t tick) const
    {
        return std::find(FWaitTicks.begin(), FWaitTicks.end(), tick) != FWaitTicks.end();
    }

    std::atomic<std::uint32_t> FNow;
    std::mutex FPoolsMutex;
    std::vector<TThreadPool*> FPools;
    std::mutex FWaitsMutex;
    std::condition_variable FWaitsChanged;
    int FWaits = 0;
    std::vector<std::uint32_t> FWaitTicks;
};

// Records the priority requests of the worker threads and refuses them, as for a user who
// may not raise a priority.
class TPriorityCalls : public platform::TSysCalls {
public:
    struct TRequest {
        int Which;
        id_t Who;
        int Priority;
    };
    int SetPriority(int which, id_t who, int priority) override
    {
        std::lock_guard guard(FMutex);
        FRequests.push_back({which, who, priority});
        errno = EACCES;
        return -1;
    }
    std::vector<TRequest> Requests()
    {
        std::lock_guard guard(FMutex);
        return FRequests;
    }

private:
    std::mutex FMutex;
    std::vector<TRequest> FRequests;
};

// The pool's owner handing one task over on a thread of its own, so that the test can watch
// it wait. HandedOver is set (and the clock poked) once RunTask has returned.
class TOwner {
public:
    TOwner(TThreadPool& pool, TFakeClock& clock, TTask task)
        : FThread([this, &pool, &clock, task = std::move(task)]() mutable {
              pool.RunTask(std::move(task));
              HandedOver = true;
              clock.Poke();
          })
    {
    }
    ~TOwner() { Join(); }
    TOwner(const TOwner&) = delete;
    TOwner& operator=(const TOwner&) = delete;

    void Join()
    {
        if (FThread.joinable()) {
            FThread.join();
        }
    }

    std::atomic<bool> HandedOver{false};

private:
    std::thread FThread;
};

} // namespace

TEST(ThreadPool, StartsOneWorkerPerTaskUpToItsMaximumThenWaitsForATaskToEnd)
{
    constexpr int Workers = 3;
    TFakeClock clock(5000);
    TGate gates[Workers];
    TTaskRecord running[Workers];
    TTaskRecord extra;
    TThreadPool pool(Workers, 3, &clock);

    for (int i = 0; i < Workers; ++i) {
        pool.RunTask(RecordedTask(running[i], &gates[i]));
    }
    for (auto& record : running) {
        record.WaitStarted();
    }
    EXPECT_NE(running[0].Thread(), running[1].Thread());
    EXPECT_NE(running[1].Thread(), running[2].Thread());
    EXPECT_NE(running[0].Thread(), running[2].Thread());
    EXPECT_EQ(clock.Waits(), 0) << "a call with a worker left to start waited";

    TOwner owner(pool, clock, RecordedTask(extra));
    EXPECT_FALSE(clock.WaitForWaitAtOr(5000, owner.HandedOver))
        << "the call returned while every worker was busy";
    EXPECT_EQ(extra.Starts(), 0);

    gates[1].Open();
    owner.Join();
    extra.WaitEnded();
    EXPECT_EQ(extra.Thread(), running[1].Thread()) << "the freed worker takes the task";

    gates[0].Open();
    gates[2].Open();
}

TEST(ThreadPool, RunsEveryTaskExactlyOnceAndSurvivesTasksThatThrow)
{
    constexpr int Tasks = 400;
    std::vector<std::atomic<int>> runs(Tasks);
    {
        TThreadPool pool(4, 3);
        for (int i = 0; i < Tasks; ++i) {
            pool.RunTask([&runs, i] {
                ++runs[std::size_t(i)];
                if (i % 7 == 0) {
                    throw std::runtime_error("task failed");
                }
                if (i % 11 == 0) {
                    throw 42;
                }
            });
        }
    }
    for (int i = 0; i < Tasks; ++i) {
        EXPECT_EQ(runs[std::size_t(i)].load(), 1) << "task " << i;
    }
}

TEST(ThreadPool, AWorkerWhoseTaskThrewTakesTheNextTask)
{
    TFakeClock clock(1000);
    TTaskRecord first;
    TTaskRecord second;
    TTaskRecord third;
    TThreadPool pool(1, 3, &clock);
    pool.RunTask([&] {
        first.Started();
        throw std::runtime_error("failed");
    });
    pool.RunTask([&] {
        second.Started();
        throw 7;
    });
    pool.RunTask(RecordedTask(third));
    third.WaitEnded();
    EXPECT_EQ(first.Starts(), 1);
    EXPECT_EQ(second.Starts(), 1);
    EXPECT_EQ(second.Thread(), first.Thread());
    EXPECT_EQ(third.Thread(), first.Thread()) << "the worker was replaced instead of reused";
}

struct TWatchdogCase {
    const char* Name;
    std::uint32_t StartTick;
    // How long the hung task has run when the owner begins to wait; the wait itself lasts
    // TaskTimeout.
    std::uint32_t RunBeforeWait;
    bool TakenOver;
};

class ThreadPoolWatchdog : public ::testing::TestWithParam<TWatchdogCase> {};

TEST_P(ThreadPoolWatchdog, TakesOverOnlyATaskThatRanLongerThanTheTimeOut)
{
    const TWatchdogCase& c = GetParam();
    TFakeClock clock(c.StartTick);
    TGate hungGate;
    TTaskRecord hung;
    TTaskRecord waiting;
    TTaskRecord later;
    {
        TThreadPool pool(1, 3, &clock);
        pool.RunTask(RecordedTask(hung, &hungGate));
        hung.WaitStarted();
        clock.Advance(c.RunBeforeWait);

        TOwner owner(pool, clock, RecordedTask(waiting));
        const std::uint32_t waitStart = c.StartTick + c.RunBeforeWait;
        clock.WaitForWaitAt(waitStart);
        clock.Advance(TaskTimeout);
        // Either the task went to a fresh thread, or the owner waits once more.
        const bool tookOver = clock.WaitForWaitAtOr(waitStart + TaskTimeout, owner.HandedOver);
        EXPECT_EQ(tookOver, c.TakenOver);
        if (tookOver) {
            waiting.WaitEnded();
            EXPECT_EQ(hung.Ends(), 0);
            EXPECT_NE(waiting.Thread(), hung.Thread());
        } else {
            EXPECT_EQ(waiting.Starts(), 0);
        }
        hungGate.Open();
        owner.Join();
        waiting.WaitEnded();
        hung.WaitEnded();
        if (tookOver) {
            // The abandoned worker takes no new work.
            pool.RunTask(RecordedTask(later));
            later.WaitEnded();
            EXPECT_EQ(later.Thread(), waiting.Thread());
        } else {
            EXPECT_EQ(waiting.Thread(), hung.Thread());
        }
    }
    EXPECT_EQ(hung.Starts(), 1);
    EXPECT_EQ(hung.Ends(), 1);
    EXPECT_EQ(waiting.Starts(), 1);
    EXPECT_EQ(waiting.Ends(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThreadPoolWatchdog,
    ::testing::Values(TWatchdogCase{"Ran10000ms", 1000, 0, false},
                      TWatchdogCase{"Ran10001ms", 1000, 1, true},
                      TWatchdogCase{"Ran10000msAcrossTheTickWrap", 0xFFFFF000u, 0, false},
                      TWatchdogCase{"Ran10001msAcrossTheTickWrap", 0xFFFFF000u, 1, true}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(ThreadPool, AReplacedSlotIsNotTakenOverAgainWhileItsAbandonedTaskRuns)
{
    TFakeClock clock(1000);
    TGate gates[3];
    TTaskRecord tasks[3];
    {
        TThreadPool pool(1, 3, &clock);
        pool.RunTask(RecordedTask(tasks[0], &gates[0]));
        tasks[0].WaitStarted();
        clock.Advance(1);
        // The second task takes the slot over from the first, then hangs as well.
        {
            TOwner owner(pool, clock, RecordedTask(tasks[1], &gates[1]));
            clock.WaitForWaitAt(1001);
            clock.Advance(TaskTimeout);
        }
        tasks[1].WaitStarted();

        // Both have run past the limit, but the first still runs: the third task waits.
        clock.Advance(TaskTimeout + 1);
        TOwner owner(pool, clock, RecordedTask(tasks[2]));
        std::uint32_t waitStart = 1001 + 2 * TaskTimeout + 1;
        clock.WaitForWaitAt(waitStart);
        clock.Advance(TaskTimeout);
        waitStart += TaskTimeout;
        EXPECT_FALSE(clock.WaitForWaitAtOr(waitStart, owner.HandedOver))
            << "more than two tasks of one slot ran at once";
        EXPECT_EQ(tasks[2].Starts(), 0);

        // Once the first has ended, a later time-out takes the slot over again (the first's
        // thread may still be on its way out at the next one).
        gates[0].Open();
        tasks[0].WaitEnded();
        do {
            clock.Advance(TaskTimeout);
            waitStart += TaskTimeout;
        } while (!clock.WaitForWaitAtOr(waitStart, owner.HandedOver));
        owner.Join();
        tasks[2].WaitEnded();
        EXPECT_NE(tasks[2].Thread(), tasks[1].Thread());
        EXPECT_NE(tasks[2].Thread(), tasks[0].Thread());
        gates[1].Open();
    }
    for (auto& task : tasks) {
        EXPECT_EQ(task.Ends(), 1);
    }
}

TEST(ThreadPool, DestroyingAPoolThatNeverRanATaskStartsAndWaitsForNothing)
{
    TPriorityCalls calls;
    platform::TScopedSysCalls scoped(calls);
    TFakeClock clock(1000);
    {
        TThreadPool pool(8, 2, &clock);
    }
    EXPECT_TRUE(calls.Requests().empty()) << "a worker thread was started without a task";
    EXPECT_EQ(clock.Waits(), 0);
}

struct TDestroyCase {
    const char* Name;
    bool TakeOver;
};

class ThreadPoolDestruction : public ::testing::TestWithParam<TDestroyCase> {};

TEST_P(ThreadPoolDestruction, ReturnsOnlyAfterEveryTaskHasEnded)
{
    TFakeClock clock(1000);
    TGate gates[3];
    TTaskRecord tasks[3];
    std::atomic<int> ended{0};
    auto pool = std::make_unique<TThreadPool>(2, 3, &clock);
    auto task = [&](int i) {
        return [&, i] {
            tasks[i].Started();
            gates[i].Wait();
            ++ended;
            tasks[i].Ended();
        };
    };
    pool->RunTask(task(0));
    pool->RunTask(task(1));
    tasks[0].WaitStarted();
    tasks[1].WaitStarted();
    if (GetParam().TakeOver) {
        // The third task takes over a slot; the task it replaced is abandoned, not ended.
        clock.Advance(1);
        TOwner owner(*pool, clock, task(2));
        clock.WaitForWaitAt(1001);
        clock.Advance(TaskTimeout);
        owner.Join();
        tasks[2].WaitStarted();
    }
    const int expected = GetParam().TakeOver ? 3 : 2;

    std::atomic<int> endedWhenDestroyed{-1};
    std::thread destroyer([&] {
        pool.reset();
        endedWhenDestroyed = ended.load();
    });
    for (int i = 0; i < expected; ++i) {
        gates[i].Open();
    }
    destroyer.join();
    EXPECT_EQ(endedWhenDestroyed.load(), expected);
    for (int i = 0; i < expected; ++i) {
        EXPECT_EQ(tasks[i].Ends(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ThreadPoolDestruction,
                         ::testing::Values(TDestroyCase{"RunningTasks", false},
                                           TDestroyCase{"AnAbandonedTask", true}),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(ThreadPool, DestroyingOnePoolDoesNotStopTheWorkersOfAnother)
{
    TGate gate;
    TTaskRecord first;
    TTaskRecord second;
    TThreadPool survivor(1, 3);
    survivor.RunTask(RecordedTask(first, &gate));
    first.WaitStarted();
    {
        TTaskRecord quick;
        TThreadPool other(2, 3);
        other.RunTask(RecordedTask(quick));
        quick.WaitEnded();
    }
    // The survivor's worker finishes its task after the other pool is gone and must still
    // take the next one.
    gate.Open();
    survivor.RunTask(RecordedTask(second));
    second.WaitEnded();
    EXPECT_EQ(second.Thread(), first.Thread());
}

struct TPriorityCase {
    std::uint8_t Index;
    int Nice;
};

class ThreadPoolPriority : public ::testing::TestWithParam<TPriorityCase> {};

TEST_P(ThreadPoolPriority, EachWorkerAsksForTheNiceValueOfTheIndexAndRunsWhenRefused)
{
    TPriorityCalls calls;
    platform::TScopedSysCalls scoped(calls);
    std::atomic<pid_t> workerId{0};
    TTaskRecord ran;
    {
        TThreadPool pool(1, GetParam().Index);
        pool.RunTask([&] {
            workerId = ::gettid();
            ran.Started();
        });
        ran.WaitStarted();
    }
    const auto requests = calls.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Which, PRIO_PROCESS);
    EXPECT_EQ(requests[0].Who, id_t(workerId.load())) << "the request was not for the worker";
    EXPECT_EQ(requests[0].Priority, GetParam().Nice);
}

INSTANTIATE_TEST_SUITE_P(Indexes, ThreadPoolPriority,
                         ::testing::Values(TPriorityCase{0, 19}, TPriorityCase{2, 5},
                                           TPriorityCase{3, 0}, TPriorityCase{6, -20},
                                           TPriorityCase{200, -20}));

TEST(ThreadPool, PriorityIndexTwoRunsTheWorkersAtBelowNormalPriority)
{
    errno = 0;
    const int ownNice = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
    if (ownNice > 5) {
        GTEST_SKIP() << "the tests already run below the pool's priority";
    }
    std::atomic<int> workerNice{-100};
    {
        TThreadPool pool(1, 2);
        pool.RunTask([&] { workerNice = ::getpriority(PRIO_PROCESS, id_t(::gettid())); });
    }
    EXPECT_EQ(workerNice.load(), 5);
    EXPECT_EQ(::getpriority(PRIO_PROCESS, id_t(::gettid())), ownNice)
        << "the owner's own priority changed";
}
