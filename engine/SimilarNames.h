#pragma once

#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// The pairs that the similar-names method joins into groups, found without measuring every pair
// of files.
//
// The method's loop takes each file i of the file list in turn, and with it each later file j;
// a pair whose names reach the threshold is joined unless both files have a group already.
// Files whose compared names are equal (and, when extensions must agree, whose extensions are
// equal too) make one class; classes are numbered in the order of their first file. Two files
// of one class always reach the threshold; files of two classes reach it when the classes
// match: their name lengths pass the loop's length test and the names' similarity reaches the
// threshold (at 100 exactly: the names are equal but for letter case).
//
// Which pairs the loop joins, and in which order, follows from one fact per class c: Match(c),
// the smallest other class that matches c. A file has no group when its turn comes exactly when
// no earlier file matches it: it is the first file of its class and Match(c) comes after c.
// Such a file is joined first with the nearest later file that matches it (the second file of
// its class or the first file of Match(c), whichever comes first). Every other pair joined is
// that of a file with the earliest file that matches it, joined at that earliest file's turn:
// the first file of its own class, or the first file of Match of its class when that comes
// before. So the loop's work is to find Match for every class; the groups follow in one pass.
//
// Match is found phase by phase, each phase a range of classes: in a phase, every class that
// still needs it compares itself with the classes of the range that may match it (by
// extension and length, from a list sorted so), in the order of the classes, and stops at the
// first that matches; each class of the range also looks on past the range as far as the
// nearest file it may join needs. Names are compared through two quick bounds (the units that
// one name has more of than the other, first by their presence, then by their count, can each
// be matched by no edit but one) and then the distance, given up as soon as it passes what the
// threshold allows for the pair's lengths. After a phase, PairsOf answers for the classes of its
// range.
//
// Threads: the constructor, BeginPhase, EndPhase and the queries belong to one thread. The jobs
// of a phase (RunJob) may run at once on any threads, each job on one thread, between
// BeginPhase and EndPhase; whoever runs them must make their writes visible to the owner before
// EndPhase (a lock handed over or a thread joined). The names must outlive the object.
class TSimilarNames {
public:
    struct TOptions {
        // The threshold, Similarity / 100.
        double Threshold = 0.95;
        // Similarity is exactly 100: names match when equal but for letter case.
        bool ExactOnly = false;
        // Files of different extensions never match; exts gives each file's extension.
        bool EqualExtOnly = false;
        // Classes a phase takes when there are enough (at most 64 phases).
        std::int32_t PhaseSize = 512;
    };

    // names: each file's compared name, in file list order; exts: each file's extension (read
    // only when EqualExtOnly is set; may be empty otherwise).
    TSimilarNames(const std::vector<QStringView>& names,
        const std::vector<const std::string*>& exts, const TOptions& options);

    std::int32_t ClassCount() const { return std::int32_t(FClassLength.size()); }
    std::int32_t ClassOf(std::int32_t file) const { return FClassOfFile[std::size_t(file)]; }
    // The files of a class, in file list order.
    std::span<const std::int32_t> FilesOf(std::int32_t cls) const;

    // Phases 0 to PhaseCount() - 1; phase p takes the classes from PhaseStart(p) on to
    // PhaseStart(p + 1).
    std::int32_t PhaseCount() const { return std::int32_t(FPhaseStart.size()) - 1; }
    std::int32_t PhaseStart(std::int32_t phase) const { return FPhaseStart[std::size_t(phase)]; }

    // Prepares the comparisons of a phase as about jobsWanted jobs of similar size; returns
    // how many (none when the phase has nothing to compare). Phases go in order, each once.
    std::size_t BeginPhase(std::int32_t phase, std::size_t jobsWanted);
    // One job of the phase. gate (may be null) is asked between pieces of the work: when it
    // answers false the job ends early, keeping what it settled, and returns false. A job may
    // be run again after it ended early or raised; it goes on where it stopped.
    bool RunJob(std::size_t job, const std::function<bool()>* gate);
    // Ends the phase after all its jobs ran to their end.
    void EndPhase();

    // The files that the loop joins at its first file of the class, in the order it joins
    // them (the pair's other file is always the class's first file). For a class of the
    // phase ended last.
    void PairsOf(std::int32_t cls, std::vector<std::int32_t>& files) const;
    // Match of a class: the smallest other class that matches it, or -1 when there is none;
    // for a class whose first file had no group at its turn, only as far as the nearest file
    // it joined (-1 also when the second file of its class came first). For a class of the
    // phase ended last or an earlier one.
    std::int32_t MatchOf(std::int32_t cls) const { return FMatch[std::size_t(cls)]; }

private:
    // A class's work in the phase: compare it with the classes up to (not including) Target.
    struct TItem {
        std::int32_t Class;
        std::int32_t Target;
    };

    void MakeClasses(const std::vector<QStringView>& names,
        const std::vector<const std::string*>& exts);
    void MakeExactMatches();
    void MakeLimits();
    void MakePhases();
    // Compares the class with the classes up to Target, a block at a time; false when the gate
    // ended it early.
    bool Scan(const TItem& item, const std::function<bool()>* gate);
    // The smallest class of the block in [from, to), below best, that matches cls, or best.
    std::int32_t ScanBlock(std::int32_t cls, std::int32_t block, std::int32_t from,
        std::int32_t to, std::int32_t best) const;
    bool Matches(std::int32_t a, std::int32_t b) const;
    // The classes whose first file comes before the file: their number.
    std::int32_t ClassesBefore(std::int32_t file) const;
    std::int32_t BlockOf(std::int32_t cls) const;

    TOptions FOptions;
    // Nothing matches at all: a threshold above 1 (or no number) keeps out even equal names.
    bool FNothingMatches = false;

    std::vector<std::int32_t> FClassOfFile;
    // The files of class c are FFiles[FFileStart[c] .. FFileStart[c + 1]).
    std::vector<std::int32_t> FFileStart;
    std::vector<std::int32_t> FFiles;
    std::vector<QStringView> FClassName;
    std::vector<std::int32_t> FClassLength;
    std::vector<std::int32_t> FClassExt;
    // Per class: a bit for each unit bucket the name holds, and how many units of each
    // bucket it holds (UnitBuckets bytes a class, at most 255 each) and in all.
    std::vector<std::uint64_t> FBucketBits;
    std::vector<std::uint8_t> FBucketCounts;
    std::vector<std::int32_t> FBucketTotal;

    // Per length L (of the longer name): the greatest distance whose similarity reaches the
    // threshold, -1 for none.
    std::vector<std::int32_t> FLimit;
    // Per length: the range of lengths of names that pass the length test with it.
    std::vector<std::int32_t> FShortest;
    std::vector<std::int32_t> FLongest;

    // Phase p's classes are [FPhaseStart[p], FPhaseStart[p + 1]); they also form block p,
    // listed in FBlockClasses (by extension, length and class) with FBlockKeys beside.
    std::vector<std::int32_t> FPhaseStart;
    std::vector<std::int32_t> FBlockClasses;
    std::vector<std::uint64_t> FBlockKeys;
    // For each place of the block lists: where the run of its key starts and ends.
    std::vector<std::int32_t> FBlockRunStart;
    std::vector<std::int32_t> FBlockRunEnd;

    // Per class: the smallest matching class found, or -1; all classes below Frontier (but
    // itself) have been compared with it.
    std::vector<std::int32_t> FMatch;
    std::vector<std::int32_t> FFrontier;

    std::int32_t FPhase = -1;
    std::vector<TItem> FItems;
    std::vector<std::size_t> FJobStart;
    // The classes (after the parent in class order) whose Match is a class of the phase ended
    // last, by parent: those of parent c are FChildren[FChildStart[c - start] ..].
    std::vector<std::int32_t> FChildStart;
    std::vector<std::int32_t> FChildren;
};
