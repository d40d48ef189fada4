#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The registry store's keys and values, and the text of its file: the .reg text format
// ("Windows Registry Editor Version 5.00", one "[HKEY_CURRENT_USER\...]" section per key, one
// line per value). Plain functions on a tree in memory; the store (RegistryStore.h) reads and
// writes the file and applies changes under its lock.

// The type of a stored value. The numbers are the type numbers of the .reg text format
// ("hex(2):" is an expandable string), so a value of a type this program does not use is
// kept with its number and written back unchanged.
enum TRegType : std::uint32_t {
    rtString = 1,
    rtExpandString = 2,
    rtBinary = 3,
    rtDword = 4,
    rtQword = 11,
};

// One stored value. Data holds the text as UTF-8 (without a terminating zero) for rtString
// and rtExpandString, and the raw bytes for every other type (a DWORD is 4 bytes, a QWORD 8
// bytes, both little-endian).
struct TRegValue {
    std::uint32_t Type = rtBinary;
    std::string Data;

    friend bool operator==(const TRegValue&, const TRegValue&) = default;

    static TRegValue Dword(std::uint32_t value);
    static TRegValue Qword(std::uint64_t value);
    static TRegValue String(std::string text);
    static TRegValue ExpandString(std::string text);
    static TRegValue Binary(std::string bytes);
};

// One key of the tree: its values in stored order and its subkeys in stored order. The root
// of a tree stands for HKEY_CURRENT_USER and has no name.
struct TRegKeyNode {
    struct TNamedValue {
        std::string Name;
        TRegValue Value;
    };
    std::string Name;
    std::vector<TNamedValue> Values;
    std::vector<TRegKeyNode> Keys;
};

// Key and value names are compared without regard to case, as the registry does (names that
// are not valid UTF-8 by their bytes' own code points).
bool SameName(const std::string& a, const std::string& b);
// True when the text holds a character below U+0020, which no name of the file may hold.
bool HasControlCharacter(const std::string& text);
// The names of a key path, "\" between them; leading, trailing and doubled separators give no
// name.
std::vector<std::string> SplitKeyPath(const std::string& path);

// The key at the path below root, or null.
TRegKeyNode* FindKey(TRegKeyNode& root, const std::vector<std::string>& parts);
// The key at the path below root, made with its missing parents (changed set when it was).
TRegKeyNode& MakeKey(TRegKeyNode& root, const std::vector<std::string>& parts, bool& changed);
std::vector<TRegKeyNode::TNamedValue>::iterator FindValue(
    TRegKeyNode& key, const std::string& name);
// Sets a value, keeping the name as first written when it exists already; true when the key
// changed.
bool SetValue(TRegKeyNode& key, const std::string& name, const TRegValue& value);
// Removes the key at the path with everything below it; true when there was one.
bool RemoveKey(TRegKeyNode& root, const std::vector<std::string>& parts);

// Reads the text of a store file (UTF-8, or UTF-16LE with its byte-order mark) into root,
// whatever its state: everything that can be read is read. False when any part of it could not
// be used.
bool ParseRegText(std::string text, TRegKeyNode& root);
// The text of a store file for the tree: parsing it gives the same tree again.
std::string FormatRegText(const TRegKeyNode& root);

} // namespace platform
