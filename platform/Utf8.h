#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The one UTF-8 decoder of the program, and the mapping of byte strings (file names are bytes,
// UTF-8 when they are valid) to UTF-16 text and back.

// The length of the UTF-8 sequence at text[at] (at < text.size()), with its code point in
// codePoint; 0 when the bytes there are not valid UTF-8: a stray or missing continuation byte,
// an overlong form, a surrogate, a value above U+10FFFF.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t& codePoint);

// Appends the UTF-8 form of a code point (at most U+10FFFF; a surrogate is written as it is).
void AppendUtf8(std::string& out, char32_t codePoint);

// The bytes as UTF-16: valid UTF-8 as the characters it encodes, and each byte that is not
// part of valid UTF-8 as the lone surrogate U+DC00 + the byte (U+DC80 to U+DCFF), which no
// valid text holds. So two byte strings give the same text exactly when they are equal, and
// BytesFromUtf16 gives the bytes back.
std::u16string Utf16FromBytes(std::string_view bytes);

// The inverse of Utf16FromBytes: characters as UTF-8, U+DC80 to U+DCFF alone as the bytes
// they stand for; any other lone surrogate becomes U+FFFD.
std::string BytesFromUtf16(std::u16string_view text);

} // namespace platform
