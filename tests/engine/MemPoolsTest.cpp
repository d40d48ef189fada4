#include "engine/MemPools.h"

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

template <typename TPool>
class PoolTest : public ::testing::Test {};

using PoolTypes = ::testing::Types<TByteArrayPool, TIntArrayPool>;
TYPED_TEST_SUITE(PoolTest, PoolTypes);

} // namespace

TYPED_TEST(PoolTest, CountThreeHandsOutFourDistinctBuffersThenNull)
{
    TypeParam pool(3, 64);
    std::set<const void*> seen;
    for (int i = 0; i < 4; ++i) {
        auto* buffer = pool.Acquire();
        ASSERT_NE(buffer, nullptr) << "buffer " << i;
        buffer[63] = 1; // the whole size is usable
        seen.insert(buffer);
    }
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(pool.Acquire(), nullptr);
    EXPECT_EQ(pool.Acquire(), nullptr);
}

TYPED_TEST(PoolTest, AcquireHandsOutTheLowestFreeBufferWhateverWasReleasedLast)
{
    TypeParam pool(3, 8);
    auto* b0 = pool.Acquire();
    auto* b1 = pool.Acquire();
    auto* b2 = pool.Acquire();
    auto* b3 = pool.Acquire();
    pool.Release(b1);
    pool.Release(b3);
    pool.Release(b0);
    EXPECT_EQ(pool.Acquire(), b0);
    EXPECT_EQ(pool.Acquire(), b1);
    EXPECT_EQ(pool.Acquire(), b3);
    EXPECT_EQ(pool.Acquire(), nullptr);
    pool.Release(b2);
    EXPECT_EQ(pool.Acquire(), b2);
}

TYPED_TEST(PoolTest, ForeignAndRepeatedReleasesChangeNothing)
{
    TypeParam pool(1, 8);
    auto* b0 = pool.Acquire();
    auto* b1 = pool.Acquire();
    ASSERT_NE(b1, nullptr);

    std::remove_pointer_t<decltype(b0)> foreign[8] = {};
    pool.Release(foreign);
    pool.Release(nullptr);
    pool.Release(b0 + 1); // inside a buffer, but not one of the pool's pointers
    EXPECT_EQ(pool.Acquire(), nullptr);

    pool.Release(b0);
    pool.Release(b0);
    EXPECT_EQ(pool.Acquire(), b0);
    EXPECT_EQ(pool.Acquire(), nullptr) << "a buffer released twice is handed out once";
}

TYPED_TEST(PoolTest, NegativeCountHasNoBuffers)
{
    for (std::int32_t count : {-1, -7}) {
        TypeParam pool(count, 8);
        EXPECT_EQ(pool.Count(), 0u);
        EXPECT_EQ(pool.Acquire(), nullptr) << "count " << count;
    }
}

TYPED_TEST(PoolTest, ConcurrentUsersNeverHoldTheSameBuffer)
{
    constexpr int Threads = 8;
    constexpr int Rounds = 20000;
    constexpr std::size_t Size = 16;
    TypeParam pool(2, Size); // fewer buffers than threads: the pool runs dry often

    using TElement = std::remove_pointer_t<decltype(pool.Acquire())>;
    std::vector<const TElement*> buffers;
    for (std::size_t i = 0; i < pool.Count(); ++i) {
        buffers.push_back(pool.Acquire());
    }
    for (const TElement* buffer : buffers) {
        pool.Release(buffer);
    }
    std::vector<std::atomic<int>> holder(buffers.size());
    std::atomic<int> sharedBuffers{0};

    std::vector<std::thread> threads;
    for (int t = 1; t <= Threads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < Rounds; ++round) {
                TElement* buffer = pool.Acquire();
                if (buffer == nullptr) {
                    continue;
                }
                std::size_t slot = 0;
                while (buffers[slot] != buffer) {
                    ++slot;
                }
                int expected = 0;
                if (!holder[slot].compare_exchange_strong(expected, t)) {
                    ++sharedBuffers;
                    continue;
                }
                for (std::size_t i = 0; i < Size; ++i) {
                    buffer[i] = TElement(t);
                }
                for (std::size_t i = 0; i < Size; ++i) {
                    if (buffer[i] != TElement(t)) {
                        ++sharedBuffers;
                        break;
                    }
                }
                holder[slot].store(0);
                pool.Release(buffer);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(sharedBuffers.load(), 0);
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        EXPECT_NE(pool.Acquire(), nullptr) << "every buffer came back";
    }
}

TEST(BufferLease, TakesAFreeBufferLargeEnoughAndGivesItBackElseUsesOneOfItsOwn)
{
    struct TCase {
        const char* Name;
        std::int32_t PoolCount; // -1: no buffers at all
        std::size_t Needed;
        bool HeldByOthers;
        bool FromPool;
    };
    const TCase cases[] = {
        {"a free buffer", 0, 64, false, true},
        {"every buffer in use", 0, 64, true, false},
        {"buffers too small", 0, 65, false, false},
        {"a pool without buffers", -1, 8, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TByteArrayPool pool(c.PoolCount, 64);
        if (c.HeldByOthers) {
            pool.Acquire();
        }
        const std::uint8_t* leased = nullptr;
        {
            TBufferLease<std::uint8_t> lease(&pool, c.Needed);
            leased = lease.Data();
            ASSERT_NE(leased, nullptr);
            lease.Data()[c.Needed - 1] = 7; // the whole length is usable
        }
        // The pool's free buffers now: the leased one among them exactly when it came from
        // the pool and went back.
        std::set<const std::uint8_t*> free;
        while (const std::uint8_t* buffer = pool.Acquire()) {
            free.insert(buffer);
        }
        EXPECT_EQ(free.contains(leased), c.FromPool);
    }
    TBufferLease<std::int32_t> withoutPool(nullptr, 3);
    EXPECT_NE(withoutPool.Data(), nullptr);
}
