#include "engine/SettingsUnit.h"

#include "engine/DImage.h"
#include "engine/FileTimeHelper.h"
#include "engine/Questions.h"
#include "platform/Power.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using platform::TFileTime;
using platform::TFindRecord;

namespace {

// 2021-03-01 08:00:00 UTC and ten days later.
const TFileTime CreatedTime = platform::FileTimeFromUnix(1614585600, 0);
const TFileTime WrittenTime = platform::FileTimeFromUnix(1614585600 + 864000, 0);
constexpr double OneMillisecond = 1.0 / 86400000.0;

TDImage File(const std::string& path, std::int64_t size = 100)
{
    TFindRecord record;
    const std::size_t slash = path.rfind('/');
    record.Name = path.substr(slash + 1);
    record.Size = size;
    record.Kind = platform::TEntryKind::ekRegular;
    record.CreationTime = CreatedTime;
    record.LastWriteTime = WrittenTime;
    record.LastAccessTime = WrittenTime;
    return TDImage(path.substr(0, slash + 1), record);
}

// A power service whose answers the test sets.
class TFakePower : public platform::TPowerService {
public:
    bool PowerOff = false;
    bool Suspend = false;
    bool Hibernate = false;
    bool LogOff = false;

    bool CanPowerOff() override { return PowerOff; }
    bool CanSuspend() override { return Suspend; }
    bool CanHibernate() override { return Hibernate; }
    bool CanLogOff() override { return LogOff; }
};

} // namespace

TEST(Settings, ListSettersRefillTheirListsFromTheText)
{
    TSettings settings = TSettings::Defaults();
    using TSetter = void (TSettings::*)(const std::string&);
    struct TCase {
        TSetter Set;
        std::string TSettings::*Text;
        std::vector<std::string> TSettings::*List;
    };
    const std::vector<TCase> cases = {
        {&TSettings::SetExcludeExt, &TSettings::ExcludeExt, &TSettings::ExcludeExtList},
        {&TSettings::SetExcludeFileNameWords, &TSettings::ExcludeFileNameWords,
            &TSettings::ExcludeFileNameWordList},
        {&TSettings::SetQuickCheckExt, &TSettings::QuickCheckExt, &TSettings::QuickCheckExtList},
        {&TSettings::SetQuickCheckFileNameWords, &TSettings::QuickCheckFileNameWords,
            &TSettings::QuickCheckFileNameWordList},
    };
    for (const TCase& c : cases) {
        (settings.*c.Set)("*.tmp| *.bak");
        EXPECT_EQ(settings.*c.Text, "*.tmp| *.bak");
        EXPECT_EQ(settings.*c.List, (std::vector<std::string> {"*.tmp", " *.bak"}));
        (settings.*c.Set)("");
        EXPECT_EQ(settings.*c.Text, "");
        EXPECT_TRUE((settings.*c.List).empty());
    }
}

TEST(Settings, NameWordsAreTestedOnTheFileNameWithoutItsExtension)
{
    TSettings settings = TSettings::Defaults();
    settings.SetExcludeFileNameWords("copy|IMG_????|");
    struct TCase {
        std::string Path;
        bool Expected;
    };
    const std::vector<TCase> cases = {
        {"/home/u/Report COPY (2).doc", true},
        {"/home/u/img_0042.jpg", true},
        {"/home/u/img_00420.jpg", false},
        {"/home/u/copy/report.doc", false},
        {"/home/u/report.copy", false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(settings.MatchesExcludeNameWords(c.Path), c.Expected) << c.Path;
    }
}

TEST(Settings, AFileIsExcludedFromTheAutocheckByTheFirstRuleThatHolds)
{
    const double created = FileTimeToLocalDateTime(CreatedTime);
    const double written = FileTimeToLocalDateTime(WrittenTime);
    struct TCase {
        std::string What;
        std::function<void(TSettings&)> Setup;
        std::string Path;
        std::int64_t Size;
        bool Expected;
    };
    std::vector<TCase> cases;
    cases.push_back({"listed extension, other case",
        [](TSettings& s) { s.SetExcludeExt("*.tmp|*.bak"); }, "/d/Notes.TMP", 100, true});
    cases.push_back({"extension not listed", [](TSettings& s) { s.SetExcludeExt("*.tmp|*.bak"); },
        "/d/Notes.txt", 100, false});
    cases.push_back({"emptied extension list",
        [](TSettings& s) {
            s.SetExcludeExt("*.tmp");
            s.SetExcludeExt("");
        },
        "/d/Notes.tmp", 100, false});
    cases.push_back({"name word with its rule on",
        [](TSettings& s) {
            s.DoNotMarkFileNames = true;
            s.SetExcludeFileNameWords("copy");
        },
        "/d/Report Copy.doc", 100, true});
    cases.push_back({"a folder word does not hit the name alone",
        [](TSettings& s) {
            s.DoNotMarkFileNames = true;
            s.SetExcludeFileNameWords("photos");
        },
        "/d/Photos/Report.doc", 100, false});
    cases.push_back({"a folder word hits the full path with Match full path",
        [](TSettings& s) {
            s.DoNotMarkFileNames = true;
            s.DoNotMarkFolders = true;
            s.SetExcludeFileNameWords("photos");
        },
        "/d/Photos/Report.doc", 100, true});
    cases.push_back({"Match full path with the name rule off",
        [](TSettings& s) {
            s.DoNotMarkFolders = true;
            s.SetExcludeFileNameWords("photos");
        },
        "/d/Photos/Report.doc", 100, false});
    cases.push_back({"name word with its rule off",
        [](TSettings& s) { s.SetExcludeFileNameWords("copy"); }, "/d/Report Copy.doc", 100, false});
    cases.push_back({"a smaller-than limit of 0 never excludes",
        [](TSettings& s) {
            s.DoNotMarkSmallerFileSize = true;
            s.SmallerFileSize = 0;
        },
        "/d/empty", 0, false});
    cases.push_back({"one byte below 10 KB",
        [](TSettings& s) {
            s.DoNotMarkSmallerFileSize = true;
            s.SmallerFileSize = 10;
            s.SmallerFileSizeType = 1;
        },
        "/d/a", 10239, true});
    cases.push_back({"exactly 10 KB",
        [](TSettings& s) {
            s.DoNotMarkSmallerFileSize = true;
            s.SmallerFileSize = 10;
            s.SmallerFileSizeType = 1;
        },
        "/d/a", 10240, false});
    cases.push_back({"one byte above 1 MB",
        [](TSettings& s) {
            s.DoNotMarkBiggerFileSize = true;
            s.BiggerFileSize = 1;
            s.BiggerFileSizeType = 2;
        },
        "/d/a", 1048577, true});
    cases.push_back({"exactly 1 MB",
        [](TSettings& s) {
            s.DoNotMarkBiggerFileSize = true;
            s.BiggerFileSize = 1;
            s.BiggerFileSizeType = 2;
        },
        "/d/a", 1048576, false});
    cases.push_back({"a bigger-than limit of 0 never excludes",
        [](TSettings& s) {
            s.DoNotMarkBiggerFileSize = true;
            s.BiggerFileSize = 0;
        },
        "/d/a", 5000, false});
    cases.push_back({"an unknown unit gives no hit",
        [](TSettings& s) {
            s.DoNotMarkBiggerFileSize = true;
            s.BiggerFileSize = 1;
            s.BiggerFileSizeType = 5;
        },
        "/d/a", 5000, false});
    cases.push_back({"created before the older-than limit",
        [=](TSettings& s) {
            s.DoNotMarkOlderFiles = true;
            s.OlderFilesDate = created + OneMillisecond;
        },
        "/d/a", 100, true});
    cases.push_back({"created on the older-than limit",
        [=](TSettings& s) {
            s.DoNotMarkOlderFiles = true;
            s.OlderFilesDate = created;
        },
        "/d/a", 100, false});
    cases.push_back({"date kind 1 judges by the last-write date",
        [=](TSettings& s) {
            s.DoNotMarkOlderFiles = true;
            s.OlderFilesDate = created + OneMillisecond;
            s.ExcludeDateOlderType = 1;
        },
        "/d/a", 100, false});
    cases.push_back({"written after the newer-than limit",
        [=](TSettings& s) {
            s.DoNotMarkNewerFiles = true;
            s.NewerFilesDate = written - OneMillisecond;
            s.ExcludeDateNewerType = 1;
        },
        "/d/a", 100, true});
    cases.push_back({"written on the newer-than limit",
        [=](TSettings& s) {
            s.DoNotMarkNewerFiles = true;
            s.NewerFilesDate = written;
            s.ExcludeDateNewerType = 1;
        },
        "/d/a", 100, false});
    cases.push_back({"created after the newer-than limit, rule off",
        [=](TSettings& s) { s.NewerFilesDate = created - 1.0; }, "/d/a", 100, false});

    for (const TCase& c : cases) {
        TSettings settings = TSettings::Defaults();
        c.Setup(settings);
        EXPECT_EQ(settings.IsExcludedFromAutoCheck(File(c.Path, c.Size)), c.Expected) << c.What;
    }
}

TEST(Settings, AnAfterScanActionThatCannotRunAnswersFalseAndShowsWhyUnlessSilent)
{
    struct TCase {
        std::uint8_t AfterScan;
        bool Possible;
        std::string Message;
    };
    // Nothing is available, except ending the session.
    TFakePower power;
    power.LogOff = true;
    platform::TScopedPowerService powerScope(power);
    const std::vector<TCase> cases = {
        {0, true, ""},
        {1, true, ""},
        {2, true, ""},
        {3, true, ""},
        {4, false,
            "Stand-by is not supported on this system!\r\nPlease change the after scan "
            "setting."},
        {5, false,
            "Hibernate is not supported on this system!\r\nPlease change the after scan "
            "setting."},
        {6, false,
            "You don't have permissions to log-off or shutdown the system!\r\nPlease "
            "change the after scan setting."},
        {7, true, ""},
    };
    for (const TCase& c : cases) {
        TSettings settings = TSettings::Defaults();
        settings.AfterScan = c.AfterScan;
        for (bool silent : {true, false}) {
            TScriptedQuestions questions;
            TScopedQuestions questionsScope(questions);
            EXPECT_EQ(settings.CheckAfterScanAction(silent), c.Possible)
                << int(c.AfterScan) << (silent ? " silent" : "");
            std::vector<std::string> expected;
            if (!silent && !c.Message.empty()) {
                expected.push_back(c.Message);
            }
            EXPECT_EQ(questions.AskedTexts(TScriptedQuestions::qkError), expected)
                << int(c.AfterScan) << (silent ? " silent" : "");
            EXPECT_EQ(questions.Asked().size(), expected.size());
        }
    }
}

TEST(Settings, EachPowerActionIsJudgedByItsOwnAvailability)
{
    struct TCase {
        std::uint8_t AfterScan;
        std::function<void(TFakePower&)> Allow;
    };
    const std::vector<TCase> cases = {
        {3, [](TFakePower& p) { p.LogOff = true; }},
        {4, [](TFakePower& p) { p.Suspend = true; }},
        {5, [](TFakePower& p) { p.Hibernate = true; }},
        {6, [](TFakePower& p) { p.PowerOff = true; }},
    };
    for (const TCase& allowed : cases) {
        TFakePower power;
        allowed.Allow(power);
        platform::TScopedPowerService powerScope(power);
        TScriptedQuestions questions;
        TScopedQuestions questionsScope(questions);
        for (const TCase& asked : cases) {
            TSettings settings = TSettings::Defaults();
            settings.AfterScan = asked.AfterScan;
            EXPECT_EQ(settings.CheckAfterScanAction(true), asked.AfterScan == allowed.AfterScan)
                << "allowed " << int(allowed.AfterScan) << ", asked " << int(asked.AfterScan);
        }
        EXPECT_TRUE(questions.Asked().empty());
    }
}

TEST(Settings, ACopyKeepsItsOwnFilterAndListsWhenTheOriginalChanges)
{
    TSettings original = TSettings::Defaults();
    original.Filter.SetExcludeExt("*.tmp");
    original.Filter.FiltFolders = {"/data/"};
    original.SetExcludeExt("*.bak");
    const TSettings copy = original;

    original.Filter.SetExcludeExt("*.log|*.txt");
    original.Filter.FiltFolders.push_back("/more/");
    original.SetExcludeExt("");

    EXPECT_EQ(copy.Filter.FiltExcludeExtList, std::vector<std::string> {"*.tmp"});
    EXPECT_EQ(copy.Filter.FiltFolders, std::vector<std::string> {"/data/"});
    EXPECT_EQ(copy.ExcludeExtList, std::vector<std::string> {"*.bak"});
}
