// The similar-names and similar-files methods against plain loops over every pair of files, as
// the methods were first written: the same groups, group numbers, file order and similarities,
// on trees made to be hard for the ways the methods find their pairs (many near-equal names,
// equal names in several folders, names that differ in letter case only, long names, near-
// copies of several chunks, copies of equal size).
#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/DImage.h"
#include "engine/Diff.h"
#include "engine/ZYUtils.h"
#include "tests/engine/ScanRunner.h"
#include "tests/support/TempTree.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using scan_test::GroupsOf;
using scan_test::ResolvedRoot;
using scan_test::TResultGroup;
using scan_test::TScanRun;
using testing_support::TTempTree;

namespace {

// The name the similar-names method compares: lower-cased, without its extension when asked
// (a leading dot starts no extension).
QString PlainComparedName(const TDImage& file, bool withoutExt)
{
    std::string name = file.FileName;
    if (withoutExt) {
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot != 0) {
            name.resize(dot);
        }
    }
    return LowerCaseText(NameText(name));
}

// Every pair in turn, as the similar-names loop was first written.
void PlainSimilarNames(TDFinder& finder, const TSettings& settings)
{
    const double t = double(settings.Similarity) / 100.0;
    const bool exactOnly = settings.Similarity == 100.0f;
    const std::int32_t count = finder.Files.Count();
    for (std::int32_t i = 0; i < count; ++i) {
        TDImage* a = finder.Files[i];
        const QString nameA = PlainComparedName(*a, settings.DoNotCompareExt);
        for (std::int32_t j = i + 1; j < count; ++j) {
            TDImage* b = finder.Files[j];
            const QString nameB = PlainComparedName(*b, settings.DoNotCompareExt);
            const qsizetype shorter = std::min(nameA.size(), nameB.size());
            const qsizetype longer = std::max(nameA.size(), nameB.size());
            if (longer > 0 && t > double(shorter) / double(longer)) {
                continue;
            }
            if (settings.ScanEqualExtOnly && a->Ext != b->Ext) {
                continue;
            }
            if (a->Group.load() != nullptr && b->Group.load() != nullptr) {
                continue;
            }
            double s = 0.0;
            if (exactOnly) {
                s = QString::compare(nameA, nameB, Qt::CaseInsensitive) == 0 ? 1.0 : 0.0;
            } else {
                s = NameSimilarity(nameA, nameB);
            }
            if (s >= t) {
                a->Similarity = float(s);
                b->Similarity = float(s);
                finder.AddPair(a, b, float(s), false);
            }
        }
    }
}

// Every pair in turn, as the similar-files loop was first written, each pair measured alone.
void PlainSimilarFiles(TDFinder& finder, const TSettings& settings, TByteArrayPool* hashPool)
{
    const double t = double(settings.Similarity) / 100.0;
    const std::int32_t count = finder.Files.Count();
    for (std::int32_t i = 0; i < count; ++i) {
        TDImage* a = finder.Files[i];
        for (std::int32_t j = i + 1; j < count; ++j) {
            TDImage* b = finder.Files[j];
            if (a->Size <= 0 || b->Size <= 0) {
                continue;
            }
            if (settings.ScanEqualExtOnly && a->Ext != b->Ext) {
                continue;
            }
            if (a->Group.load() != nullptr && b->Group.load() != nullptr) {
                continue;
            }
            if (double(std::min(a->Size, b->Size)) / double(std::max(a->Size, b->Size)) < t) {
                continue;
            }
            const std::optional<float> s = MeasureFileSimilarity(
                *a, *b, hashPool, nullptr, nullptr, settings.Similarity);
            if (s && double(*s) >= t) {
                finder.AddPair(a, b, *s, false);
            }
        }
    }
}

// The groups of the plain loop of the settings' method over the listed files.
std::vector<TResultGroup> PlainGroups(const TSettings& settings, const std::string& root)
{
    TScanRun scan(settings);
    scan.AddFolder(root);
    ScanAborted = false;
    scan.Thread->ListFiles();
    scan.Thread->Preprocess();
    if (settings.FindMode == 2) {
        PlainSimilarNames(scan.Finder, settings);
    } else {
        PlainSimilarFiles(scan.Finder, settings, scan.Thread->HashPool());
    }
    scan.Thread->CleanUp();
    return GroupsOf(scan.Finder, root);
}

std::vector<TResultGroup> ScannedGroups(
    const TSettings& settings, const std::string& root, std::int32_t phaseSize)
{
    TScanRun scan(settings);
    scan.Thread->NamesPhaseSize = phaseSize;
    scan.AddFolder(root);
    scan.Run();
    return GroupsOf(scan.Finder, root);
}

struct TOptionsCase {
    bool DoNotCompareExt;
    bool ScanEqualExtOnly;
};

} // namespace

TEST(SimilarityEquivalence, SimilarNamesGroupAsThePlainLoopAtEveryThreshold)
{
    // Stems of few letters, so that names lie at every distance from each other; each with
    // edits, letter case changed, extensions of several kinds, in several folders.
    std::mt19937 random(1909);
    const auto below = [&random](std::size_t bound) {
        return std::size_t(random() % std::uint32_t(bound));
    };
    const std::vector<std::string> exts = {"", ".txt", ".TXT", ".md", ".tar.gz"};
    const std::vector<std::string> folders = {"", "d1/", "d1/d2/", "d3/"};
    const std::string letters = "abcAB_\xC3\xA9";
    std::vector<std::string> stems = {"", "a", "ab", "ba", "abc", "acb", "report", "Report",
        "rep0rt", "photo1", "photo2", "photo12", ".bashrc", ".bashrd"};
    for (int k = 0; k < 60; ++k) {
        std::string stem;
        const std::size_t length = 1 + below(k % 6 == 0 ? 140 : 9);
        while (stem.size() < length) {
            const std::size_t at = below(letters.size() - 1);
            // The two bytes of one letter go together.
            stem += letters[at] == '\xC3' ? letters.substr(at, 2)
                : letters[at] == '\xA9'   ? std::string("a")
                                          : std::string(1, letters[at]);
        }
        stems.push_back(stem);
        // A near copy of a long stem: one unit changed, swapped or dropped.
        if (stem.size() > 3) {
            std::string near = stem;
            const std::size_t at = below(near.size() - 2);
            if (near[at] != '\xC3' && near[at + 1] != '\xC3' && near[at] != '\xA9' &&
                near[at + 1] != '\xA9') {
                std::swap(near[at], near[at + 1]);
            }
            near[0] = near[0] == 'a' ? 'b' : near[0];
            stems.push_back(near);
        }
    }
    TTempTree tree;
    for (const std::string& stem : stems) {
        // Some names in several folders.
        const std::string name = stem + exts[below(exts.size())];
        const std::size_t folder = below(folders.size());
        for (std::size_t copy = 0, copies = 1 + below(3); copy < copies; ++copy) {
            tree.AddFile(folders[(folder + copy) % folders.size()] + (name.empty() ? "x" : name),
                "x");
        }
    }
    const std::string root = ResolvedRoot(tree);
    for (const float threshold : {0.0f, 30.0f, 50.0f, 75.0f, 90.0f, 99.0f, 100.0f}) {
        for (const TOptionsCase options : {TOptionsCase {false, false},
                 TOptionsCase {true, false}, TOptionsCase {false, true}}) {
            TSettings settings = TSettings::Defaults();
            settings.FindMode = 2;
            settings.Similarity = threshold;
            settings.DoNotCompareExt = options.DoNotCompareExt;
            settings.ScanEqualExtOnly = options.ScanEqualExtOnly;
            const std::vector<TResultGroup> plain = PlainGroups(settings, root);
            for (const std::int32_t phaseSize : {512, 7}) {
                EXPECT_EQ(ScannedGroups(settings, root, phaseSize), plain)
                    << "threshold " << threshold << ", without extensions "
                    << options.DoNotCompareExt << ", equal extensions only "
                    << options.ScanEqualExtOnly << ", phases of " << phaseSize;
            }
        }
    }
}

TEST(SimilarityEquivalence, SimilarFilesGroupAsThePlainLoopAtEveryThreshold)
{
    // Texts of a few words, so that unrelated files still share many stretches; near-copies of
    // one to three chunks with a few bytes changed, inserted or dropped; copies of equal size;
    // files of one size with other content; an empty file.
    std::mt19937 random(112);
    const std::vector<std::string> words = {"the ", "file ", "of ", "group ", "scan ", "and ",
        "size ", "name ", "\n", ". "};
    const auto text = [&](std::size_t size) {
        std::string content;
        while (content.size() < size) {
            content += words[random() % words.size()];
        }
        content.resize(size);
        return content;
    };
    const auto edited = [&](std::string content, std::size_t edits) {
        for (std::size_t k = 0; k < edits && !content.empty(); ++k) {
            const std::size_t at = random() % content.size();
            switch (random() % 3) {
            case 0:
                content[at] = char('a' + random() % 26);
                break;
            case 1:
                content.insert(at, 1, 'x');
                break;
            default:
                content.erase(at, 1);
                break;
            }
        }
        return content;
    };
    TTempTree tree;
    const std::vector<std::size_t> sizes = {3000, 20000, 40000, 70000, 90000};
    for (std::size_t cluster = 0; cluster < sizes.size(); ++cluster) {
        const std::string base = text(sizes[cluster]);
        const std::string folder = "c" + std::to_string(cluster % 2) + "/";
        for (std::size_t copy = 0; copy < 4; ++copy) {
            tree.AddFile(folder + "t" + std::to_string(cluster) + "_" + std::to_string(copy) +
                    (copy == 3 ? ".md" : ".txt"),
                edited(base, copy == 0 ? 0 : sizes[cluster] / (copy == 2 ? 12 : 200)));
        }
        tree.AddFile(folder + "same" + std::to_string(cluster) + ".txt", base);
        tree.AddFile(folder + "other" + std::to_string(cluster) + ".txt", text(base.size()));
    }
    tree.AddFile("empty.txt", "");
    const std::string root = ResolvedRoot(tree);
    for (const float threshold : {50.0f, 80.0f, 90.0f, 97.0f, 100.0f}) {
        for (const bool equalExtOnly : {false, true}) {
            TSettings settings = TSettings::Defaults();
            settings.FindMode = 1;
            settings.Similarity = threshold;
            settings.ScanEqualExtOnly = equalExtOnly;
            EXPECT_EQ(ScannedGroups(settings, root, 512), PlainGroups(settings, root))
                << "threshold " << threshold << ", equal extensions only " << equalExtOnly;
        }
    }
}
