#pragma once

#include "platform/FileIdentity.h"
#include "platform/FileTime.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

class TDFinder;
class TDImage;
class TThreadPool;

// The work of the Perform command on the checked files of the results: delete them to the
// trash or for good, move or copy them to a target folder, or replace each by a symbolic link
// to a kept file of its group. No widget here: the file-operation dialog shows what this
// reports, and the tests run it on temporary folders.
//
// Nothing here may cost the user the last copy of a file:
// - moves and copies never replace a file (flat names are numbered past every name taken, in
//   this run or on disk; any other clash fails and the file stays checked);
// - just before a file is deleted or replaced by a link it must still be what the scan listed
//   (same size and modification time), and a file of its group that the user keeps must still
//   be there unchanged; otherwise it is left alone, stays checked and the log says why;
// - a checked file that is a kept file reached under another path (through a folder link or a
//   bind mount) is never acted on;
// - a link is made only to an existing regular file other than the one it replaces, is checked
//   to lead to that file before the replaced file is deleted, and is rolled back otherwise;
// - every file gets an explicit result: one that was never worked on (Stop) counts as not
//   done and stays checked in the results.

// The actions of the Perform command, in the order of its action box.
enum TPerformAction : std::uint8_t {
    paRecycleBin = 0, // delete to the trash
    paDelete = 1, // delete for good
    paMove = 2,
    paCopy = 3,
    paSymbolicLinks = 4, // replace by symbolic links to the group's kept file
};

// "Delete", "Move", "Copy" or "Create Symbolic Links".
std::string OperationWordOf(TPerformAction action);
// The dialog's caption: "Delete Files", "Move Files", "Copy Files" or "Create Symbolic Links".
std::string DialogCaptionOf(TPerformAction action);
// The status line while files are handed over: "Deleting file... (3/10)"; empty for links,
// which show none.
std::string StatusTextOf(TPerformAction action, std::int32_t done, std::int32_t total);
// The status line at the end: "Delete operation completed." or "Delete operation aborted.".
std::string EndStatusTextOf(TPerformAction action, bool aborted);

// One file of a group as the scan listed it.
struct TWorkFile {
    std::string Path;
    std::int64_t Size = 0;
    platform::TFileTime LastWriteTime;
    bool Checked = false;
    // The record the file came from; only compared, never read, by the work.
    const TDImage* Record = nullptr;
};

// One group of the results: its number and its files in the group's order.
struct TWorkGroup {
    std::int32_t GroupNumber = 0;
    std::vector<TWorkFile> Files;
};

// The groups of the finder that have files, in list order, with each file as listed and
// whether it is checked. Records that are in no group are not taken.
std::vector<TWorkGroup> CollectWorkGroups(const TDFinder& finder);

struct TFileWorkOptions {
    TPerformAction Action = paRecycleBin;
    // Moves and copies: the folder the files go to (an absolute path).
    std::string TargetFolder;
    // Moves and copies: the file's whole folder is rebuilt below the target folder; else the
    // files go straight into it, their names numbered where they clash.
    bool KeepFolderStructure = true;
    // Deletes and moves: afterwards, every folder that files were taken from is removed when
    // it is empty now, and so are its parents that became empty, up to (never including) the
    // listed folder of the scan it lies in. Only empty folders go (rmdir).
    bool DeleteEmptyFolders = false;
    // The folders the scan listed; empty folders are removed only below one of them.
    std::vector<std::string> ScanRoots;
    // Index into ThreadPriorities for the workers.
    std::uint8_t Priority = 2;
    std::int32_t Workers = 8;
};

enum TItemOutcome : std::uint8_t {
    ioNotRun, // never worked on (Stop, or a task that did not run): the file stays checked
    ioDone,
    ioFailed, // the file stays checked; Code or Reason says why, else a log line did
    ioNotFound, // the file did not exist when its turn came
};

struct TItemResult {
    TItemOutcome Outcome = ioNotRun;
    // The errno code of the failure, or 0.
    int Code = 0;
    // A failure that has no code: why the file was left alone.
    std::string Reason;
};

// One checked file to work on.
struct TWorkItem {
    std::size_t Group = 0;
    std::size_t File = 0;
    // Moves and copies: the full target path, once chosen.
    std::string Target;
    TItemResult Result;
};

// What the run reports while it goes. Line and Progress come from the thread that runs Run,
// in the order of the work; ItemFinished comes from that thread or from a pool worker, so an
// implementation must be safe on several threads at once. None of them may raise.
class TFileWorkEvents {
public:
    virtual ~TFileWorkEvents() = default;
    // A line for the log.
    virtual void Line(const std::string& line) = 0;
    // done of total checked files have been handed over.
    virtual void Progress(std::int32_t done, std::int32_t total) = 0;
    // The result of item (an index into Items()).
    virtual void ItemFinished(std::size_t item, const TItemResult& result)
    {
        (void)item;
        (void)result;
    }
};

// How the trash space check learns what a trash holds and may hold (platform/Trash.h by
// default; tests hand in their own).
struct TTrashSpaceSource {
    std::function<bool(const std::string& path, std::int64_t& size, std::int64_t& count)> Query;
    std::function<std::int64_t(const std::string& path)> Capacity;
    static TTrashSpaceSource System();
};

// Reasons of failures that have no errno code.
inline const std::string ChangedSinceScanReason = "changed since the scan";
inline const std::string NoKeptCopyReason = "no unchanged copy is left in its group";
inline const std::string SameAsKeptReason = "it is the same file as the kept copy";
inline const std::string LinkLeadsElsewhereReason = "the link does not lead to the kept copy";
inline const std::string NotDoneReason = "not done";

// The extension that stands in for a file's own while a link takes its place.
inline const std::string TemporaryLinkExtension = ".tmp$_$";

// One run of the Perform command over a snapshot of the groups. The checks and Run are called
// by one thread (Run may run on a thread of its own); Stop may be called from any thread.
class TFileWork {
public:
    TFileWork(std::vector<TWorkGroup> groups, TFileWorkOptions options);
    ~TFileWork();
    TFileWork(const TFileWork&) = delete;
    TFileWork& operator=(const TFileWork&) = delete;

    const TFileWorkOptions& Options() const { return FOptions; }
    const std::vector<TWorkGroup>& Groups() const { return FGroups; }
    // One item per checked file, in the order they are handed over: groups in order, each
    // group's files from the last to the first.
    const std::vector<TWorkItem>& Items() const { return FItems; }
    std::int32_t CheckedCount() const { return std::int32_t(FItems.size()); }

    // ---- checks before the run ----

    // Deletes to the trash: true when a checked file that exists cannot go to a trash on its
    // own file system. Remembers which folders hold such files.
    bool HasNonRecyclableFiles();
    // The user agreed that the files HasNonRecyclableFiles found are deleted for good. Without
    // it they are only ever trashed (and fail where that is impossible).
    void AllowPermanentDeleteOfNonRecyclable(bool allow) { FPermanentForNonRecyclable = allow; }
    // Deletes to the trash: false when some trash cannot take the checked files that would go
    // into it (its capacity less what it holds is less than their sizes, or its capacity reads
    // 0). A trash that cannot be queried, or whose capacity cannot be read, is not checked.
    bool CheckRecycleBinSpace(const TTrashSpaceSource& source) const;
    // Moves and copies: empty when the run may go on; else the one log line that ends it
    // (no target folder, or not enough free space for the files that take space there:
    // every copy, and moves to another file system). Sets NeededBytes and FreeBytes.
    std::string CheckTarget();
    std::int64_t NeededBytes() const { return FNeededBytes; }
    std::int64_t FreeBytes() const { return FFreeBytes; }

    // ---- the run ----

    // Works on every checked file; blocks until every file handed to the pool is done.
    // Deletes, moves and copies run on a pool of Options().Workers threads; links are made on
    // the calling thread.
    void Run(TFileWorkEvents& events);
    // Ends the run between files: files not handed over yet, and handed-over files whose turn
    // has not come, are not worked on.
    void Stop() { FStopRequested = true; }
    bool StopRequested() const { return FStopRequested; }

    // After the run: a target folder could not be made because its path was too long.
    bool PathHint() const { return FPathHint; }
    // After the run: the emptied folders that were removed.
    const std::vector<std::string>& RemovedFolders() const { return FRemovedFolders; }

    // Tests decide for themselves which files can go to a trash.
    std::function<bool(const std::string& path)> CanTrash;

private:
    void Dispatch(std::size_t item, TThreadPool* pool, TFileWorkEvents& events);
    void DispatchTransfer(std::size_t item, TThreadPool& pool, TFileWorkEvents& events);
    bool IsKeptFileUnderAnotherPath(const TWorkGroup& group, const TWorkFile& file) const;
    TItemResult CheckBeforeDestroying(const TWorkGroup& group, const TWorkFile& file) const;
    // The group's first unchecked file that is still as the scan listed it and is not except
    // itself under another path; its identity goes to identity when given.
    const TWorkFile* FindKeptCopy(const TWorkGroup& group, const TWorkFile& except,
        const platform::TFileIdentity& exceptIdentity, platform::TFileIdentity* identity) const;
    void RunDelete(std::size_t item, TFileWorkEvents& events);
    void RunTransfer(std::size_t item, TFileWorkEvents& events);
    void MakeLink(std::size_t item, TFileWorkEvents& events);
    void RollBackLink(
        const std::string& path, const std::string& temporary, TFileWorkEvents& events);
    std::string FlatTargetName(const std::string& name, TFileWorkEvents& events);
    void Finish(std::size_t item, TItemResult result, TFileWorkEvents& events);
    void RemoveEmptiedFolders();

    std::vector<TWorkGroup> FGroups;
    TFileWorkOptions FOptions;
    std::vector<TWorkItem> FItems;
    std::atomic<bool> FStopRequested {false};
    bool FPathHint = false;
    bool FPermanentForNonRecyclable = false;
    std::set<std::string> FNonRecyclableFolders;
    std::int64_t FNeededBytes = 0;
    std::int64_t FFreeBytes = -1;
    // Flat target names used by this run (exact, case-sensitive).
    std::unordered_set<std::string> FTargetNames;
    // Folder-creation messages already written.
    std::unordered_set<std::string> FListedMessages;
    std::vector<std::string> FRemovedFolders;
};

// What the end of a run shows: the summary lines, one per failed file, then "Operation
// complete." or "Operation aborted.", or the failure block.
struct TWorkSummary {
    std::vector<std::string> Lines;
    std::int32_t ErrorCount = 0;
    bool PathHint = false;
};

// Brings the finder up to date with the run, walking its files from the last to the first
// and touching only the records the run worked on: failed files stay, checked; files never
// worked on stay, checked (after Stop silently, else as failures "not done"); deleted, moved
// and linked files, and files that were not found, leave the results (their records are
// freed); after a copy every record stays where it is. errorCodesAddress ends the failure
// block. Call on the thread that owns the finder, after Run has returned.
TWorkSummary ApplyWorkResults(
    TDFinder& finder, const TFileWork& work, const std::string& errorCodesAddress);

// "0x" and the code in upper-case hexadecimal, at least two digits ("0x0D").
std::string HexCode(int code);

// The message for a target folder that is not an absolute path: it is refused, never taken
// relative to the program's current folder.
std::string TargetNotFullPathText(const std::string& folder);
