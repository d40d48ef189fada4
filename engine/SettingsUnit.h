#pragma once

#include "engine/Filter.h"

#include <cstdint>
#include <string>
#include <vector>

class TDImage;

// Every option of the program, in plain fields, with the scan filter it owns.
//
// A plain value: the one the program uses is the global AppSettings, which the user interface
// reads and writes on the main thread; a scan works on a copy taken when it starts (filter
// included), so nothing the user changes meanwhile reaches a running scan.
//
// The defaults are the values Load gives when the registry holds nothing. DoNotMarkFolders and
// DeleteEmptyFolders are written by Save but never loaded, so every run starts with them False.
// The highest compare method (TSettings::FindMode): 0 equal files to 3 equal sizes.
inline constexpr std::uint8_t MaxFindMode = 3;

class TSettings {
public:
    // The options as stored: every field at its default, then Load.
    TSettings();
    // Every field at its default, without reading the registry.
    static TSettings Defaults();

    // Reads every value from the registry (section "Settings", the folder list from section
    // "QuickCheckFolders"), the filter's first. A value that is missing, unreadable or out of
    // its range gets its default. Old date values are migrated.
    void Load();
    // Writes the filter's values and then every option in one batch of the registry store.
    // False when they could not be stored: nothing is written half then.
    bool Save() const;

    // Store the text and refill its list from it, split at every "|" (an empty text gives an
    // empty list).
    void SetExcludeExt(const std::string& text);
    void SetExcludeFileNameWords(const std::string& text);
    void SetQuickCheckExt(const std::string& text);
    void SetQuickCheckFileNameWords(const std::string& text);

    // The name-word test of the exclusion rules, whatever DoNotMarkFileNames says: true when a
    // word of ExcludeFileNameWordList occurs in the path's file name without its extension,
    // letter case ignored (an empty word never does), or that name matches the word as a file
    // mask.
    bool MatchesExcludeNameWords(const std::string& path) const;
    // Whether the autocheck leaves the file alone: its extension is listed, or a switched-on
    // rule of names (of full paths with DoNotMarkFolders), sizes (limits above 0) or dates
    // holds for it.
    bool IsExcludedFromAutoCheck(const TDImage& file) const;
    // Whether the chosen after-scan action can be carried out on this system (log off, stand
    // by, hibernate, shut down; every other action can). When it cannot, the answer is false
    // and, unless silent, the reason is shown as an error message first.
    bool CheckAfterScanAction(bool silent) const;

    // Autocheck rule: 0 none, 1 smaller sizes, 2 bigger sizes, 3 older dates, 4 newer dates,
    // 5 shorter names, 6 longer names, 7 shorter paths, 8 longer paths.
    std::uint8_t AutoCheckType = 3;
    // Extension patterns ("*" + the extension with its dot) kept out of the autocheck,
    // separated by "|".
    std::string ExcludeExt;
    // Words that keep a file out of the autocheck, separated by "|".
    std::string ExcludeFileNameWords;
    std::vector<std::string> ExcludeExtList;
    std::vector<std::string> ExcludeFileNameWordList;
    // Extension patterns and name words of the quick check, separated by "|".
    std::string QuickCheckExt;
    std::string QuickCheckFileNameWords;
    std::vector<std::string> QuickCheckExtList;
    std::vector<std::string> QuickCheckFileNameWordList;
    // Action on checked files: 0 trash, 1 delete, 2 move, 3 copy, 4 symbolic links.
    std::uint8_t PerformAction = 0;
    // Visible columns of the results grid.
    std::int32_t Columns = 0x7FFFFFFF;
    // Similarity threshold of the scan, in percent.
    float Similarity = 95.0f;
    // Compare method: 0 equal files, 1 similar files, 2 similar file names, 3 equal sizes.
    std::uint8_t FindMode = 0;
    bool ScanEqualExtOnly = false;
    bool MinimizeToTray = false;
    // Shown and stored by the options dialog; nothing else reads it.
    bool LoadLastProject = true;
    bool ShowUserCheckedColor = true;
    bool ShowUserCheckedBold = false;
    bool EnableLog = false;
    bool RemoveSingleFileGroups = false;
    bool SkipZeroFiles = true;
    // Index into the thread priority table (0..6).
    std::uint8_t Priority = 2;
    bool Recurse = true;
    std::string MoveToFolder;
    std::string LastFolder;
    // Exclusion rules of the autocheck. Size limits count in the unit of their type: 0 bytes,
    // 1 KB (1024), 2 MB (1048576).
    bool DoNotMarkSmallerFileSize = false;
    std::int64_t SmallerFileSize = 0;
    std::uint8_t SmallerFileSizeType = 0;
    bool DoNotMarkBiggerFileSize = false;
    std::int64_t BiggerFileSize = 0;
    std::uint8_t BiggerFileSizeType = 0;
    bool DoNotMarkOlderFiles = false;
    // Local date-times: days since 1899-12-30, the fraction the time of day.
    double OlderFilesDate = 0.0;
    bool DoNotMarkNewerFiles = false;
    double NewerFilesDate = 0.0;
    bool DoNotMarkFileNames = false;
    // "Match full path": the name words of the exclusion rules are matched against the full
    // path (folder and name) instead of the name without its extension.
    bool DoNotMarkFolders = false;
    bool ProtectSysFiles = true;
    bool DeleteEmptyFolders = false;
    // After the scan: 0 display results, 1 save the project and display results, 2 save the
    // project and close the program, 3 to 6 save the project and then log off, stand by,
    // hibernate or shut down the computer.
    std::uint8_t AfterScan = 0;
    // Quick check (only existing folders are loaded).
    std::vector<std::string> QuickCheckFolders;
    bool QuickCheckSmallerFiles = false;
    std::int32_t QuickCheckSmallerFileSize = 0;
    std::uint8_t QuickCheckSmallerFileSizeType = 0;
    bool QuickCheckBiggerFiles = false;
    std::int32_t QuickCheckBiggerFileSize = 0;
    std::uint8_t QuickCheckBiggerFileSizeType = 0;
    bool QuickCheckOlderFiles = false;
    double QuickCheckOlderFilesDate = 0.0;
    bool QuickCheckNewerFiles = false;
    double QuickCheckNewerFilesDate = 0.0;
    bool QuickCheckFileNamesBool = false;
    bool QuickMatchFullPath = false;
    bool ShowMoveWarning = true;
    bool ShowProtectSysFilesMsg = true;
    bool ShowDelWholeGroupWarning = true;
    bool DoNotCompareExt = false;
    bool PreviewOfficeFiles = true;
    bool KeepFolderStructure = true;
    // Date kinds: 0 creation, 1 last write, 2 last access.
    std::uint8_t CompareDateType = 0;
    std::uint8_t QuickDateOlderType = 0;
    std::uint8_t QuickDateNewerType = 0;
    std::uint8_t ExcludeDateOlderType = 0;
    std::uint8_t ExcludeDateNewerType = 0;
    bool PreserveGroupOrder = true;
    TFilter Filter;

private:
    struct TNoRegistry { };
    explicit TSettings(TNoRegistry);
    // The logging switch of LogMessage follows EnableLog of AppSettings.
    void UpdateLogSwitch() const;
};

// The program's options. Until the main window loads them at start-up (AppSettings.Load()) they
// hold the defaults; Load and Save of this object also set the scan log's switch from
// EnableLog.
extern TSettings AppSettings;

// The error texts of CheckAfterScanAction.
inline const std::string NoShutdownRightsMessage =
    "You don't have permissions to log-off or shutdown the system!\r\n"
    "Please change the after scan setting.";
inline const std::string StandByNotSupportedMessage =
    "Stand-by is not supported on this system!\r\nPlease change the after scan setting.";
inline const std::string HibernateNotSupportedMessage =
    "Hibernate is not supported on this system!\r\nPlease change the after scan setting.";
