#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

// An immutable text shared by reference count: copying one copies a pointer, so the files of
// one folder can all hold the same folder text. The count is atomic, so copies may be made
// and dropped on any threads at once; the text itself never changes after construction.
// The default value is the empty text and allocates nothing.
class TSharedString {
public:
    TSharedString() = default;
    explicit TSharedString(std::string text);
    TSharedString(const TSharedString& other) noexcept;
    TSharedString(TSharedString&& other) noexcept;
    TSharedString& operator=(const TSharedString& other) noexcept;
    TSharedString& operator=(TSharedString&& other) noexcept;
    ~TSharedString();

    const std::string& Str() const;
    operator const std::string&() const { return Str(); }

    bool empty() const { return Str().empty(); }
    std::size_t size() const { return Str().size(); }
    const char* c_str() const { return Str().c_str(); }
    char front() const { return Str().front(); }
    char back() const { return Str().back(); }
    // True when both hold the very same text object (not only equal texts).
    bool SharesWith(const TSharedString& other) const { return FBlock == other.FBlock; }

    friend bool operator==(const TSharedString& a, const TSharedString& b)
    {
        return a.FBlock == b.FBlock || a.Str() == b.Str();
    }
    friend bool operator==(const TSharedString& a, std::string_view b)
    {
        return std::string_view(a.Str()) == b;
    }

    friend std::ostream& operator<<(std::ostream& stream, const TSharedString& text);

private:
    struct TBlock {
        explicit TBlock(std::string text) : Text(std::move(text)) {}
        std::atomic<std::uint32_t> Refs{1};
        const std::string Text;
    };

    void Drop() noexcept;

    TBlock* FBlock = nullptr;
};
