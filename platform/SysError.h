#pragma once

#include <string>
#include <system_error>

namespace platform {

// An error as a value: an errno code (0 = success) with the system's text for it.
struct TSysError {
    int Code = 0;

    explicit operator bool() const { return Code != 0; }
    std::string Text() const { return std::generic_category().message(Code); }
    friend bool operator==(const TSysError&, const TSysError&) = default;
};

} // namespace platform
