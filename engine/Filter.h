#pragma once

#include "platform/FileTime.h"
#include "platform/FindRecord.h"

#include <cstdint>
#include <string>
#include <vector>

// The scan filter: which files a scan leaves out (exclude mode) or takes alone (include mode).
//
// The rules are the listed folders and the folder-name words (together one rule), the
// extension patterns, the file-name words, a smaller-than and a bigger-than size, and an
// older-than and a newer-than date. In exclude mode (FilterMode 0) a file that matches any rule
// is left out; in include mode (every other FilterMode) only a file that matches every rule in
// use is taken, and with no rule in use every file is.
//
// A plain value: the options own one, and a scan works on a copy taken when it starts, so the
// user interface may change the options' filter while a scan runs. Matches only reads, so any
// number of threads may call it on one object that nobody changes.
class TFilter {
public:
    // Every field zero, empty or False.
    TFilter() = default;

    // Reads the filter's values from the registry (section "Settings", folders from section
    // "FiltFolders"); a value that is missing, unreadable or out of its range gets its default.
    void Load();
    // Writes them, in one batch of the registry store. False when they could not be stored.
    bool Save() const;

    // Store the text and refill its list from it, split at every "|" (an empty text gives an
    // empty list).
    void SetExcludeExt(const std::string& text);
    void SetExcludeFileNameWords(const std::string& text);
    void SetExcludeFolderNameWords(const std::string& text);

    // The file-name word rule: false unless FiltDoNotMarkFileNames is on; otherwise true when a
    // word of FiltExcludeFileNameWordList occurs in the name without its extension, letter
    // case ignored (an empty word never does), or that name matches the word as a file mask.
    bool MatchesExcludeNameWords(const std::string& fileName) const;

    // The decision for one file: folder is the folder it lies in (ending with "/"), entry its
    // listing record (name, size, times). Whether the file is then taken depends on the mode:
    // the file searcher takes it when the answer differs from the mode's rejection.
    bool Matches(const std::string& folder, const platform::TFindRecord& entry) const;

    // Extension patterns ("*" followed by the extension with its dot) separated by "|".
    std::string FiltExcludeExt;
    // File-name words separated by "|".
    std::string FiltExcludeFileNameWords;
    // Folder-name words separated by "|".
    std::string FiltExcludeFolderNameWords;
    // The file searcher applies the filter.
    bool EnableFilter = false;
    std::vector<std::string> FiltExcludeExtList;
    std::vector<std::string> FiltExcludeFileNameWordList;
    std::vector<std::string> FiltExcludeFolderNameWordList;
    // Listed folders, full paths ending with "/".
    std::vector<std::string> FiltFolders;
    bool FiltDoNotMarkSmallerFileSize = false;
    // Limit of the smaller-than rule, counted in the unit FiltSmallerFileSizeType: 0 bytes,
    // 1 KB (1024 bytes), 2 MB (1048576 bytes).
    std::int64_t FiltSmallerFileSize = 0;
    std::uint8_t FiltSmallerFileSizeType = 0;
    bool FiltDoNotMarkBiggerFileSize = false;
    std::int64_t FiltBiggerFileSize = 0;
    std::uint8_t FiltBiggerFileSizeType = 0;
    bool FiltDoNotMarkOlderFiles = false;
    // Local date-times: days since 1899-12-30, the fraction the time of day.
    double FiltOlderFilesDate = 0.0;
    bool FiltDoNotMarkNewerFiles = false;
    double FiltNewerFilesDate = 0.0;
    bool FiltDoNotMarkFileNames = false;
    bool FiltDoNotMarkFolderNames = false;
    // Which file date the older-than and the newer-than rules read: 0 creation, 1 last write,
    // 2 last access (any other value: creation).
    std::uint8_t FilterDateOlderType = 0;
    std::uint8_t FilterDateNewerType = 0;
    // 0 exclude, 1 include.
    std::uint8_t FilterMode = 0;
};

// ---- helpers shared with the options ---------------------------------------------------------

// The size in bytes of a size unit: 0 bytes (1), 1 KB (1024), 2 MB (1048576); 0 for any other
// unit value, which makes a size rule give no hit.
std::int64_t SizeUnitBytes(std::uint8_t unit);
// Limit times the unit's bytes, held at the largest 64-bit value instead of overflowing (and
// at the smallest for a negative limit).
std::int64_t SizeLimitBytes(std::int64_t limit, std::uint8_t unit);

// The file date of the kind: 1 last write, 2 last access, 0 and every other kind creation.
platform::TFileTime FileTimeOfKind(const platform::TFindRecord& entry, std::uint8_t kind);

// Negative when date-time a is earlier than b, 0 when both agree to the millisecond, positive
// when it is later. A value that is no number counts as equal to everything.
int CompareDateTimes(double a, double b);

// The part of a path after its last "/" (the whole text when it has none).
std::string FileNameOfPath(const std::string& path);
// The extension of a file name, from its last "." on, lower-cased, with the dot; empty when
// the name has no ".", or when its only "." is the first character (a hidden file's name).
std::string LowerCaseExtension(const std::string& fileName);
// The file name without that extension.
std::string NameWithoutExtension(const std::string& fileName);

// Whether the list holds the pattern, letter case ignored.
bool ListHoldsText(const std::vector<std::string>& list, const std::string& text);
// The word test of the filter and the exclusion rules: true when a word, lower-cased, occurs
// in the lower-cased text (an empty word never does) or the text matches the word as a file
// mask.
bool MatchesAnyWord(const std::string& text, const std::vector<std::string>& words);
