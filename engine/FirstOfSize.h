#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class TDImage;

// The first file listed of each file size, while no second file of that size has come: most
// sizes of a tree belong to one file only, and a full size bucket for each would cost far more
// than the file itself. One open-addressed table of (size, file) pairs; sizes are never
// negative. Not thread-safe.
class TFirstOfSize {
public:
    // The file listed first with this size, or null when none is held.
    TDImage* Find(std::int64_t size) const
    {
        if (FSlots.empty()) {
            return nullptr;
        }
        for (std::size_t at = SlotOf(size);; at = (at + 1) & (FSlots.size() - 1)) {
            const TSlot& slot = FSlots[at];
            if (slot.first == size) {
                return slot.second;
            }
            if (slot.first == Empty) {
                return nullptr;
            }
        }
    }
    // Holds file as the first of its size (the size must not be held yet).
    void Add(std::int64_t size, TDImage* file)
    {
        if ((FCount + 1) * 2 > FSlots.size()) {
            Grow();
        }
        Place(size, file);
        ++FCount;
    }
    void Clear()
    {
        std::vector<TSlot>().swap(FSlots);
        FCount = 0;
    }

private:
    using TSlot = std::pair<std::int64_t, TDImage*>;
    static constexpr std::int64_t Empty = -1;

    std::size_t SlotOf(std::int64_t size) const
    {
        // The final mix of a 64-bit hash: sizes are often close together or round numbers.
        auto x = std::uint64_t(size);
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        return std::size_t(x) & (FSlots.size() - 1);
    }
    void Place(std::int64_t size, TDImage* file)
    {
        std::size_t at = SlotOf(size);
        while (FSlots[at].first != Empty) {
            at = (at + 1) & (FSlots.size() - 1);
        }
        FSlots[at] = {size, file};
    }
    void Grow()
    {
        std::vector<TSlot> old(FSlots.empty() ? 64 : FSlots.size() * 2, TSlot {Empty, nullptr});
        old.swap(FSlots);
        for (const TSlot& slot : old) {
            if (slot.first != Empty) {
                Place(slot.first, slot.second);
            }
        }
    }

    std::vector<TSlot> FSlots;
    std::size_t FCount = 0;
};
