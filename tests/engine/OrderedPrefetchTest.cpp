#include "engine/OrderedPrefetch.h"

#include "engine/PauseGate.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr std::size_t JobCount = 40;
constexpr std::size_t Window = 3;
// This job raises the first time a worker runs it: the consumer must do it again.
constexpr std::size_t FailingJob = 7;

enum TTakeWay { twTakeAll, twSkipSome, twStopEarly, twDestroyWhilePaused };

struct TPrefetchCase {
    std::int32_t Workers;
    TTakeWay Way;
};

std::string Describe(const TPrefetchCase& c)
{
    const char* ways[] = {"take all", "skip some", "stop early", "destroy while paused"};
    return std::to_string(c.Workers) + " workers, " + ways[c.Way];
}

// What the jobs did, watched from every thread.
struct TJobLog {
    std::array<std::atomic<int>, JobCount> Started {};
    std::array<std::atomic<int>, JobCount> Completed {};
    // The job the consumer takes next (set before each Take); workers must stay within the
    // window past the job the consumer is at.
    std::atomic<std::size_t> ConsumerAt {0};
    std::atomic<int> OutsideWindow {0};
    std::mutex Lock;
    std::condition_variable Signal;
};

TEST(OrderedPrefetch, RunsEachJobOnceWithinTheWindowHoweverTheConsumerTakesThem)
{
    std::vector<TPrefetchCase> cases;
    for (const std::int32_t workers : {0, 1, 4}) {
        for (const TTakeWay way : {twTakeAll, twSkipSome, twStopEarly, twDestroyWhilePaused}) {
            cases.push_back({workers, way});
        }
    }
    for (const TPrefetchCase& c : cases) {
        SCOPED_TRACE(Describe(c));
        TJobLog log;
        TPauseGate pause;
        const std::thread::id consumer = std::this_thread::get_id();
        const auto job = [&](std::size_t n) {
            if (std::this_thread::get_id() != consumer && n >= log.ConsumerAt.load() + Window) {
                ++log.OutsideWindow;
            }
            const bool firstRun = log.Started[n]++ == 0;
            if (n == FailingJob && firstRun && std::this_thread::get_id() != consumer) {
                throw std::runtime_error("a failing job");
            }
            // A job of several pieces: it ends early when it is to stop.
            for (int piece = 0; piece < 3; ++piece) {
                if (std::this_thread::get_id() != consumer && !pause.PieceGate()) {
                    return;
                }
            }
            ++log.Completed[n];
            {
                std::lock_guard guard(log.Lock);
            }
            log.Signal.notify_all();
        };
        auto prefetch =
            std::make_optional<TOrderedPrefetch>(JobCount, Window, c.Workers, 3, job, &pause);
        std::vector<std::size_t> taken;
        for (std::size_t n = 0; n < JobCount; ++n) {
            if (c.Way == twSkipSome && n % 3 != 0) {
                continue;
            }
            if ((c.Way == twStopEarly || c.Way == twDestroyWhilePaused) && n == 10) {
                break;
            }
            if (c.Way == twTakeAll && c.Workers > 0 && n > 0 && n != FailingJob) {
                // The workers run ahead as far as the window lets them: every job after the
                // last one taken and within the window gets done.
                const std::size_t last = std::min(JobCount - 1, n - 1 + Window - 1);
                std::unique_lock lock(log.Lock);
                EXPECT_TRUE(log.Signal.wait_for(lock, std::chrono::seconds(20),
                    [&] {
                        for (std::size_t k = n; k <= last; ++k) {
                            if (k != FailingJob && log.Completed[k].load() == 0) {
                                return false;
                            }
                        }
                        return true;
                    }))
                    << "job " << n;
            }
            log.ConsumerAt = n;
            if (!prefetch->Take(n)) {
                job(n);
            }
            taken.push_back(n);
        }
        if (c.Way == twDestroyWhilePaused) {
            // Workers may hold the jobs past the last one taken, at their first piece or
            // before they begin them.
            pause.Pause();
        }
        // The destructor returns: workers held by the pause give their jobs up.
        prefetch.reset();

        for (std::size_t n = 0; n < JobCount; ++n) {
            const bool wasTaken = std::find(taken.begin(), taken.end(), n) != taken.end();
            EXPECT_LE(log.Completed[n].load(), 1) << "job " << n;
            EXPECT_LE(log.Started[n].load(), n == FailingJob ? 2 : 1) << "job " << n;
            if (wasTaken) {
                EXPECT_EQ(log.Completed[n].load(), 1) << "job " << n;
            }
        }
        EXPECT_EQ(log.OutsideWindow.load(), 0);
    }
}

TEST(OrderedPrefetch, TheConsumerWaitingForAPausedWorkerIsHeldAndGoesOnAfterResume)
{
    TPauseGate pause;
    std::atomic<bool> started {false};
    std::atomic<int> completed {0};
    TOrderedPrefetch prefetch(
        1, 1, 1, 3,
        [&](std::size_t) {
            started = true;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!pause.PauseRequested() && std::chrono::steady_clock::now() < until) {
                std::this_thread::yield();
            }
            // Held here until Resume.
            EXPECT_TRUE(pause.PieceGate());
            ++completed;
        },
        &pause);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!started.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(started.load());
    pause.Pause();
    std::thread resumer([&] {
        while (!pause.Suspended() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        EXPECT_TRUE(pause.Suspended()) << "the consumer waits for a paused worker";
        EXPECT_EQ(completed.load(), 0);
        pause.Resume();
    });
    EXPECT_TRUE(prefetch.Take(0));
    resumer.join();
    EXPECT_EQ(completed.load(), 1);
}

} // namespace
