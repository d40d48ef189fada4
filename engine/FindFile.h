#pragma once

#include "platform/FindRecord.h"
#include "platform/SpecialFolders.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class TFilter;
class TPauseGate;

// The kinds of directory entries a search takes, as a set: bit (1 << option) per option.
enum TAttrOption : std::uint8_t {
    ffReadOnly,
    ffHidden,
    ffSystem,
    ffVolumeID,
    ffDirectory,
    ffArchive,
};
using TAttrOptions = std::uint8_t;

constexpr TAttrOptions AttrOptionBit(TAttrOption option)
{
    return TAttrOptions(1u << option);
}

// Read-only, hidden, system and archive entries: every file.
inline constexpr TAttrOptions DefaultAttributes = 39;

class TFindFile;

// Called before the files of each folder are listed; newPath ends with "/". Setting abort
// ends the walk.
using TNewPathEvent = std::function<void(
    TFindFile& sender, const std::string& newPath, std::int32_t filesCount, bool& abort)>;
// Called for each accepted file: path is its folder (ending with "/"), searchRec its listing
// record.
using TNewFileEvent =
    std::function<void(const std::string& path, const platform::TFindRecord& searchRec)>;

// The folders the search tests paths against, each ending with "/".
struct TSearchSpecialFolders {
    // The folders that system-folder protection keeps out of a search.
    platform::TProtectedFolders Protected;
    // The Desktop, where shortcut files (".lnk") are not reported when every file is wanted.
    // Empty: the rule is off.
    std::string Desktop;
};

// The file searcher: walks root folders breadth first and reports every regular file that
// passes its tests (listing attributes, extension patterns, zero size, system-folder
// protection, the Desktop shortcut rule and the scan filter). It knows nothing of duplicates.
//
// What the walk reports: regular files only. Symbolic links to folders are followed unless
// they lead to an ancestor, into the folder being listed or under a root; links to files,
// FIFOs, sockets and devices are never reported; pseudo file systems are never entered.
// Every folder is walked at most once per Execute, whatever links or mounts lead to it, so no
// file is reported twice. A folder's entries come in byte order of their names, so one tree
// always gives the same order.
//
// Threads: Execute and everything it calls (the callbacks included) run on the calling
// thread, but for the listing of folders ahead of the walk (ListingThreads), which touches
// nothing of the object. Another thread may read the result lists only after Execute has
// returned. AbortSignal may be set from any thread.
class TFindFile {
public:
    // Protected folders and Desktop of the current user (CurrentSpecialFolders).
    TFindFile();
    // The given folders (normalised: a trailing "/" added, empty and "/" entries switch
    // their rules off). Fixed for the life of the object.
    explicit TFindFile(TSearchSpecialFolders folders);
    TFindFile(const TFindFile&) = delete;
    TFindFile& operator=(const TFindFile&) = delete;

    // The special folders of the user running the program. The Desktop rule is off when the
    // Desktop is unknown or is the home folder itself.
    static TSearchSpecialFolders CurrentSpecialFolders();

    // The search: clears Files and the two folder lists, then takes each entry of Folders in
    // order (or Directory when Folders is empty) and walks it (Recurse) or searches only its
    // own files. Does not clear Abort.
    void Execute();
    // The system-folder test of protection; records the folder in SkippedFolders when true.
    bool IsSystemFolder(const std::string& folder);
    // Tests and reports the files of one folder.
    void SearchFolder(const std::string& folder);
    // Breadth-first walk of one root: each folder's subfolders are queued before its own
    // files are searched.
    void SearchTree(const std::string& root);
    // True when the path lies in one of the roots (Folders, or Directory when Folders is
    // empty).
    bool IsUnderRoot(const std::string& path) const;

    // Extension patterns: "*" followed by an extension with its dot ("*.txt"), "*" for names
    // without extension, or "*.*" for every file. The list is kept sorted without duplicates;
    // patterns compare with letter case ignored. No pattern: no file is reported.
    void SetFilters(const std::vector<std::string>& filters);
    const std::vector<std::string>& Filters() const { return FFilters; }

    const TSearchSpecialFolders& SpecialFolders() const { return FSpecialFolders; }

    // Walk subfolders, or only the roots' own files.
    bool Recurse = false;
    // The root used when Folders is empty.
    std::string Directory;
    // The roots, searched in list order.
    std::vector<std::string> Folders;
    // Full paths of accepted files, filled only while OnNewFileEvent is not assigned.
    std::vector<std::string> Files;
    // Which entries the listing takes; a hidden entry needs ffHidden.
    TAttrOptions Attributes = DefaultAttributes;
    TNewPathEvent OnNewPath;
    TNewFileEvent OnNewFileEvent;

    // Stops the walk; OnNewPath may set it.
    bool Abort = false;
    // A shared stop flag (the scan's), read wherever Abort is: when it is set, Abort is set.
    // It is also read between the folders that protection skips, where OnNewPath is not
    // called. Not owned; may be null.
    const std::atomic<bool>* AbortSignal = nullptr;
    bool SkipSystemFolders = false;
    // The scan filter, not owned; may be null.
    const TFilter* Filter = nullptr;
    bool SkipZeroSizeFiles = false;
    // Threads that list the queued folders of a walk ahead of it (0: the walk lists each
    // folder itself), and their priority level (SetCurrentThreadPriority). The walk still
    // takes the folders, their checks and their files in the same order.
    std::int32_t ListingThreads = 0;
    std::uint8_t ListingPriority = 3;
    // The pause the listing threads heed (a scan's; not owned, may be null): while it holds,
    // they stop after the folder in hand, and the walk's wait for them counts as held.
    TPauseGate* ListingPause = nullptr;

    // Folders that protection kept out of the last search, each ending with "/".
    std::set<std::string> SkippedFolders;
    // Folders of files that the filter left out of the last search (exclude mode), each
    // ending with "/".
    std::set<std::string> FilteredFolders;

private:
    struct TQueuedFolder {
        std::string Path; // ends with "/"
        std::uint64_t Device = 0;
        // The folder's listing job when the walk lists ahead.
        std::size_t Job = 0;
    };

    bool AbortRequested();
    // Claims a root's folder for its walk: false for a pseudo file system or a folder
    // claimed already in this search.
    bool EnterRoot(const std::string& root, TQueuedFolder& entry);
    // The breadth-first walk from a claimed root.
    void WalkTree(TQueuedFolder first);
    void AddSubfolders(std::deque<TQueuedFolder>& queue, const TQueuedFolder& folder,
        const std::vector<platform::TFindRecord>& entries);
    // SearchFolder on entries listed already (null: list the folder now). A root is not
    // tested for protection.
    void SearchListedFolder(
        const std::string& folder, const std::vector<platform::TFindRecord>* listed, bool isRoot);
    void ReportFile(const std::string& folder, const platform::TFindRecord& entry);

    TSearchSpecialFolders FSpecialFolders;
    std::vector<std::string> FFilters;
    // The patterns lower-cased, for the lookup of an entry's pattern.
    std::set<std::string> FLowerFilters;
    // (device, inode) of every folder walked in this search.
    std::set<std::pair<std::uint64_t, std::uint64_t>> FVisited;
};

// The one file searcher of the program: created by the main window when it starts and freed
// when it closes; null otherwise.
extern TFindFile* FileSearcher;
