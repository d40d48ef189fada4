#include "platform/RegistryStore.h"

#include "platform/AtomicFile.h"
#include "platform/ReadOnlyFile.h"
#include "platform/SpecialFolders.h"
#include "platform/SysCalls.h"
#include "platform/TextFile.h"
#include "platform/Utf8.h"

#include <QString>
#include <QStringView>

#include <atomic>
#include <cerrno>
#include <limits>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <utility>

namespace platform {

// One key of the tree: its values in stored order and its subkeys in stored order.
struct TRegKeyNode {
    struct TNamedValue {
        std::string Name;
        TRegValue Value;
    };
    std::string Name;
    std::vector<TNamedValue> Values;
    std::vector<TRegKeyNode> Keys;
};

namespace {

const char* const HeaderLine = "Windows Registry Editor Version 5.00";
const char* const OldHeaderLine = "REGEDIT4";
const char* const HiveName = "HKEY_CURRENT_USER";

// ---- names -------------------------------------------------------------------------------

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

// Key and value names are compared without regard to case, as the registry does.
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
        QStringView(Utf16FromBytes(a)).compare(QStringView(Utf16FromBytes(b)),
            Qt::CaseInsensitive) == 0;
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

bool ValidKeyPath(const std::vector<std::string>& parts)
{
    for (const std::string& part : parts) {
        if (HasControlCharacter(part)) {
            return false;
        }
    }
    return true;
}

// ---- the tree ----------------------------------------------------------------------------

TRegKeyNode* FindChild(TRegKeyNode& node, const std::string& name)
{
    for (TRegKeyNode& child : node.Keys) {
        if (SameName(child.Name, name)) {
            return &child;
        }
    }
    return nullptr;
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

// Whether a change can be made at all: names must not hold control characters (the file
// cannot hold them) and the whole tree cannot be deleted.
TSysError CheckChange(const TRegistryBatch::TChange& change)
{
    std::vector<std::string> parts = SplitKeyPath(change.Key);
    if (!ValidKeyPath(parts)) {
        return {EINVAL};
    }
    if (change.Kind == TRegistryBatch::ckWriteValue && HasControlCharacter(change.Name)) {
        return {EINVAL};
    }
    if (change.Kind == TRegistryBatch::ckDeleteKey && parts.empty()) {
        return {EINVAL};
    }
    return {};
}

// Applies one change; sets changed when the tree is different afterwards.
TSysError ApplyChange(TRegKeyNode& root, const TRegistryBatch::TChange& change, bool& changed)
{
    if (TSysError error = CheckChange(change)) {
        return error;
    }
    std::vector<std::string> parts = SplitKeyPath(change.Key);
    switch (change.Kind) {
    case TRegistryBatch::ckCreateKey:
        MakeKey(root, parts, changed);
        return {};
    case TRegistryBatch::ckWriteValue: {
        TRegKeyNode& key = MakeKey(root, parts, changed);
        if (SetValue(key, change.Name, change.Value)) {
            changed = true;
        }
        return {};
    }
    case TRegistryBatch::ckDeleteValue: {
        TRegKeyNode* key = FindKey(root, parts);
        if (key) {
            auto it = FindValue(*key, change.Name);
            if (it != key->Values.end()) {
                key->Values.erase(it);
                changed = true;
            }
        }
        return {};
    }
    case TRegistryBatch::ckClearKey: {
        TRegKeyNode* key = FindKey(root, parts);
        if (key && !key->Values.empty()) {
            key->Values.clear();
            changed = true;
        }
        return {};
    }
    case TRegistryBatch::ckDeleteKey:
        if (RemoveKey(root, parts)) {
            changed = true;
        }
        return {};
    }
    return {EINVAL};
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

std::string FormatRegText(const TRegKeyNode& root)
{
    std::string out = std::string(HeaderLine) + "\n\n";
    AppendKey(out, root, HiveName, true);
    return out;
}

// ---- files -------------------------------------------------------------------------------

struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    std::int64_t Size = -1;
    std::int64_t ModifiedNs = 0;
};

TFileIdentity IdentityOf(const struct statx& sx)
{
    TFileIdentity id;
    id.Device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    id.Inode = sx.stx_ino;
    id.Size = std::int64_t(sx.stx_size);
    id.ModifiedNs = std::int64_t(sx.stx_mtime.tv_sec) * 1000000000 + sx.stx_mtime.tv_nsec;
    return id;
}

const unsigned IdentityMask = STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME;

// Opens and reads the whole store file, keeping it open in fd. ENOENT when it does not exist.
TSysError LoadFile(
    const std::string& path, TUniqueFd& fd, std::string& content, TFileIdentity& identity)
{
    content.clear();
    fd.Reset();
    TReadOnlyFile file;
    if (TSysError error = file.Open(path)) {
        return error;
    }
    struct statx sx { };
    if (Sys().Statx(file.Fd(), "", AT_EMPTY_PATH, IdentityMask, &sx) != 0) {
        return {errno};
    }
    identity = IdentityOf(sx);
    if (TSysError error = ReadWholeFile(file, content, std::numeric_limits<std::size_t>::max())) {
        return error;
    }
    fd = file.Release();
    return {};
}

std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

TSysError MakeFolders(const std::string& folder)
{
    std::size_t at = 1;
    while (at <= folder.size()) {
        std::size_t slash = folder.find('/', at);
        if (slash == std::string::npos) {
            slash = folder.size();
        }
        std::string prefix = folder.substr(0, slash);
        if (!prefix.empty() && prefix != "/" && Sys().Mkdir(prefix.c_str(), 0700) != 0 &&
            errno != EEXIST) {
            return {errno};
        }
        at = slash + 1;
    }
    return {};
}

} // namespace

// ---- values and batches ------------------------------------------------------------------

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

void TRegistryBatch::CreateKey(const std::string& key)
{
    FChanges.push_back({ckCreateKey, key, {}, {}});
}

void TRegistryBatch::WriteValue(const std::string& key, const std::string& name, TRegValue value)
{
    FChanges.push_back({ckWriteValue, key, name, std::move(value)});
}

void TRegistryBatch::DeleteValue(const std::string& key, const std::string& name)
{
    FChanges.push_back({ckDeleteValue, key, name, {}});
}

void TRegistryBatch::ClearKey(const std::string& key)
{
    FChanges.push_back({ckClearKey, key, {}, {}});
}

void TRegistryBatch::DeleteKey(const std::string& key)
{
    FChanges.push_back({ckDeleteKey, key, {}, {}});
}

void TRegistryBatch::Append(const TRegistryBatch& other)
{
    FChanges.insert(FChanges.end(), other.FChanges.begin(), other.FChanges.end());
}

// ---- the store ---------------------------------------------------------------------------

TRegistryStore::TRegistryStore(std::string path)
    : FPath(std::move(path))
    , FRoot(std::make_unique<TRegKeyNode>())
{ }

TRegistryStore::~TRegistryStore()
{
    if (FFd >= 0) {
        Sys().Close(FFd);
    }
}

void TRegistryStore::Refresh()
{
    struct statx sx { };
    if (Sys().Statx(AT_FDCWD, FPath.c_str(), 0, IdentityMask, &sx) != 0) {
        int code = errno;
        if (code == ENOENT && FLoaded && FFd < 0 && !FLoadError) {
            return; // still no file
        }
    } else if (FLoaded && FFd >= 0) {
        TFileIdentity now = IdentityOf(sx);
        if (now.Device == FDevice && now.Inode == FInode && now.Size == FSize &&
            now.ModifiedNs == FModifiedNs) {
            return; // the file the cache came from
        }
    }

    TUniqueFd fd;
    std::string content;
    TFileIdentity identity;
    TSysError error = LoadFile(FPath, fd, content, identity);
    auto root = std::make_unique<TRegKeyNode>();
    FDamaged = false;
    FLoadError = {};
    if (error && error.Code != ENOENT) {
        FLoadError = error;
    } else if (!error) {
        FDamaged = !ParseRegText(content, *root);
    }
    FRoot = std::move(root);
    if (FFd >= 0) {
        Sys().Close(FFd);
    }
    FFd = fd.Release();
    FDevice = identity.Device;
    FInode = identity.Inode;
    FSize = identity.Size;
    FModifiedNs = identity.ModifiedNs;
    FLoaded = true;
}

TSysError TRegistryStore::ReadValue(
    const std::string& key, const std::string& name, TRegValue& value)
{
    std::lock_guard<std::mutex> guard(FMutex);
    Refresh();
    if (FLoadError) {
        return FLoadError;
    }
    TRegKeyNode* node = FindKey(*FRoot, SplitKeyPath(key));
    if (!node) {
        return {ENOENT};
    }
    auto it = FindValue(*node, name);
    if (it == node->Values.end()) {
        return {ENOENT};
    }
    value = it->Value;
    return {};
}

bool TRegistryStore::KeyExists(const std::string& key)
{
    std::lock_guard<std::mutex> guard(FMutex);
    Refresh();
    return !FLoadError && FindKey(*FRoot, SplitKeyPath(key)) != nullptr;
}

TSysError TRegistryStore::ValueNames(const std::string& key, std::vector<std::string>& names)
{
    names.clear();
    std::lock_guard<std::mutex> guard(FMutex);
    Refresh();
    if (FLoadError) {
        return FLoadError;
    }
    TRegKeyNode* node = FindKey(*FRoot, SplitKeyPath(key));
    if (!node) {
        return {ENOENT};
    }
    for (const auto& named : node->Values) {
        names.push_back(named.Name);
    }
    return {};
}

bool TRegistryStore::LoadedDamaged()
{
    std::lock_guard<std::mutex> guard(FMutex);
    Refresh();
    return FDamaged;
}

TSysError TRegistryStore::CreateKey(const std::string& key)
{
    TRegistryBatch batch;
    batch.CreateKey(key);
    return Apply(batch);
}

TSysError TRegistryStore::WriteValue(
    const std::string& key, const std::string& name, const TRegValue& value)
{
    TRegistryBatch batch;
    batch.WriteValue(key, name, value);
    return Apply(batch);
}

TSysError TRegistryStore::DeleteValue(const std::string& key, const std::string& name)
{
    TRegistryBatch batch;
    batch.DeleteValue(key, name);
    return Apply(batch);
}

TSysError TRegistryStore::ClearKey(const std::string& key)
{
    TRegistryBatch batch;
    batch.ClearKey(key);
    return Apply(batch);
}

TSysError TRegistryStore::DeleteKey(const std::string& key)
{
    TRegistryBatch batch;
    batch.DeleteKey(key);
    return Apply(batch);
}

TSysError TRegistryStore::Apply(const TRegistryBatch& batch)
{
    std::lock_guard<std::mutex> guard(FMutex);
    return LockedUpdate(batch);
}

TSysError TRegistryStore::LockedUpdate(const TRegistryBatch& batch)
{
    if (batch.Empty()) {
        return {};
    }
    if (FPath.empty()) {
        return {ENOENT}; // no home folder, so no place for the file
    }
    // Changes that are not valid fail on their own, before any file is touched.
    TSysError firstError;
    bool anyValid = false;
    for (const auto& change : batch.Changes()) {
        if (TSysError error = CheckChange(change)) {
            firstError = firstError ? firstError : error;
        } else {
            anyValid = true;
        }
    }
    if (!anyValid) {
        return firstError;
    }

    if (TSysError error = MakeFolders(FolderOf(FPath))) {
        return error;
    }
    std::string lockPath = FPath + ".lock";
    TUniqueFd lock(Sys().Open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOCTTY, 0600));
    if (!lock.Valid()) {
        return {errno};
    }
    if (Sys().Flock(lock.Get(), LOCK_EX) != 0) {
        return {errno};
    }

    // Read the file as it is now: another copy of the program may have changed it since this
    // store last looked. A file that exists but cannot be read is never overwritten.
    TUniqueFd oldFd;
    std::string content;
    TFileIdentity identity;
    TSysError readError = LoadFile(FPath, oldFd, content, identity);
    if (readError && readError.Code != ENOENT) {
        return readError;
    }
    auto root = std::make_unique<TRegKeyNode>();
    bool damaged = !readError && !ParseRegText(content, *root);

    bool changed = false;
    for (const auto& change : batch.Changes()) {
        ApplyChange(*root, change, changed);
    }

    TUniqueFd newFd;
    if (changed) {
        if (damaged) {
            // Keep what could not be read, so that nothing of it is lost for good.
            if (TSysError error = ReplaceFileAtomically(FPath + ".damaged", content, 0600)) {
                return error;
            }
        }
        if (TSysError error = ReplaceFileAtomically(FPath, FormatRegText(*root), 0600, &newFd)) {
            return error;
        }
        struct statx sx { };
        if (Sys().Statx(newFd.Get(), "", AT_EMPTY_PATH, IdentityMask, &sx) != 0) {
            newFd.Reset();
        } else {
            identity = IdentityOf(sx);
        }
        damaged = false;
    } else {
        newFd = std::move(oldFd);
    }

    // The cache now holds what the file holds.
    FRoot = std::move(root);
    if (FFd >= 0) {
        Sys().Close(FFd);
    }
    FFd = newFd.Release();
    FDevice = identity.Device;
    FInode = identity.Inode;
    FSize = identity.Size;
    FModifiedNs = identity.ModifiedNs;
    FDamaged = damaged;
    FLoadError = {};
    FLoaded = FFd >= 0 || readError.Code == ENOENT;
    return firstError;
}

// ---- the program's store -----------------------------------------------------------------

std::string DefaultRegistryPath()
{
    std::string configHome = ConfigHome();
    return configHome.empty() ? std::string() : configHome + "Zanthory/Twinrake.reg";
}

namespace {
std::atomic<TRegistryStore*> InstalledStore {nullptr};
} // namespace

TRegistryStore& RegistryStore()
{
    TRegistryStore* store = InstalledStore.load(std::memory_order_acquire);
    if (store) {
        return *store;
    }
    static TRegistryStore programStore(DefaultRegistryPath());
    return programStore;
}

TScopedRegistryStore::TScopedRegistryStore(TRegistryStore& replacement)
    : FPrevious(InstalledStore.exchange(&replacement, std::memory_order_acq_rel))
{ }

TScopedRegistryStore::~TScopedRegistryStore()
{
    InstalledStore.store(FPrevious, std::memory_order_release);
}

} // namespace platform
