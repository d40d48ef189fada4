#include "engine/DFinder.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Large lists are keyed on several threads at once; the ranks must be those of one collator.
TEST(CollationRanks, ConcurrentKeyingGivesTheOrderOfOneCollator)
{
    std::vector<std::string> names;
    std::uint32_t seed = 2024;
    for (int i = 0; i < 90000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        std::string name;
        for (int letter = 0; letter < 3; ++letter) {
            const std::uint32_t pick = (seed >> (9 * letter)) % 54;
            name += pick < 26 ? char('a' + pick) : pick < 52 ? char('A' + pick - 26) : '_';
        }
        names.push_back(name + std::to_string(seed % 13) + (i % 5 == 0 ? "\xc3\xa9" : ""));
    }
    std::vector<const std::string*> texts;
    for (const std::string& name : names) {
        texts.push_back(&name);
    }
    const std::vector<std::int32_t> ranks = CollationRanks(texts);
    ASSERT_EQ(ranks.size(), names.size());

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const bool plain = collator.locale().language() == QLocale::C;
    auto unicode = [&](std::size_t i) {
        const QString text = QString::fromStdString(names[i]);
        return plain ? text.toCaseFolded() : text;
    };
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::sort(order.begin(), order.end(),
        [&](std::size_t a, std::size_t b) { return ranks[a] < ranks[b]; });
    int wrong = 0;
    for (std::size_t k = 1; k < order.size(); ++k) {
        const int compared = collator.compare(unicode(order[k - 1]), unicode(order[k]));
        const bool sameRank = ranks[order[k - 1]] == ranks[order[k]];
        if (compared > 0 || (compared == 0) != sameRank) {
            ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

} // namespace
