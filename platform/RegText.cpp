#include "platform/RegText.h"

#include "platform/Utf8.h"

#include <QStringView>

#include <utility>

namespace platform {

namespace {

const char* const HeaderLine = "Windows Registry Editor Version 5.00";
const char* const OldHeaderLine = "REGEDIT4";
const char* const HiveName = "HKEY_CURRENT_USER";

bool IsAscii(const std::string& text)
{
    for (unsigned char c : text) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

TRegKeyNode* FindChild(TRegKeyNode& node, const std::string& name)
{
    for (TRegKeyNode& child : node.Keys) {
        if (SameName(child.Name, name)) {
            return &child;
        }
    }
    return nullptr;
}

// ---- UTF-16 ------------------------------------------------------------------------------

// Text values are UTF-8 in memory and UTF-16LE in the file's hex(1) and hex(2) forms. A byte
// that is not part of valid UTF-8 travels as the lone surrogate U+DC00 + byte and comes back
// as that byte (Utf16FromBytes), so a value holding a file name that is not valid UTF-8
// survives a save.
std::string Utf16LeBytes(const std::string& text)
{
    std::u16string units = Utf16FromBytes(text);
    std::string bytes;
    bytes.reserve(units.size() * 2 + 2);
    for (char16_t unit : units) {
        bytes.push_back(char(unit & 0xFF));
        bytes.push_back(char(unit >> 8));
    }
    // The terminating zero that the registry keeps with every text.
    bytes.push_back('\0');
    bytes.push_back('\0');
    return bytes;
}

std::string TextFromUtf16LeBytes(const std::string& bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(char16_t(static_cast<unsigned char>(bytes[i]) |
            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    if (!units.empty() && units.back() == 0) {
        units.pop_back();
    }
    return BytesFromUtf16(units);
}

// ---- the .reg text -----------------------------------------------------------------------

std::string Trim(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) {
        ++begin;
    }
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool StartsWithNoCase(const std::string& text, std::size_t at, const std::string& prefix)
{
    if (text.size() - at < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[at + i]) != AsciiLower(prefix[i])) {
            return false;
        }
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Reads a quoted text starting at text[at] == '"', with \\ and \" as the escapes; any other
// backslash stands for itself. On success at is just past the closing quote.
bool ReadQuoted(const std::string& text, std::size_t& at, std::string& out)
{
    out.clear();
    std::size_t i = at + 1;
    while (i < text.size()) {
        char c = text[i];
        if (c == '"') {
            at = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out.push_back(text[i + 1]);
            i += 2;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return false;
}

bool ParseHexBytes(const std::string& list, std::string& bytes)
{
    bytes.clear();
    std::string trimmed = Trim(list);
    if (trimmed.empty()) {
        return true;
    }
    std::size_t start = 0;
    while (true) {
        std::size_t comma = trimmed.find(',', start);
        std::string token = Trim(
            trimmed.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        // Always two digits: a shorter last byte is a cut-off file.
        if (token.size() != 2) {
            return false;
        }
        int value = 0;
        for (char c : token) {
            int digit = HexDigit(c);
            if (digit < 0) {
                return false;
            }
            value = value * 16 + digit;
        }
        bytes.push_back(char(value));
        if (comma == std::string::npos) {
            return true;
        }
        start = comma + 1;
    }
}

enum TValueLine { vlValue, vlDelete, vlBad };

// Reads the data part of a value line ("=" already taken off).
TValueLine ParseData(const std::string& data, TRegValue& value)
{
    if (data == "-") {
        return vlDelete;
    }
    if (!data.empty() && data[0] == '"') {
        std::size_t at = 0;
        std::string text;
        if (!ReadQuoted(data, at, text) || !Trim(data.substr(at)).empty()) {
            return vlBad;
        }
        value = TRegValue::String(std::move(text));
        return vlValue;
    }
    if (StartsWithNoCase(data, 0, "dword:")) {
        std::string digits = Trim(data.substr(6));
        if (digits.empty() || digits.size() > 8) {
            return vlBad;
        }
        std::uint32_t number = 0;
        for (char c : digits) {
            int digit = HexDigit(c);
            if (digit < 0) {
                return vlBad;
            }
            number = number * 16 + std::uint32_t(digit);
        }
        value = TRegValue::Dword(number);
        return vlValue;
    }
    if (!StartsWithNoCase(data, 0, "hex")) {
        return vlBad;
    }
    std::size_t at = 3;
    std::uint32_t type = rtBinary;
    if (at < data.size() && data[at] == '(') {
        std::size_t close = data.find(')', at);
        if (close == std::string::npos || close == at + 1 || close - at - 1 > 8) {
            return vlBad;
        }
        type = 0;
        for (std::size_t i = at + 1; i < close; ++i) {
            int digit = HexDigit(data[i]);
            if (digit < 0) {
                return vlBad;
            }
            type = type * 16 + std::uint32_t(digit);
        }
        at = close + 1;
    }
    if (at >= data.size() || data[at] != ':') {
        return vlBad;
    }
    std::string bytes;
    if (!ParseHexBytes(data.substr(at + 1), bytes)) {
        return vlBad;
    }
    if (type == rtString || type == rtExpandString) {
        if (bytes.size() % 2 != 0) {
            return vlBad;
        }
        value.Type = type;
        value.Data = TextFromUtf16LeBytes(bytes);
        return vlValue;
    }
    value.Type = type;
    value.Data = std::move(bytes);
    return vlValue;
}

bool IsBlankOrComment(const std::string& trimmed)
{
    return trimmed.empty() || trimmed[0] == ';';
}

std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// "hex(2):41,00,..." with the long lines broken as the format does it: ",\" and the next
// line indented by two blanks, no line longer than 80 characters.
void AppendHex(std::string& out, std::size_t lineStart, const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
        if (i + 1 < bytes.size()) {
            out.push_back(',');
            if (out.size() - lineStart > 75) {
                out += "\\\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
}

void AppendValueLine(std::string& out, const std::string& name, const TRegValue& value)
{
    std::size_t lineStart = out.size();
    out += name.empty() ? std::string("@") : Quoted(name);
    out.push_back('=');
    if (value.Type == rtString && !HasControlCharacter(value.Data)) {
        out += Quoted(value.Data);
    } else if (value.Type == rtDword && value.Data.size() == 4) {
        std::uint32_t number = 0;
        for (int k = 3; k >= 0; --k) {
            number = (number << 8) | static_cast<unsigned char>(value.Data[std::size_t(k)]);
        }
        static const char digits[] = "0123456789abcdef";
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) {
            out.push_back(digits[(number >> shift) & 0x0F]);
        }
    } else {
        bool text = value.Type == rtString || value.Type == rtExpandString;
        if (value.Type == rtBinary) {
            out += "hex:";
        } else {
            static const char digits[] = "0123456789abcdef";
            std::string number;
            std::uint32_t type = value.Type;
            do {
                number.insert(number.begin(), digits[type & 0x0F]);
                type >>= 4;
            } while (type != 0);
            out += "hex(" + number + "):";
        }
        AppendHex(out, lineStart, text ? Utf16LeBytes(value.Data) : value.Data);
    }
    out.push_back('\n');
}

void AppendKey(std::string& out, const TRegKeyNode& node, const std::string& path, bool isRoot)
{
    // A key with values, or one without subkeys, gets a section of its own; a key with only
    // subkeys is implied by theirs.
    if (!node.Values.empty() || (!isRoot && node.Keys.empty())) {
        out += "[" + path + "]\n";
        for (const auto& named : node.Values) {
            AppendValueLine(out, named.Name, named.Value);
        }
        out.push_back('\n');
    }
    for (const TRegKeyNode& child : node.Keys) {
        AppendKey(out, child, path + "\\" + child.Name, false);
    }
}

} // namespace

// ---- values --------------------------------------------------------------------------------

TRegValue TRegValue::Dword(std::uint32_t value)
{
    std::string bytes(4, '\0');
    for (std::size_t k = 0; k < 4; ++k) {
        bytes[k] = char((value >> (8 * k)) & 0xFF);
    }
    return {rtDword, std::move(bytes)};
}

TRegValue TRegValue::Qword(std::uint64_t value)
{
    std::string bytes(8, '\0');
    for (std::size_t k = 0; k < 8; ++k) {
        bytes[k] = char((value >> (8 * k)) & 0xFF);
    }
    return {rtQword, std::move(bytes)};
}

TRegValue TRegValue::String(std::string text)
{
    return {rtString, std::move(text)};
}

TRegValue TRegValue::ExpandString(std::string text)
{
    return {rtExpandString, std::move(text)};
}

TRegValue TRegValue::Binary(std::string bytes)
{
    return {rtBinary, std::move(bytes)};
}

// ---- names and the tree ----------------------------------------------------------------------

bool SameName(const std::string& a, const std::string& b)
{
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (AsciiLower(a[i]) != AsciiLower(b[i])) {
                return false;
            }
        }
        return true;
    }
    // Names that are not valid UTF-8 compare by their bytes' own code points, never as equal
    // replacement characters.
    return a == b ||
        QStringView(Utf16FromBytes(a))
            .compare(QStringView(Utf16FromBytes(b)), Qt::CaseInsensitive) == 0;
}

bool HasControlCharacter(const std::string& text)
{
    for (unsigned char c : text) {
        if (c < 0x20) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> SplitKeyPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

TRegKeyNode* FindKey(TRegKeyNode& root, const std::vector<std::string>& parts)
{
    TRegKeyNode* node = &root;
    for (const std::string& part : parts) {
        node = FindChild(*node, part);
        if (!node) {
            return nullptr;
        }
    }
    return node;
}

TRegKeyNode& MakeKey(TRegKeyNode& root, const std::vector<std::string>& parts, bool& changed)
{
    TRegKeyNode* node = &root;
    for (const std::string& part : parts) {
        TRegKeyNode* child = FindChild(*node, part);
        if (!child) {
            node->Keys.push_back(TRegKeyNode {part, {}, {}});
            child = &node->Keys.back();
            changed = true;
        }
        node = child;
    }
    return *node;
}

std::vector<TRegKeyNode::TNamedValue>::iterator FindValue(TRegKeyNode& key, const std::string& name)
{
    for (auto it = key.Values.begin(); it != key.Values.end(); ++it) {
        if (SameName(it->Name, name)) {
            return it;
        }
    }
    return key.Values.end();
}

// Sets a value, keeping the name as first written when it exists already.
bool SetValue(TRegKeyNode& key, const std::string& name, const TRegValue& value)
{
    auto it = FindValue(key, name);
    if (it == key.Values.end()) {
        key.Values.push_back({name, value});
        return true;
    }
    if (it->Value == value) {
        return false;
    }
    it->Value = value;
    return true;
}

bool RemoveKey(TRegKeyNode& root, const std::vector<std::string>& parts)
{
    if (parts.empty()) {
        return false;
    }
    std::vector<std::string> parentParts(parts.begin(), parts.end() - 1);
    TRegKeyNode* parent = FindKey(root, parentParts);
    if (!parent) {
        return false;
    }
    for (auto it = parent->Keys.begin(); it != parent->Keys.end(); ++it) {
        if (SameName(it->Name, parts.back())) {
            parent->Keys.erase(it);
            return true;
        }
    }
    return false;
}

// ---- the text ---------------------------------------------------------------------------------

// Reads the text of a store file into root. Returns false when any part of it could not be
// used (the parts that could are in root all the same).
bool ParseRegText(std::string text, TRegKeyNode& root)
{
    bool intact = true;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE) {
        // A file saved as UTF-16LE, as other editors of the format may write it.
        std::string bytes = text.substr(2);
        if (bytes.size() % 2 != 0) {
            intact = false;
            bytes.pop_back();
        }
        bytes += std::string(2, '\0');
        text = TextFromUtf16LeBytes(bytes);
    } else if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.erase(0, 3);
    }

    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }

    bool headerSeen = false;
    TRegKeyNode* current = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = Trim(lines[i]);
        if (IsBlankOrComment(line)) {
            continue;
        }
        if (!headerSeen) {
            headerSeen = true;
            if (line == HeaderLine || line == OldHeaderLine) {
                continue;
            }
            intact = false;
        }
        if (line[0] == '[') {
            current = nullptr;
            if (line.back() != ']') {
                intact = false;
                continue;
            }
            std::string inner = line.substr(1, line.size() - 2);
            bool remove = !inner.empty() && inner[0] == '-';
            if (remove) {
                inner.erase(0, 1);
            }
            std::vector<std::string> parts = SplitKeyPath(inner);
            if (parts.empty() || !SameName(parts[0], HiveName)) {
                // A key of another hive: this store keeps only the current user's keys.
                intact = false;
                continue;
            }
            parts.erase(parts.begin());
            if (remove) {
                RemoveKey(root, parts);
                continue;
            }
            bool changed = false;
            current = &MakeKey(root, parts, changed);
            continue;
        }

        // A value line: "name"=data or @=data.
        std::string name;
        std::size_t at = 0;
        if (line[0] == '@') {
            at = 1;
        } else if (line[0] != '"' || !ReadQuoted(line, at, name)) {
            intact = false;
            continue;
        }
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
            ++at;
        }
        if (at >= line.size() || line[at] != '=') {
            intact = false;
            continue;
        }
        std::string data = Trim(line.substr(at + 1));
        // Long hex data goes on over further lines, each but the last ending with "\".
        if (StartsWithNoCase(data, 0, "hex")) {
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                if (i + 1 >= lines.size()) {
                    break;
                }
                std::string next = Trim(lines[i + 1]);
                if (next.empty() || next[0] == '[' || next[0] == '"' || next[0] == '@') {
                    break;
                }
                data += next;
                ++i;
            }
        }
        if (!current) {
            intact = false;
            continue;
        }
        TRegValue value;
        switch (ParseData(data, value)) {
        case vlValue:
            SetValue(*current, name, value);
            break;
        case vlDelete: {
            auto it = FindValue(*current, name);
            if (it != current->Values.end()) {
                current->Values.erase(it);
            }
            break;
        }
        case vlBad:
            intact = false;
            break;
        }
    }
    return intact;
}

std::string FormatRegText(const TRegKeyNode& root)
{
    std::string out = std::string(HeaderLine) + "\n\n";
    AppendKey(out, root, HiveName, true);
    return out;
}

} // namespace platform
