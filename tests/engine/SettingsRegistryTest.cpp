#include "engine/SettingsUnit.h"

#include "engine/FileTimeHelper.h"
#include "engine/OptionValues.h"
#include "engine/RegistryAccess.h"
#include "engine/Utils.h"
#include "engine/ZYGlobals.h"
#include "platform/RegistryStore.h"
#include "platform/SysCalls.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempTree.h"
#include "tests/support/WatchedCalls.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using platform::TRegValue;
using testing_support::TCountingRenames;
using testing_support::TDiskFull;
using testing_support::TTempTree;

namespace {

const std::string Settings = "Settings";
// A date that no default is: 2020-01-01 12:00.
constexpr double StoredDate = 43831.5;

TRegValue DoubleValue(double number)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(number);
    std::string bytes;
    for (int k = 0; k < 8; ++k) {
        bytes.push_back(char((bits >> (8 * k)) & 0xFF));
    }
    return TRegValue::Binary(bytes);
}

TRegValue IntegerValue(std::int32_t number)
{
    return TRegValue::Dword(std::uint32_t(number));
}

// One value of section "Settings": its name, a value other than the default as the store
// holds it, and how the field looks with that value and with the default.
struct TValueCase {
    std::string Name;
    TRegValue Stored;
    std::function<void(TSettings&)> Set;
    std::function<bool(const TSettings&)> HasValue;
    std::function<bool(const TSettings&)> HasDefault;
    // For the dates only: the field's value.
    std::function<double(const TSettings&)> DateOf;
};

// clang-format off
#define FIELD(member) [](auto& s) -> auto& { return s.member; }
// clang-format on

template<class T, class F>
TValueCase Case(std::string name, TRegValue stored, T defaultValue, T value, F field)
{
    return {std::move(name), std::move(stored), [=](TSettings& s) { field(s) = value; },
        [=](const TSettings& s) { return field(s) == value; },
        [=](const TSettings& s) { return field(s) == defaultValue; }, {}};
}

template<class F>
TValueCase BoolCase(std::string name, bool defaultValue, F field)
{
    return Case(
        std::move(name), IntegerValue(defaultValue ? 0 : 1), defaultValue, !defaultValue, field);
}

template<class T, class F>
TValueCase IntegerCase(std::string name, T defaultValue, T value, F field)
{
    return Case(std::move(name), IntegerValue(std::int32_t(value)), defaultValue, value, field);
}

template<class F>
TValueCase StringCase(std::string name, std::string value, F field)
{
    return Case(std::move(name), TRegValue::String(value), std::string(), value, field);
}

// The warnings: "-1" hides them, and they are shown by default.
template<class F>
TValueCase WarningCase(std::string name, F field)
{
    return Case(std::move(name), TRegValue::String("-1"), true, false, field);
}

// Dates are stored as Time under the name followed by "64"; their default is the moment of
// loading.
template<class F>
TValueCase DateCase(const std::string& name, F field)
{
    TValueCase c = Case(name + "64", DoubleValue(StoredDate), 0.0, StoredDate, field);
    c.HasDefault = [=](const TSettings& s) {
        return std::fabs(field(s) - NowAsDateTime()) < 1.0 / 24;
    };
    c.DateOf = [=](const TSettings& s) { return field(s); };
    return c;
}

std::vector<TValueCase> AllValues()
{
    return {
        IntegerCase<std::uint8_t>("PerformAction", 0, 3, FIELD(PerformAction)),
        IntegerCase<std::int32_t>("Columns", 0x7FFFFFFF, 0x15, FIELD(Columns)),
        Case("Similarity", DoubleValue(87.5), 95.0f, 87.5f, FIELD(Similarity)),
        BoolCase("MinimizeToTray", false, FIELD(MinimizeToTray)),
        BoolCase("LoadLastProject", true, FIELD(LoadLastProject)),
        BoolCase("ShowUserCheckedColor", true, FIELD(ShowUserCheckedColor)),
        BoolCase("ShowUserCheckedBold", false, FIELD(ShowUserCheckedBold)),
        BoolCase("EnableLog", false, FIELD(EnableLog)),
        BoolCase("RemoveSingleFileGroups", false, FIELD(RemoveSingleFileGroups)),
        BoolCase("SkipZeroFiles", true, FIELD(SkipZeroFiles)),
        BoolCase("ScanEqualExtOnly", false, FIELD(ScanEqualExtOnly)),
        StringCase("MoveToFolder", "/target/", FIELD(MoveToFolder)),
        IntegerCase<std::uint8_t>("Priority", 2, 5, FIELD(Priority)),
        BoolCase("Recurse", true, FIELD(Recurse)),
        StringCase("LastFolder", "/last/", FIELD(LastFolder)),
        BoolCase("ProtectSysFiles", true, FIELD(ProtectSysFiles)),
        IntegerCase<std::uint8_t>("FindMode", 0, 2, FIELD(FindMode)),
        StringCase("ExcludeExt", "*.tmp|*.bak", FIELD(ExcludeExt)),
        BoolCase("DoNotMarkSmallerFileSize", false, FIELD(DoNotMarkSmallerFileSize)),
        IntegerCase<std::int64_t>("SmallerFileSize", 0, 4096, FIELD(SmallerFileSize)),
        IntegerCase<std::uint8_t>("SmallerFileSizeType", 0, 1, FIELD(SmallerFileSizeType)),
        BoolCase("DoNotMarkBiggerFileSize", false, FIELD(DoNotMarkBiggerFileSize)),
        IntegerCase<std::int64_t>("BiggerFileSize", 0, 7, FIELD(BiggerFileSize)),
        IntegerCase<std::uint8_t>("BiggerFileSizeType", 0, 2, FIELD(BiggerFileSizeType)),
        BoolCase("DoNotMarkOlderFiles", false, FIELD(DoNotMarkOlderFiles)),
        DateCase("OlderFilesDate", FIELD(OlderFilesDate)),
        BoolCase("DoNotMarkNewerFiles", false, FIELD(DoNotMarkNewerFiles)),
        DateCase("NewerFilesDate", FIELD(NewerFilesDate)),
        BoolCase("DoNotMarkFileNames", false, FIELD(DoNotMarkFileNames)),
        StringCase("ExcludeFileNameWords", "copy|draft", FIELD(ExcludeFileNameWords)),
        StringCase("QuickCheckExt", "*.jpg", FIELD(QuickCheckExt)),
        BoolCase("QuickCheckSmallerFiles", false, FIELD(QuickCheckSmallerFiles)),
        IntegerCase<std::int32_t>(
            "QuickCheckSmallerFileSize", 0, 300, FIELD(QuickCheckSmallerFileSize)),
        IntegerCase<std::uint8_t>(
            "QuickCheckSmallerFileSizeType", 0, 2, FIELD(QuickCheckSmallerFileSizeType)),
        BoolCase("QuickCheckBiggerFiles", false, FIELD(QuickCheckBiggerFiles)),
        IntegerCase<std::int32_t>(
            "QuickCheckBiggerFileSize", 0, 9, FIELD(QuickCheckBiggerFileSize)),
        IntegerCase<std::uint8_t>(
            "QuickCheckBiggerFileSizeType", 0, 1, FIELD(QuickCheckBiggerFileSizeType)),
        BoolCase("QuickCheckOlderFiles", false, FIELD(QuickCheckOlderFiles)),
        DateCase("QuickCheckOlderFilesDate", FIELD(QuickCheckOlderFilesDate)),
        BoolCase("QuickCheckNewerFiles", false, FIELD(QuickCheckNewerFiles)),
        DateCase("QuickCheckNewerFilesDate", FIELD(QuickCheckNewerFilesDate)),
        BoolCase("QuickCheckFileNamesBool", false, FIELD(QuickCheckFileNamesBool)),
        StringCase("QuickCheckFileNameWords", "scan_*", FIELD(QuickCheckFileNameWords)),
        BoolCase("QuickMatchFullPath", false, FIELD(QuickMatchFullPath)),
        BoolCase("PreviewOfficeFiles", true, FIELD(PreviewOfficeFiles)),
        IntegerCase<std::uint8_t>("AfterScan", 0, 5, FIELD(AfterScan)),
        WarningCase("HideMoveWarningMsg", FIELD(ShowMoveWarning)),
        WarningCase("ProtectSysFilesMsg", FIELD(ShowProtectSysFilesMsg)),
        WarningCase("HideDelWholeGroupWarningMsg", FIELD(ShowDelWholeGroupWarning)),
        BoolCase("KeepFolderStructure", true, FIELD(KeepFolderStructure)),
        IntegerCase<std::uint8_t>("CompareDateType", 0, 1, FIELD(CompareDateType)),
        IntegerCase<std::uint8_t>("QuickDateOlderType", 0, 2, FIELD(QuickDateOlderType)),
        IntegerCase<std::uint8_t>("QuickDateNewerType", 0, 1, FIELD(QuickDateNewerType)),
        IntegerCase<std::uint8_t>("ExcludeDateOlderType", 0, 2, FIELD(ExcludeDateOlderType)),
        IntegerCase<std::uint8_t>("ExcludeDateNewerType", 0, 1, FIELD(ExcludeDateNewerType)),
        BoolCase("PreserveGroupOrder", true, FIELD(PreserveGroupOrder)),
        IntegerCase<std::uint8_t>("AutoCheckType", 3, 7, FIELD(AutoCheckType)),
        BoolCase("DoNotCompareExt", false, FIELD(DoNotCompareExt)),
        // The filter's values, in the same section.
        IntegerCase<std::uint8_t>("FilterMode", 0, 1, FIELD(Filter.FilterMode)),
        BoolCase("EnableFilter", false, FIELD(Filter.EnableFilter)),
        StringCase("FiltExcludeExt", "*.iso", FIELD(Filter.FiltExcludeExt)),
        BoolCase("FiltDoNotMarkSmallerFileSize", false, FIELD(Filter.FiltDoNotMarkSmallerFileSize)),
        IntegerCase<std::int64_t>("FiltSmallerFileSize", 0, 12, FIELD(Filter.FiltSmallerFileSize)),
        IntegerCase<std::uint8_t>(
            "FiltSmallerFileSizeType", 0, 2, FIELD(Filter.FiltSmallerFileSizeType)),
        BoolCase("FiltDoNotMarkBiggerFileSize", false, FIELD(Filter.FiltDoNotMarkBiggerFileSize)),
        IntegerCase<std::int64_t>("FiltBiggerFileSize", 0, 34, FIELD(Filter.FiltBiggerFileSize)),
        IntegerCase<std::uint8_t>(
            "FiltBiggerFileSizeType", 0, 1, FIELD(Filter.FiltBiggerFileSizeType)),
        BoolCase("FiltDoNotMarkOlderFiles", false, FIELD(Filter.FiltDoNotMarkOlderFiles)),
        DateCase("FiltOlderFilesDate", FIELD(Filter.FiltOlderFilesDate)),
        BoolCase("FiltDoNotMarkNewerFiles", false, FIELD(Filter.FiltDoNotMarkNewerFiles)),
        DateCase("FiltNewerFilesDate", FIELD(Filter.FiltNewerFilesDate)),
        BoolCase("FiltDoNotMarkFileNames", false, FIELD(Filter.FiltDoNotMarkFileNames)),
        BoolCase("FiltDoNotMarkFolderNames", false, FIELD(Filter.FiltDoNotMarkFolderNames)),
        StringCase("FiltExcludeFileNameWords", "tmp*", FIELD(Filter.FiltExcludeFileNameWords)),
        StringCase("FiltExcludeFolderNameWords", "cache", FIELD(Filter.FiltExcludeFolderNameWords)),
        IntegerCase<std::uint8_t>("FilterDateOlderType", 0, 1, FIELD(Filter.FilterDateOlderType)),
        IntegerCase<std::uint8_t>("FilterDateNewerType", 0, 2, FIELD(Filter.FilterDateNewerType)),
    };
}

// Every test works on a store file of its own.
class SettingsRegistry : public ::testing::Test {
protected:
    testing_support::TRegistrySandbox FSandbox;
    TTempTree& FTree = FSandbox.Tree;
    platform::TRegistryStore& FStore = FSandbox.Store;

    void Put(const std::string& section, const std::string& name, const TRegValue& value)
    {
        ASSERT_TRUE(FSandbox.Put(RegistrySectionKey(section), name, value));
    }
    std::optional<TRegValue> Stored(const std::string& section, const std::string& name)
    {
        return FSandbox.Stored(RegistrySectionKey(section), name);
    }
    std::vector<std::string> StoredNames(const std::string& section)
    {
        std::vector<std::string> names;
        FStore.ValueNames(RegistrySectionKey(section), names);
        return names;
    }
    void ClearStore() { ASSERT_FALSE(FStore.DeleteKey(RegistryRoot)); }
    static TSettings Loaded()
    {
        TSettings settings = TSettings::Defaults();
        settings.Load();
        return settings;
    }
};

} // namespace

TEST_F(SettingsRegistry, AnEmptyStoreGivesExactlyTheDefaults)
{
    const double before = NowAsDateTime();
    const TSettings loaded; // the constructor loads
    const double after = NowAsDateTime();

    for (const TValueCase& c : AllValues()) {
        EXPECT_TRUE(c.HasDefault(loaded)) << c.Name;
        EXPECT_TRUE(c.HasDefault(TSettings::Defaults())) << c.Name;
    }
    for (double date : {loaded.OlderFilesDate, loaded.NewerFilesDate,
             loaded.QuickCheckOlderFilesDate, loaded.QuickCheckNewerFilesDate,
             loaded.Filter.FiltOlderFilesDate, loaded.Filter.FiltNewerFilesDate}) {
        EXPECT_GE(CompareDateTimes(date, before), 0);
        EXPECT_LE(CompareDateTimes(date, after), 0);
    }
    EXPECT_FALSE(loaded.DoNotMarkFolders);
    EXPECT_FALSE(loaded.DeleteEmptyFolders);
    EXPECT_TRUE(loaded.QuickCheckFolders.empty());
    EXPECT_TRUE(loaded.Filter.FiltFolders.empty());
    EXPECT_TRUE(loaded.ExcludeExtList.empty());
    EXPECT_TRUE(loaded.Filter.FiltExcludeExtList.empty());
    // Loading reads; it leaves an empty store empty.
    EXPECT_FALSE(FTree.Exists("Twinrake.reg"));
}

TEST_F(SettingsRegistry, EachStoredValueLoadsIntoItsOwnFieldAlone)
{
    const std::vector<TValueCase> cases = AllValues();
    for (const TValueCase& c : cases) {
        ClearStore();
        Put(Settings, c.Name, c.Stored);
        const TSettings loaded = Loaded();
        EXPECT_TRUE(c.HasValue(loaded)) << c.Name;
        for (const TValueCase& other : cases) {
            if (other.Name != c.Name) {
                EXPECT_TRUE(other.HasDefault(loaded)) << other.Name << " changed by " << c.Name;
            }
        }
    }
}

TEST_F(SettingsRegistry, SaveWritesEachFieldUnderItsNameAndLoadGivesItBack)
{
    for (const TValueCase& c : AllValues()) {
        ClearStore();
        TSettings settings = TSettings::Defaults();
        c.Set(settings);
        ASSERT_TRUE(settings.Save()) << c.Name;
        EXPECT_EQ(Stored(Settings, c.Name), c.Stored) << c.Name;
        EXPECT_TRUE(c.HasValue(Loaded())) << c.Name;
    }
}

TEST_F(SettingsRegistry, SaveWritesEveryValueInOneReplacementOfTheFileAndNoOldDateValue)
{
    TSettings settings = TSettings::Defaults();
    settings.DoNotMarkFolders = true;
    settings.DeleteEmptyFolders = true;
    {
        TCountingRenames counting;
        platform::TScopedSysCalls scope(counting);
        ASSERT_TRUE(settings.Save());
        EXPECT_EQ(counting.Renames, 1);
    }
    std::vector<std::string> expected;
    for (const TValueCase& c : AllValues()) {
        expected.push_back(c.Name);
    }
    expected.push_back("DoNotMarkFolders");
    expected.push_back("DeleteEmptyFolders");
    std::vector<std::string> names = StoredNames(Settings);
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);

    // Written, but never loaded: each run starts with them off.
    EXPECT_EQ(Stored(Settings, "DoNotMarkFolders"), IntegerValue(1));
    EXPECT_EQ(Stored(Settings, "DeleteEmptyFolders"), IntegerValue(1));
    const TSettings loaded = Loaded();
    EXPECT_FALSE(loaded.DoNotMarkFolders);
    EXPECT_FALSE(loaded.DeleteEmptyFolders);
}

TEST_F(SettingsRegistry, FolderListsStopAtTheFirstMissingOrEmptyValueAndDropVanishedFolders)
{
    const std::string a = FTree.AddFolder("a") + "/";
    const std::string b = FTree.AddFolder("b") + "/";
    const std::string c = FTree.AddFolder("c") + "/";
    const std::string link = FTree.AddSymlink("link", FTree.Path("b"));
    const std::string file = FTree.AddFile("file.txt", "x");
    const std::string gone = FTree.Path("gone/");
    struct TCase {
        std::string What;
        std::vector<std::pair<std::string, std::string>> Values;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {
        {"a gap ends the list", {{"0", a}, {"1", b}, {"3", c}}, {a, b}},
        {"an empty value ends the list", {{"0", a}, {"1", ""}, {"2", c}}, {a}},
        {"vanished folders and files are dropped, the rest read on",
            {{"0", gone}, {"1", file}, {"2", a}, {"3", link}}, {a, link}},
        {"no value at all", {}, {}},
    };
    using TListField = std::vector<std::string>& (*)(TSettings&);
    const std::vector<std::pair<std::string, TListField>> sections = {
        {"QuickCheckFolders", [](TSettings & s) -> auto& {return s.QuickCheckFolders;
}
}
, {"FiltFolders", [](TSettings& s) -> auto& {return s.Filter.FiltFolders;
}
}
,
}
;
for (const auto& [section, field] : sections) {
    for (const TCase& t : cases) {
        ClearStore();
        for (const auto& [name, folder] : t.Values) {
            Put(section, name, TRegValue::String(folder));
        }
        TSettings loaded = Loaded();
        EXPECT_EQ(field(loaded), t.Expected) << section << ": " << t.What;

        // Saving replaces the whole section with the list as loaded.
        ASSERT_TRUE(loaded.Save());
        std::vector<std::string> names;
        for (std::size_t i = 0; i < t.Expected.size(); ++i) {
            names.push_back(std::to_string(i));
            EXPECT_EQ(Stored(section, names.back()), TRegValue::String(t.Expected[i]));
        }
        EXPECT_EQ(StoredNames(section), names) << section << ": " << t.What;
    }
}
}

TEST_F(SettingsRegistry, DelimitedTextsLoadTrimmedAndSplitIntoTheirLists)
{
    using TPair = std::pair<std::string*, std::vector<std::string>*>;
    struct TCase {
        std::string Name;
        std::function<TPair(TSettings&)> Field;
    };
    const std::vector<TCase> cases = {
        {"ExcludeExt", [](TSettings& s) { return TPair(&s.ExcludeExt, &s.ExcludeExtList); }},
        {"ExcludeFileNameWords",
            [](TSettings& s) {
                return TPair(&s.ExcludeFileNameWords, &s.ExcludeFileNameWordList);
            }},
        {"QuickCheckExt",
            [](TSettings& s) { return TPair(&s.QuickCheckExt, &s.QuickCheckExtList); }},
        {"QuickCheckFileNameWords",
            [](TSettings& s) {
                return TPair(&s.QuickCheckFileNameWords, &s.QuickCheckFileNameWordList);
            }},
        {"FiltExcludeExt",
            [](TSettings& s) {
                return TPair(&s.Filter.FiltExcludeExt, &s.Filter.FiltExcludeExtList);
            }},
        {"FiltExcludeFileNameWords",
            [](TSettings& s) {
                return TPair(
                    &s.Filter.FiltExcludeFileNameWords, &s.Filter.FiltExcludeFileNameWordList);
            }},
        {"FiltExcludeFolderNameWords",
            [](TSettings& s) {
                return TPair(
                    &s.Filter.FiltExcludeFolderNameWords, &s.Filter.FiltExcludeFolderNameWordList);
            }},
    };
    for (const TCase& c : cases) {
        ClearStore();
        Put(Settings, c.Name, TRegValue::String(" \t*.tmp| *.bak \r\n"));
        TSettings loaded = Loaded();
        const auto [text, list] = c.Field(loaded);
        EXPECT_EQ(*text, "*.tmp| *.bak") << c.Name;
        EXPECT_EQ(*list, (std::vector<std::string> {"*.tmp", " *.bak"})) << c.Name;

        ClearStore();
        Put(Settings, c.Name, TRegValue::String("   "));
        TSettings blank = Loaded();
        EXPECT_EQ(*c.Field(blank).first, "") << c.Name;
        EXPECT_TRUE(c.Field(blank).second->empty()) << c.Name;
    }
}

TEST_F(SettingsRegistry, AnOldDateValueWinsOnceIsMigratedAndRemoved)
{
    // 2019-03-15 10:30:20, packed as a file date-time of the old kind.
    const std::int32_t packed = std::int32_t((std::uint32_t((39 << 9) | (3 << 5) | 15) << 16) |
        std::uint32_t((10 << 11) | (30 << 5) | 10));
    const double packedDate = *EncodeDateTime(2019, 3, 15, 10, 30, 20, 0);
    // Month 0 does not exist.
    const std::int32_t invalid = std::int32_t(std::uint32_t((39 << 9) | 15) << 16);
    struct TCase {
        std::string What;
        std::optional<std::int32_t> Legacy;
        double Expected;
    };
    const std::vector<TCase> cases = {
        {"a non-zero old value wins", packed, packedDate},
        {"an old value of 0 leaves the new one", 0, StoredDate},
        {"an old value that is no date leaves the new one", invalid, StoredDate},
        {"no old value", std::nullopt, StoredDate},
    };
    for (const TValueCase& date : AllValues()) {
        if (!date.DateOf) {
            continue;
        }
        const std::string legacyName = date.Name.substr(0, date.Name.size() - 2);
        for (const TCase& c : cases) {
            ClearStore();
            Put(Settings, date.Name, DoubleValue(StoredDate));
            if (c.Legacy) {
                Put(Settings, legacyName, IntegerValue(*c.Legacy));
            }
            const TSettings loaded = Loaded();
            EXPECT_EQ(date.DateOf(loaded), c.Expected) << legacyName << ": " << c.What;
            EXPECT_EQ(Stored(Settings, legacyName), std::nullopt) << legacyName << ": " << c.What;
            // The migrated date is kept even when this run never saves.
            EXPECT_EQ(Stored(Settings, date.Name), DoubleValue(c.Expected))
                << legacyName << ": " << c.What;
        }
    }
}

TEST_F(SettingsRegistry, OnlyTheTextZeroShowsAWarning)
{
    struct TCase {
        std::string Text;
        bool Shown;
    };
    const std::vector<TCase> cases = {{"0", true}, {"-1", false}, {"1", false}, {"", false}};
    for (const TCase& c : cases) {
        ClearStore();
        for (const char* name :
            {"HideMoveWarningMsg", "ProtectSysFilesMsg", "HideDelWholeGroupWarningMsg"}) {
            Put(Settings, name, TRegValue::String(c.Text));
        }
        TSettings loaded = Loaded();
        EXPECT_EQ(loaded.ShowMoveWarning, c.Shown) << c.Text;
        EXPECT_EQ(loaded.ShowProtectSysFilesMsg, c.Shown) << c.Text;
        EXPECT_EQ(loaded.ShowDelWholeGroupWarning, c.Shown) << c.Text;
    }
    // A Boolean of another type is no text: the default, shown.
    ClearStore();
    Put(Settings, "HideMoveWarningMsg", IntegerValue(0));
    EXPECT_TRUE(Loaded().ShowMoveWarning);

    TSettings settings = TSettings::Defaults();
    settings.ShowMoveWarning = true;
    settings.ShowProtectSysFilesMsg = false;
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(Stored(Settings, "HideMoveWarningMsg"), TRegValue::String("0"));
    EXPECT_EQ(Stored(Settings, "ProtectSysFilesMsg"), TRegValue::String("-1"));
}

TEST_F(SettingsRegistry, ValuesOutOfTheirRangeLoadAsTheirDefaults)
{
    struct TCase {
        std::string Name;
        TRegValue Stored;
    };
    const std::vector<TCase> cases = {
        {"Priority", IntegerValue(7)},
        {"Priority", IntegerValue(-1)},
        {"Priority", IntegerValue(256)},
        {"PerformAction", IntegerValue(5)},
        {"FindMode", IntegerValue(4)},
        {"AfterScan", IntegerValue(7)},
        {"AutoCheckType", IntegerValue(9)},
        {"FilterMode", IntegerValue(2)},
        {"SmallerFileSizeType", IntegerValue(3)},
        {"BiggerFileSizeType", IntegerValue(-3)},
        {"QuickCheckSmallerFileSizeType", IntegerValue(3)},
        {"QuickCheckBiggerFileSizeType", IntegerValue(3)},
        {"FiltSmallerFileSizeType", IntegerValue(3)},
        {"FiltBiggerFileSizeType", IntegerValue(3)},
        {"CompareDateType", IntegerValue(3)},
        {"QuickDateOlderType", IntegerValue(3)},
        {"QuickDateNewerType", IntegerValue(3)},
        {"ExcludeDateOlderType", IntegerValue(3)},
        {"ExcludeDateNewerType", IntegerValue(3)},
        {"FilterDateOlderType", IntegerValue(3)},
        {"FilterDateNewerType", IntegerValue(3)},
        {"SmallerFileSize", IntegerValue(-1)},
        {"BiggerFileSize", IntegerValue(std::numeric_limits<std::int32_t>::min())},
        {"FiltSmallerFileSize", IntegerValue(-1)},
        {"FiltBiggerFileSize", IntegerValue(-1)},
        {"Similarity", DoubleValue(std::nan(""))},
        {"Similarity", DoubleValue(150.0)},
        {"Similarity", DoubleValue(-1.0)},
        {"Similarity", DoubleValue(std::numeric_limits<double>::infinity())},
        {"OlderFilesDate64", DoubleValue(std::nan(""))},
        {"FiltNewerFilesDate64", DoubleValue(std::numeric_limits<double>::infinity())},
        // A value of another type.
        {"Priority", TRegValue::String("5")},
        {"EnableLog", TRegValue::String("1")},
    };
    const std::vector<TValueCase> values = AllValues();
    for (const TCase& c : cases) {
        ClearStore();
        Put(Settings, c.Name, c.Stored);
        const TSettings loaded = Loaded();
        bool known = false;
        for (const TValueCase& value : values) {
            if (value.Name == c.Name) {
                known = true;
                EXPECT_TRUE(value.HasDefault(loaded)) << c.Name;
            }
        }
        EXPECT_TRUE(known) << c.Name;
    }
}

TEST_F(SettingsRegistry, SizeLimitsAboveWhatTheStoreHoldsComeBackAsTheLargestLimitNotNegative)
{
    using TLimit = std::int64_t& (*)(TSettings&);
    const std::vector<std::pair<std::string, TLimit>> limits = {
        {"SmallerFileSize", [](TSettings & s) -> auto& {return s.SmallerFileSize;
}
}
, {"BiggerFileSize", [](TSettings& s) -> auto& {return s.BiggerFileSize;
}
}
, {"FiltSmallerFileSize", [](TSettings& s) -> auto& {return s.Filter.FiltSmallerFileSize;
}
}
, {"FiltBiggerFileSize", [](TSettings& s) -> auto& {return s.Filter.FiltBiggerFileSize;
}
}
,
}
;
struct TCase {
    std::int64_t InMemory;
    std::int32_t Stored;
};
const std::vector<TCase> cases = {
    {3000000000, 2147483647},
    {2147483647, 2147483647},
    {(std::int64_t(1) << 32) + 5, 2147483647},
    {-4, 0},
};
for (const auto& [name, field] : limits) {
    for (const TCase& c : cases) {
        ClearStore();
        TSettings settings = TSettings::Defaults();
        field(settings) = c.InMemory;
        ASSERT_TRUE(settings.Save());
        EXPECT_EQ(Stored(Settings, name), IntegerValue(c.Stored)) << name << c.InMemory;
        TSettings loaded = Loaded();
        EXPECT_EQ(field(loaded), c.Stored) << name << " " << c.InMemory;
    }
}
}

TEST_F(SettingsRegistry, AFailedSaveReportsFalseAndLeavesTheStoredOptionsAsTheyWere)
{
    TSettings first = TSettings::Defaults();
    first.FindMode = 2;
    first.Filter.FiltFolders = {FTree.Root()};
    ASSERT_TRUE(first.Save());

    TSettings second = TSettings::Defaults();
    second.FindMode = 3;
    second.Filter.FiltFolders.clear();
    {
        TDiskFull diskFull;
        platform::TScopedSysCalls scope(diskFull);
        EXPECT_FALSE(second.Save());
        EXPECT_FALSE(second.Filter.Save());
    }
    const TSettings loaded = Loaded();
    EXPECT_EQ(loaded.FindMode, 2);
    EXPECT_EQ(loaded.Filter.FiltFolders, std::vector<std::string> {FTree.Root()});
}

TEST_F(SettingsRegistry, TheProgramsOptionsDriveTheLogSwitchAndACopyDoesNot)
{
    Put(Settings, "EnableLog", IntegerValue(1));
    SetLogEnabled(false);

    TSettings copy = TSettings::Defaults();
    copy.Load();
    EXPECT_TRUE(copy.EnableLog);
    EXPECT_FALSE(IsLogEnabled());

    AppSettings.Load();
    EXPECT_TRUE(IsLogEnabled());

    AppSettings.EnableLog = false;
    ASSERT_TRUE(AppSettings.Save());
    EXPECT_FALSE(IsLogEnabled());

    copy.EnableLog = true;
    ASSERT_TRUE(copy.Save());
    EXPECT_FALSE(IsLogEnabled());

    AppSettings = TSettings::Defaults();
    SetLogEnabled(false);
}
