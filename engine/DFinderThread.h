#pragma once

#include "engine/DImage.h"
#include "engine/FirstOfSize.h"
#include "engine/PauseGate.h"
#include "engine/SettingsUnit.h"
#include "engine/SharedString.h"

#include <QStringView>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TByteArrayPool;
class TDFinder;
class TFindFile;
class TThreadPool;

namespace platform {
struct TFindRecord;
}

// The stop flag of a scan: set by the user interface (Stop, closing during a scan), read by the
// scan thread between steps, by the file listing before each folder and by the comparison
// jobs. The scan thread never clears it: whoever starts a scan clears it before starting the
// thread, so a Stop given before the thread runs is not lost.
extern std::atomic<bool> ScanAborted;

// The roots a scan lists, worked out from the folder list (each entry ending with "/"):
// symbolic links are replaced by their targets (or dropped when the target is listed too),
// then, when subfolders are searched, every entry lying inside another entry (or equal to
// one) is dropped, so each folder is searched once, from the outer root; without subfolders
// only entries listed twice are dropped, since a nested folder's own files would otherwise
// never be listed. Later entries go before earlier ones. Paths compare exactly, by whole
// components. A folder that does not exist is kept as it is (the listing leaves it out).
std::vector<std::string> NormaliseRoots(const std::vector<std::string>& folders, bool recurse);

// One scan, from the finder's folder list to its finished groups, on a thread of its own.
//
// How a scan runs. The scan thread resets the finder and lists the roots' files through the
// file searcher (one TDImage per file, in size buckets for the equal-files method, made for
// the sizes that two or more files share); it then preprocesses them (the equal-files method
// hashes the first chunk of every file that shares its size, opens the others, and drops the
// files that cannot be read) and compares them by the chosen method:
//   0 equal files: the files of each size bucket are split into classes of equal content by
//     their chunk hashes, chunk by chunk, and each class of two or more becomes a group;
//   1 similar files: every pair of files of close enough sizes is measured on a thread pool of
//     one worker per processor (TComparer, Comparer.h), and the pairs are joined into groups
//     in their order, whatever the order in which their comparisons end;
//   2 similar names: every pair by the edit distance of the lower-cased names;
//   3 equal sizes: every size shared by two or more files becomes a group.
// The chunk hashing of the equal-files method (the first chunks while preprocessing, the
// splitting of the buckets while comparing) runs on worker threads, one per processor, ahead
// of the scan thread, which takes their results over in its own order; while the scan is
// paused the workers hold after the piece in hand. The folders of the walk are listed ahead of
// it in the same way.
// Last it drops every file without a group and every group of one file. Groups are numbered
// in the order of their first file in the file list; a group's files follow the file list.
//
// The thread reports only through the finder's State, Progress and FileCount (atomics that the
// user interface polls) and through OnTerminate at its end. Progress while comparing is a
// percentage from 0 to 100 (never below 0).
//
// Ownership: the owner (the main window) creates the object with the finder, the file searcher
// and the options, starts it, and joins it when OnTerminate has told it that the scan ended;
// the destructor asks a running scan to end (Terminate) and joins it. The object keeps its own
// copy of the options, taken when it is made, so the scan never reads AppSettings; the finder
// and the searcher must outlive it, and nobody else touches them while the scan runs.
//
// Threads: Start, WaitFor, DetachOnTerminate and the destructor belong to the owner's thread.
// Pause, Resume, Stop, Terminate, Suspended and Terminated may be called from any thread, the
// scan thread included. The stages (ListFiles ... CleanUp) and the handlers run on the scan
// thread; a test may run them on its own thread instead of starting the object.
class TDFinderThread {
public:
    TDFinderThread(TDFinder& finder, TFindFile& searcher, const TSettings& settings);
    ~TDFinderThread();
    TDFinderThread(const TDFinderThread&) = delete;
    TDFinderThread& operator=(const TDFinderThread&) = delete;

    // Starts the scan thread, once. False when the thread could not be started (OnTerminate
    // does not run then).
    bool Start();
    // Waits for the scan thread to end and joins it; returns at once when it was never started,
    // has been joined already, or when called on the scan thread itself.
    void WaitFor();

    // Pause holds the scan at its next gates. The scan thread waits at its next gate: between
    // steps, before each folder of the listing, before each file of the preprocessing, at every
    // abort test of the methods, and between the pieces of a chunk it hashes itself. The hashing
    // and listing workers stop after the piece (at most HashReadSize bytes) or the folder in
    // hand. Comparison jobs already handed to the pool (similar files) run to their end; no new
    // one is handed out. Resume goes on exactly where the scan stopped, so the results are those
    // of a scan that was never paused; Stop and closing end a paused scan.
    void Pause();
    void Resume();
    // True while paused and held: the scan thread waits (at a gate, for a paused worker, or to
    // hand out a comparison) and no hashing or listing worker is reading. State, Progress and
    // FileCount do not change meanwhile.
    bool Suspended() const;
    // Sets ScanAborted and opens the gate: the scan ends at its next test, keeping the groups
    // found until then.
    void Stop();
    // The closing request: sets the terminate flag and opens the gate. The scan skips what
    // remains (the method and the clean-up when they have not begun) and running comparisons
    // stop between chunk pairs. Does not set ScanAborted; the owner sets that as well.
    void Terminate();
    bool Terminated() const;
    // Why the scan failed: the text of the error that ended it early, empty when the scan
    // finished or was stopped. A failed scan ends like a finished one otherwise (OnTerminate
    // runs, the finder holds what was found); read this once OnTerminate has run.
    std::string ErrorText() const;
    // OnTerminate will not run any more (when it runs at this moment, waits until it returned).
    void DetachOnTerminate();

    // Runs at the very end of the scan thread's body, once, on the scan thread, also when the
    // scan failed with an exception; it must not free this object or join its thread (the user
    // interface posts a queued call to its own thread and joins there). Set before Start.
    std::function<void()> OnTerminate;
    // For tests: runs on the scan thread at every gate, before the thread waits there.
    std::function<void()> OnGate;
    // The measure of two names in the similar-names method (tests count its calls).
    double (*NameMeasure)(QStringView a, QStringView b);
    // Classes of equal names the similar-names method compares in one phase (tests take few,
    // so that small trees run in many phases).
    std::int32_t NamesPhaseSize = 512;

    // The thread pool of the similar-files method while it runs, else null.
    std::atomic<TThreadPool*> Pool {nullptr};

    // The whole scan (the thread's body). Never raises.
    void Execute();

    // The stages of Execute, in order. ListFiles: resets nothing; opens the scan log when
    // logging is on, sets up the file searcher, works out the roots and lists their files.
    void ListFiles();
    // Creates the hash buffer pool and, for the equal-files method, hashes each file's first
    // chunk from the last file to the first, dropping the files that cannot be read.
    void Preprocess();
    // The method of FindMode (State 2 at its start, 3 at its end).
    void RunMethod();
    // Drops the files without a group and the groups of one file or none.
    void CleanUp();

    void CompareEqualFiles();
    void CompareSimilarFiles();
    void CompareSimilarNames();
    void CompareEqualSizes();

    // The file searcher's handlers: the folder gate, and one new record per accepted file.
    void CheckAbort(
        TFindFile& sender, const std::string& newPath, std::int32_t filesCount, bool& abort);
    void FileFound(const std::string& path, const platform::TFindRecord& searchRec);

    TDFinder& ScanFinder() const { return FFinder; }
    // The scan's pool of chunk-hash buffers (null before Preprocess and after the scan).
    TByteArrayPool* HashPool() const { return FHashPool.get(); }
    // Logical processors, at least 1: the number of hashing workers and comparison jobs.
    std::int32_t ProcessorCount() const { return FProcessorCount; }

private:
    // The abort test of the methods: waits at the gate while paused, then true when the scan
    // is to stop (ScanAborted or the closing request), setting the terminate flag.
    bool AbortTest();
    // Writes a line to the scan log when the scan's options have logging on.
    void Log(const std::string& text) const;
    // The threshold of the similarity methods: Similarity / 100 in double precision.
    double Threshold() const { return double(FSettings.Similarity) / 100.0; }
    // Progress in the comparing state: i * 100 / count - 2, cut to a whole number and never
    // below 0.
    void PublishProgress(std::int64_t i, std::int64_t count);

    // The scan thread's gate: OnGate, then waits while paused.
    void Gate();
    // Hashing workers for a number of jobs: one per processor, no more than jobs.
    std::int32_t WorkersFor(std::size_t jobs) const;
    bool StopRequested() const;
    void DeliverOnTerminate();
    void SetErrorText(std::string cause);

    TDFinder& FFinder;
    TFindFile& FSearcher;
    const TSettings FSettings;
    std::int32_t FProcessorCount = 1;
    std::unique_ptr<TByteArrayPool> FHashPool;
    // The folder of the files being listed, shared by their records.
    TSharedString FListedFolder;
    // While listing for the equal-files method: the sizes that have one file so far.
    TFirstOfSize FFirstOfSize;

    std::atomic<bool> FTerminated {false};
    std::atomic<bool> FClosing {false};
    // The pause of the scan thread (its consumer) and the hashing and listing workers.
    TPauseGate FPause;
    // The gates between the pieces of a chunk: the scan thread's own, and its workers'.
    const THashGate FScanPieceGate;
    const THashGate FWorkerPieceGate;

    std::mutex FTerminateLock;
    bool FTerminateDetached = false;

    mutable std::mutex FErrorLock;
    std::string FErrorText;

    std::thread FThread;
};
