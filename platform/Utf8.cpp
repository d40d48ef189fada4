#include "platform/Utf8.h"

#include <cstdint>

namespace platform {

std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t& codePoint)
{
    const auto lead = std::uint8_t(text[at]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = std::uint8_t(text[at + k]);
        if ((next & 0xC0u) != 0x80u) {
            return 0;
        }
        value = (value << 6) | (next & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    codePoint = value;
    return length;
}

void AppendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out.push_back(char(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(char(0xC0 | (codePoint >> 6)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(char(0xE0 | (codePoint >> 12)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (codePoint >> 18)));
        out.push_back(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    }
}

std::u16string Utf16FromBytes(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(bytes, at, code);
        if (length == 0) {
            // Only bytes from 0x80 on can be invalid: the range stays apart from valid text.
            out.push_back(char16_t(0xDC00 + std::uint8_t(bytes[at])));
            ++at;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(char16_t(0xD800 + (code >> 10)));
            out.push_back(char16_t(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(char16_t(code));
        }
        at += length;
    }
    return out;
}

std::string BytesFromUtf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            out.push_back(char(unit - 0xDC00));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

} // namespace platform
