#include "engine/Filter.h"

#include "engine/FileTimeHelper.h"
#include "engine/Masks.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using platform::TFileTime;
using platform::TFindRecord;

namespace {

// 2020-06-15 12:00:00 UTC and one day later.
const TFileTime OlderTime = platform::FileTimeFromUnix(1592222400, 0);
const TFileTime NewerTime = platform::FileTimeFromUnix(1592222400 + 86400, 0);
constexpr double OneMillisecond = 1.0 / 86400000.0;

TFindRecord Entry(const std::string& name, std::int64_t size = 100)
{
    TFindRecord entry;
    entry.Name = name;
    entry.Size = size;
    entry.Kind = platform::TEntryKind::ekRegular;
    entry.CreationTime = OlderTime;
    entry.LastWriteTime = NewerTime;
    entry.LastAccessTime = NewerTime;
    return entry;
}

double LocalDate(const TFileTime& time)
{
    return FileTimeToLocalDateTime(time);
}

struct TMatchCase {
    std::string What;
    std::function<void(TFilter&)> Setup;
    std::string Folder;
    TFindRecord File;
    bool Expected;
};

} // namespace

TEST(FileMask, MatchesWholeTextsByStarsQuestionMarksAndSets)
{
    struct TCase {
        std::string Mask;
        std::string Text;
        bool Expected;
    };
    const std::vector<TCase> cases = {
        {"*.tmp", "a.TMP", true},
        {"*.tmp", "a.tmp.txt", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "abbc", false},
        {"scan_*", "SCAN_0042", true},
        {"scan_*", "my scan_1", false},
        {"*a*b", "xaxxbb", true},
        {"*a*b", "xaxxba", false},
        {"a*a*a", "aaa", true},
        {"a*a*a", "aa", false},
        {"[a-c]x", "bx", true},
        {"[a-c]x", "dx", false},
        {"[A-C]x", "bX", true},
        {"[!a-c]x", "dx", true},
        {"[!a-c]x", "bx", false},
        {"[xyz0-9]", "5", true},
        {"[-a]", "-", true},
        {"[a-]", "-", true},
        {"a]", "a]", true},
        // "*" and "?" cross "/", so a mask can be tested against a whole path.
        {"*photos*", "/home/u/Photos/2020/", true},
        {"a?b", "a/b", true},
        // Letters of other scripts ignore case too, and "?" is one character even outside
        // the 16-bit range.
        {"ÄB*", "äbc", true},
        {"x?y", "x\xF0\x9F\x98\x80y", true},
        // Invalid masks match nothing, not even their own text.
        {"[abc", "[abc", false},
        {"[abc", "a", false},
        {"[]", "]", false},
        {"[!]a", "!a", false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(MatchesMask(c.Text, c.Mask), c.Expected) << c.Mask << " vs " << c.Text;
    }
    EXPECT_FALSE(TFileMask(u"[a-c").IsValid());
    EXPECT_TRUE(TFileMask(u"[a-c]*").IsValid());
}

TEST(FilterHelpers, NameWithoutExtensionKeepsAHiddenFilesLeadingDot)
{
    struct TCase {
        std::string Name;
        std::string Extension;
        std::string Base;
    };
    const std::vector<TCase> cases = {
        {"Report.DOC", ".doc", "Report"},
        {"archive.tar.GZ", ".gz", "archive.tar"},
        {"README", "", "README"},
        {".bashrc", "", ".bashrc"},
        {".config.Bak", ".bak", ".config"},
        {"dot.", ".", "dot"},
        {"ÄRGER.TXT", ".txt", "ÄRGER"},
        {"Latin1.\xC9T\xC9", ".\xC9t\xC9", "Latin1"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(LowerCaseExtension(c.Name), c.Extension) << c.Name;
        EXPECT_EQ(NameWithoutExtension(c.Name), c.Base) << c.Name;
    }
    EXPECT_EQ(FileNameOfPath("/data/a b/c.txt"), "c.txt");
    EXPECT_EQ(FileNameOfPath("c.txt"), "c.txt");
}

// Names that are not valid UTF-8 (Latin-1 "été" and "àtà") are never taken for one another
// by the name tests of the filter and the exclusion rules.
TEST(FilterHelpers, NamesThatAreNotUtf8MatchOnlyWhatTheirOwnBytesMatch)
{
    const std::string ete = "\xE9t\xE9";
    const std::string ata = "\xE0t\xE0";
    EXPECT_FALSE(MatchesAnyWord(ete, {ata}));
    EXPECT_TRUE(MatchesAnyWord("x" + ete + "y", {ete}));
    EXPECT_FALSE(MatchesAnyWord(ete, {ata.substr(0, 1) + "*"}));
    EXPECT_TRUE(MatchesAnyWord(ete, {ete.substr(0, 1) + "*"}));
    EXPECT_TRUE(MatchesAnyWord(ete, {"?t?"}));
    EXPECT_FALSE(ListHoldsText({"*." + ata}, "*." + ete));
    EXPECT_TRUE(ListHoldsText({"*." + ete}, "*." + ete));
    EXPECT_FALSE(MatchesMask(ete + ".txt", ata + ".*"));
    EXPECT_TRUE(MatchesMask(ete + ".txt", ete + ".*"));
}

TEST(FilterHelpers, DatesAgreeingToTheMillisecondAreEqual)
{
    const double day = 43831.5;
    EXPECT_EQ(CompareDateTimes(day, day), 0);
    EXPECT_EQ(CompareDateTimes(day, day + 0.4 * OneMillisecond), 0);
    EXPECT_LT(CompareDateTimes(day, day + OneMillisecond), 0);
    EXPECT_GT(CompareDateTimes(day + OneMillisecond, day), 0);
    EXPECT_LT(CompareDateTimes(-2.25, -2.0), 0);
    EXPECT_EQ(CompareDateTimes(std::nan(""), day), 0);
    EXPECT_GT(CompareDateTimes(1.0e300, day), 0);
}

TEST(FilterHelpers, SizeLimitsSaturateInsteadOfOverflowing)
{
    EXPECT_EQ(SizeLimitBytes(10, 1), 10240);
    EXPECT_EQ(SizeLimitBytes(3, 2), 3 * 1048576);
    EXPECT_EQ(SizeLimitBytes(5, 3), 0);
    EXPECT_EQ(SizeLimitBytes(std::int64_t(1) << 60, 2), INT64_MAX);
    EXPECT_EQ(SizeLimitBytes(-(std::int64_t(1) << 60), 2), INT64_MIN);
}

TEST(Filter, MatchesEachRuleAsItsTableSays)
{
    const double olderDate = LocalDate(OlderTime);
    const double newerDate = LocalDate(NewerTime);
    const std::vector<TMatchCase> cases = {
        // Extensions.
        {"listed extension, other case", [](TFilter& f) { f.SetExcludeExt("*.tmp|*.log"); }, "/d/",
            Entry("a.TMP"), true},
        {"second listed extension", [](TFilter& f) { f.SetExcludeExt("*.tmp|*.log"); }, "/d/",
            Entry("b.log"), true},
        {"extension not listed", [](TFilter& f) { f.SetExcludeExt("*.tmp|*.log"); }, "/d/",
            Entry("a.txt"), false},
        {"only the last extension counts", [](TFilter& f) { f.SetExcludeExt("*.tmp"); }, "/d/",
            Entry("a.tmp.txt"), false},
        {"a hidden file has no extension", [](TFilter& f) { f.SetExcludeExt("*.tmp"); }, "/d/",
            Entry(".tmp"), false},
        {"pattern of a file without extension", [](TFilter& f) { f.SetExcludeExt("*|*.tmp"); },
            "/d/", Entry("Makefile"), true},
        // Listed folders: whole path components, exact case.
        {"file in a listed folder", [](TFilter& f) { f.FiltFolders = {"/data/"}; }, "/data/",
            Entry("a.txt"), true},
        {"file below a listed folder", [](TFilter& f) { f.FiltFolders = {"/data/"}; },
            "/data/sub/deep/", Entry("a.txt"), true},
        {"sibling folder with a longer name", [](TFilter& f) { f.FiltFolders = {"/data/"}; },
            "/database/", Entry("a.txt"), false},
        {"listed folder without its slash", [](TFilter& f) { f.FiltFolders = {"/data"}; },
            "/database/", Entry("a.txt"), false},
        {"folder of another case", [](TFilter& f) { f.FiltFolders = {"/data/"}; }, "/Data/",
            Entry("a.txt"), false},
        {"second listed folder",
            [](TFilter& f) {
                f.FiltFolders = {"/x/", "/data/"};
            },
            "/data/", Entry("a.txt"), true},
        // Folder words: substrings of the path (case ignored) or masks of the whole path.
        {"folder word inside the path",
            [](TFilter& f) {
                f.FiltDoNotMarkFolderNames = true;
                f.SetExcludeFolderNameWords("thumbs|cache");
            },
            "/home/u/.Cache/x/", Entry("a.txt"), true},
        {"folder word with its rule off", [](TFilter& f) { f.SetExcludeFolderNameWords("cache"); },
            "/home/u/cache/", Entry("a.txt"), false},
        {"folder mask is tested against the whole path",
            [](TFilter& f) {
                f.FiltDoNotMarkFolderNames = true;
                f.SetExcludeFolderNameWords("DSC??");
            },
            "/home/u/DSC01/", Entry("a.txt"), false},
        {"folder mask over the whole path",
            [](TFilter& f) {
                f.FiltDoNotMarkFolderNames = true;
                f.SetExcludeFolderNameWords("*/dsc?\?/");
            },
            "/home/u/DSC01/", Entry("a.txt"), true},
        {"folder word does not look at the file name",
            [](TFilter& f) {
                f.FiltDoNotMarkFolderNames = true;
                f.SetExcludeFolderNameWords("cache");
            },
            "/home/u/", Entry("cache.txt"), false},
        // File-name words: substrings or masks of the name without its extension.
        {"name word as a substring",
            [](TFilter& f) {
                f.FiltDoNotMarkFileNames = true;
                f.SetExcludeFileNameWords("copy|scan_*");
            },
            "/d/", Entry("Report Copy (2).doc"), true},
        {"name word as a mask",
            [](TFilter& f) {
                f.FiltDoNotMarkFileNames = true;
                f.SetExcludeFileNameWords("copy|scan_*");
            },
            "/d/", Entry("SCAN_0042.jpg"), true},
        {"the extension is never part of the name",
            [](TFilter& f) {
                f.FiltDoNotMarkFileNames = true;
                f.SetExcludeFileNameWords("jpg|*.jpg");
            },
            "/d/", Entry("photo.jpg"), false},
        {"an empty word matches nothing",
            [](TFilter& f) {
                f.FiltDoNotMarkFileNames = true;
                f.SetExcludeFileNameWords("|zzz");
            },
            "/d/", Entry("abc.txt"), false},
        {"name word with its rule off", [](TFilter& f) { f.SetExcludeFileNameWords("copy"); },
            "/d/", Entry("copy.txt"), false},
        // Smaller than.
        {"one byte below 10 KB",
            [](TFilter& f) {
                f.FiltDoNotMarkSmallerFileSize = true;
                f.FiltSmallerFileSize = 10;
                f.FiltSmallerFileSizeType = 1;
            },
            "/d/", Entry("a", 10239), true},
        {"exactly 10 KB is not smaller",
            [](TFilter& f) {
                f.FiltDoNotMarkSmallerFileSize = true;
                f.FiltSmallerFileSize = 10;
                f.FiltSmallerFileSizeType = 1;
            },
            "/d/", Entry("a", 10240), false},
        {"a smaller-than limit of 0 never hits",
            [](TFilter& f) {
                f.FiltDoNotMarkSmallerFileSize = true;
                f.FiltSmallerFileSize = 0;
            },
            "/d/", Entry("a", 0), false},
        {"an unknown unit gives no smaller hit",
            [](TFilter& f) {
                f.FiltDoNotMarkSmallerFileSize = true;
                f.FiltSmallerFileSize = 10;
                f.FiltSmallerFileSizeType = 3;
            },
            "/d/", Entry("a", 1), false},
        {"smaller-than rule off",
            [](TFilter& f) {
                f.FiltSmallerFileSize = 10;
                f.FiltSmallerFileSizeType = 1;
            },
            "/d/", Entry("a", 1), false},
        // Bigger than.
        {"bigger than 0 bytes: one byte", [](TFilter& f) { f.FiltDoNotMarkBiggerFileSize = true; },
            "/d/", Entry("a", 1), true},
        {"bigger than 0 bytes: empty file",
            [](TFilter& f) { f.FiltDoNotMarkBiggerFileSize = true; }, "/d/", Entry("a", 0), false},
        {"one byte above 1 MB",
            [](TFilter& f) {
                f.FiltDoNotMarkBiggerFileSize = true;
                f.FiltBiggerFileSize = 1;
                f.FiltBiggerFileSizeType = 2;
            },
            "/d/", Entry("a", 1048577), true},
        {"exactly 1 MB is not bigger",
            [](TFilter& f) {
                f.FiltDoNotMarkBiggerFileSize = true;
                f.FiltBiggerFileSize = 1;
                f.FiltBiggerFileSizeType = 2;
            },
            "/d/", Entry("a", 1048576), false},
        // Dates: creation is OlderTime, last write and last access NewerTime.
        {"creation date equal to the older-than limit",
            [=](TFilter& f) {
                f.FiltDoNotMarkOlderFiles = true;
                f.FiltOlderFilesDate = olderDate;
            },
            "/d/", Entry("a"), false},
        {"a date less than a millisecond before the limit is equal to it",
            [=](TFilter& f) {
                f.FiltDoNotMarkOlderFiles = true;
                f.FiltOlderFilesDate = olderDate + 0.4 * OneMillisecond;
            },
            "/d/", Entry("a"), false},
        {"creation date one millisecond before the limit",
            [=](TFilter& f) {
                f.FiltDoNotMarkOlderFiles = true;
                f.FiltOlderFilesDate = olderDate + OneMillisecond;
            },
            "/d/", Entry("a"), true},
        {"older-than by last write reads the last-write date",
            [=](TFilter& f) {
                f.FiltDoNotMarkOlderFiles = true;
                f.FiltOlderFilesDate = olderDate + OneMillisecond;
                f.FilterDateOlderType = 1;
            },
            "/d/", Entry("a"), false},
        {"older-than by last access",
            [=](TFilter& f) {
                f.FiltDoNotMarkOlderFiles = true;
                f.FiltOlderFilesDate = newerDate + OneMillisecond;
                f.FilterDateOlderType = 2;
            },
            "/d/", Entry("a"), true},
        {"an unknown date kind reads the creation date",
            [=](TFilter& f) {
                f.FiltDoNotMarkOlderFiles = true;
                f.FiltOlderFilesDate = olderDate + OneMillisecond;
                f.FilterDateOlderType = 7;
            },
            "/d/", Entry("a"), true},
        {"last-write date equal to the newer-than limit",
            [=](TFilter& f) {
                f.FiltDoNotMarkNewerFiles = true;
                f.FiltNewerFilesDate = newerDate;
                f.FilterDateNewerType = 1;
            },
            "/d/", Entry("a"), false},
        {"last-write date one millisecond after the limit",
            [=](TFilter& f) {
                f.FiltDoNotMarkNewerFiles = true;
                f.FiltNewerFilesDate = newerDate - OneMillisecond;
                f.FilterDateNewerType = 1;
            },
            "/d/", Entry("a"), true},
        {"older-than rule off", [=](TFilter& f) { f.FiltOlderFilesDate = newerDate + 1.0; }, "/d/",
            Entry("a"), false},
    };
    for (const TMatchCase& c : cases) {
        TFilter filter;
        c.Setup(filter);
        EXPECT_EQ(filter.Matches(c.Folder, c.File), c.Expected) << "exclude mode: " << c.What;
    }
}

TEST(Filter, IncludeModeNeedsEveryRuleInUseAndExcludeModeAnyOne)
{
    auto jpgSmallerThan10K = [](TFilter& f) {
        f.SetExcludeExt("*.jpg");
        f.FiltDoNotMarkSmallerFileSize = true;
        f.FiltSmallerFileSize = 10;
        f.FiltSmallerFileSizeType = 1;
    };
    auto folderOrWord = [](TFilter& f) {
        f.FiltFolders = {"/photos/"};
        f.FiltDoNotMarkFolderNames = true;
        f.SetExcludeFolderNameWords("holiday");
    };
    struct TCase {
        std::string What;
        std::function<void(TFilter&)> Setup;
        std::string Folder;
        TFindRecord File;
        bool IncludeMatches;
        bool ExcludeMatches;
    };
    const std::vector<TCase> cases = {
        {"no rule in use", [](TFilter&) {}, "/d/", Entry("a.txt"), true, false},
        {"switched-off rules are not in use",
            [](TFilter& f) {
                f.FiltSmallerFileSize = 10;
                f.SetExcludeFileNameWords("zzz");
                f.SetExcludeFolderNameWords("zzz");
            },
            "/d/", Entry("a.txt"), true, false},
        {"small jpg", jpgSmallerThan10K, "/d/", Entry("a.JPG", 5000), true, true},
        {"big jpg", jpgSmallerThan10K, "/d/", Entry("a.jpg", 50000), false, true},
        {"small png", jpgSmallerThan10K, "/d/", Entry("a.png", 5000), false, true},
        {"big png", jpgSmallerThan10K, "/d/", Entry("a.png", 50000), false, false},
        {"under the listed folder, no word", folderOrWord, "/photos/2019/", Entry("a.jpg"), true,
            true},
        {"elsewhere, with a word", folderOrWord, "/home/u/Holiday 2020/", Entry("a.jpg"), true,
            true},
        {"elsewhere, no word", folderOrWord, "/home/u/work/", Entry("a.jpg"), false, false},
        {"a folder word alone is the folder rule in use",
            [](TFilter& f) { f.FiltDoNotMarkFolderNames = true; }, "/d/", Entry("a.txt"), false,
            false},
        {"only one of the two date rules holds",
            [](TFilter& f) {
                f.FiltDoNotMarkOlderFiles = true;
                f.FiltOlderFilesDate = LocalDate(NewerTime);
                f.FiltDoNotMarkNewerFiles = true;
                f.FiltNewerFilesDate = LocalDate(NewerTime);
                f.FilterDateNewerType = 1;
            },
            "/d/", Entry("a"), false, true},
    };
    for (const TCase& c : cases) {
        TFilter filter;
        c.Setup(filter);
        for (std::uint8_t mode : {1, 2}) {
            filter.FilterMode = mode;
            EXPECT_EQ(filter.Matches(c.Folder, c.File), c.IncludeMatches)
                << "include mode " << int(mode) << ": " << c.What;
        }
        filter.FilterMode = 0;
        EXPECT_EQ(filter.Matches(c.Folder, c.File), c.ExcludeMatches) << "exclude: " << c.What;
    }
}

TEST(Filter, ListSettersSplitAtEveryBarAndKeepBlanks)
{
    TFilter filter;
    filter.SetExcludeExt("*.tmp|*.bak");
    filter.SetExcludeFileNameWords(" copy | draft|");
    filter.SetExcludeFolderNameWords("a||b");
    EXPECT_EQ(filter.FiltExcludeExt, "*.tmp|*.bak");
    EXPECT_EQ(filter.FiltExcludeExtList, (std::vector<std::string> {"*.tmp", "*.bak"}));
    EXPECT_EQ(filter.FiltExcludeFileNameWordList, (std::vector<std::string> {" copy ", " draft"}));
    EXPECT_EQ(filter.FiltExcludeFolderNameWordList, (std::vector<std::string> {"a", "", "b"}));
    filter.SetExcludeExt("");
    EXPECT_EQ(filter.FiltExcludeExt, "");
    EXPECT_TRUE(filter.FiltExcludeExtList.empty());
}
