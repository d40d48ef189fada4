// libFuzzer entry point over the registry store's text: any bytes are read as far as they can
// be, and the text written for what was read reads back whole, to the same keys and values.
#include "platform/RegText.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// The same keys, names and values in the same order (names compared exactly).
bool SameTree(const platform::TRegKeyNode& a, const platform::TRegKeyNode& b)
{
    if (a.Name != b.Name || a.Values.size() != b.Values.size() || a.Keys.size() != b.Keys.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.Values.size(); ++i) {
        if (a.Values[i].Name != b.Values[i].Name || !(a.Values[i].Value == b.Values[i].Value)) {
            return false;
        }
    }
    for (std::size_t i = 0; i < a.Keys.size(); ++i) {
        if (!SameTree(a.Keys[i], b.Keys[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    platform::TRegKeyNode read;
    platform::ParseRegText(std::string(reinterpret_cast<const char*>(data), size), read);
    const std::string text = platform::FormatRegText(read);
    platform::TRegKeyNode again;
    Check(platform::ParseRegText(text, again));
    Check(SameTree(read, again));
    Check(platform::FormatRegText(again) == text);
    return 0;
}
