#include "engine/FirstOfSize.h"

#include <cstdint>
#include <map>
#include <random>

#include <gtest/gtest.h>

namespace {

// Stand-ins for records: the table only keeps the pointers.
TDImage* Record(std::intptr_t n)
{
    return reinterpret_cast<TDImage*>(n * 16);
}

} // namespace

TEST(FirstOfSize, FindsEveryHeldSizeThroughGrowthAndNothingElse)
{
    // Sizes that cluster (small, round, powers of two, neighbours), zero, and the largest.
    std::map<std::int64_t, TDImage*> held;
    std::mt19937_64 random(7);
    TFirstOfSize table;
    EXPECT_EQ(table.Find(0), nullptr);
    std::intptr_t n = 1;
    auto add = [&](std::int64_t size) {
        if (held.count(size) == 0) {
            held[size] = Record(n);
            table.Add(size, Record(n));
            ++n;
        }
    };
    add(0);
    add(INT64_MAX);
    for (std::int64_t i = 1; i < 3000; ++i) {
        add(i);
        add(i * 4096);
        add(std::int64_t(1) << (i % 62));
        add(std::int64_t(random() >> 1));
    }
    for (const auto& [size, record] : held) {
        ASSERT_EQ(table.Find(size), record) << size;
    }
    for (std::int64_t size : {std::int64_t(3001), std::int64_t(4097), std::int64_t(123457)}) {
        EXPECT_EQ(held.count(size) == 0 ? nullptr : held[size], table.Find(size)) << size;
    }

    table.Clear();
    EXPECT_EQ(table.Find(0), nullptr);
    EXPECT_EQ(table.Find(4096), nullptr);
    table.Add(4096, Record(1));
    EXPECT_EQ(table.Find(4096), Record(1));
}
