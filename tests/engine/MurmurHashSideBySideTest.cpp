#include "engine/MurmurHash.h"

#include "tests/support/TempTree.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

using testing_support::TTempTree;

TEST(MurmurHashSideBySide, EachStreamGetsWhatItWouldGetOnItsOwn)
{
    // Two to four streams, pieces of every length modulo 4, and streams that carry an
    // incomplete block from an earlier piece (which go one by one).
    for (std::size_t count = 1; count <= 4; ++count) {
        for (const std::size_t first : {0u, 4u, 6u, 4096u}) {
            for (const std::size_t second : {0u, 1u, 2u, 3u, 4u, 4099u, 65536u}) {
                SCOPED_TRACE(testing::Message()
                    << count << " streams, pieces of " << first << " and " << second);
                std::vector<std::vector<std::uint8_t>> inputs;
                std::vector<TMurmurHash3Stream> streams(count, TMurmurHash3Stream(32768));
                std::vector<TMurmurHash3Stream*> pointers;
                std::vector<const void*> firsts;
                std::vector<const void*> seconds;
                for (std::size_t i = 0; i < count; ++i) {
                    inputs.push_back(TTempTree::MakeContent(std::int64_t(first + second),
                        std::uint32_t(i + 1)));
                    pointers.push_back(&streams[i]);
                }
                for (std::size_t i = 0; i < count; ++i) {
                    firsts.push_back(inputs[i].data());
                    seconds.push_back(inputs[i].data() + first);
                }
                TMurmurHash3Stream::AddSideBySide(pointers.data(), firsts.data(), count, first);
                TMurmurHash3Stream::AddSideBySide(pointers.data(), seconds.data(), count, second);
                for (std::size_t i = 0; i < count; ++i) {
                    EXPECT_EQ(streams[i].Value(),
                        MurmurHash3(inputs[i].data(), std::uint32_t(first + second), 32768))
                        << "stream " << i;
                }
            }
        }
    }
}
