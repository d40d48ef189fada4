#include "engine/RegistryAccess.h"

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

// Every registry user of the test works on a store file of its own.
class TRegistryFixture : public ::testing::Test {
protected:
    testing_support::TRegistrySandbox FSandbox;
    platform::TRegistryStore& FStore = FSandbox.Store;

    void Put(const std::string& section, const std::string& name, const TRegValue& value)
    {
        ASSERT_TRUE(FSandbox.Put(RegistrySectionKey(section), name, value));
    }
    std::optional<TRegValue> Stored(const std::string& key, const std::string& name)
    {
        return FSandbox.Stored(key, name);
    }
};

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values) {
        bytes.push_back(char(v));
    }
    return bytes;
}

std::string DoubleBytes(double number)
{
    std::uint64_t bits = std::bit_cast<std::uint64_t>(number);
    std::string bytes;
    for (int k = 0; k < 8; ++k) {
        bytes.push_back(char((bits >> (8 * k)) & 0xFF));
    }
    return bytes;
}

std::string BitsText(double number)
{
    return std::to_string(std::bit_cast<std::uint64_t>(number));
}

} // namespace

using RegistryAccess = TRegistryFixture;

TEST_F(RegistryAccess, ReadersFollowTheTypingRulesAndFallBackToTheDefault)
{
    using TReader = std::function<std::string(const std::string& name)>;
    const TReader boolDefaultFalse = [](const std::string& n) {
        return std::string(RegReadBool("Settings", n, false) ? "true" : "false");
    };
    const TReader boolDefaultTrue = [](const std::string& n) {
        return std::string(RegReadBool("Settings", n, true) ? "true" : "false");
    };
    const TReader integer = [](const std::string& n) {
        return std::to_string(RegReadInteger("Settings", n, -7));
    };
    const TReader floating = [](const std::string& n) {
        return BitsText(RegReadFloat("Settings", n, 95.0));
    };
    const TReader time = [](const std::string& n) {
        return BitsText(RegReadTime("Settings", n, 1.5));
    };
    const TReader text = [](const std::string& n) {
        return RegReadString("Settings", n, "<default>");
    };
    struct TCase {
        const char* Label;
        std::optional<TRegValue> Stored;
        TReader Read;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {"a DWORD 5 is True", TRegValue::Dword(5), boolDefaultFalse, "true"},
        {"a DWORD 0 is False", TRegValue::Dword(0), boolDefaultTrue, "false"},
        {"a string is no Boolean", TRegValue::String("1"), boolDefaultTrue, "true"},
        {"a binary is no Boolean", TRegValue::Binary(Bytes({1, 0, 0, 0})), boolDefaultFalse,
            "false"},
        {"a two-byte DWORD is no Boolean", TRegValue {platform::rtDword, Bytes({1, 0})},
            boolDefaultFalse, "false"},
        {"a missing Boolean", std::nullopt, boolDefaultTrue, "true"},
        {"a DWORD is signed", TRegValue::Dword(0xFFFFFFFEu), integer, "-2"},
        {"the largest Integer", TRegValue::Dword(0x7FFFFFFF), integer, "2147483647"},
        {"a QWORD is no Integer", TRegValue::Qword(3), integer, "-7"},
        {"a string is no Integer", TRegValue::String("42"), integer, "-7"},
        {"a missing Integer", std::nullopt, integer, "-7"},
        {"an 8-byte binary is a Float", TRegValue::Binary(DoubleBytes(0.1)), floating,
            BitsText(0.1)},
        {"a 4-byte binary is no Float", TRegValue::Binary(Bytes({0, 0, 0x80, 0x3F})), floating,
            BitsText(95.0)},
        {"a 9-byte binary is no Float", TRegValue::Binary(DoubleBytes(2.0) + "x"), floating,
            BitsText(95.0)},
        {"a QWORD is no Float", TRegValue::Qword(std::bit_cast<std::uint64_t>(2.0)), floating,
            BitsText(95.0)},
        {"a Time is a Float", TRegValue::Binary(DoubleBytes(45000.75)), time, BitsText(45000.75)},
        {"a DWORD is no Time", TRegValue::Dword(45000), time, BitsText(1.5)},
        {"an empty string is empty, not the default", TRegValue::String(""), text, ""},
        {"an expandable string is not expanded", TRegValue::ExpandString("$HOME/%TEMP%"), text,
            "$HOME/%TEMP%"},
        {"a string ends at its first zero", TRegValue::String(std::string("ab\0cd", 5)), text,
            "ab"},
        {"a DWORD is no string", TRegValue::Dword(1), text, "<default>"},
        {"a binary is no string", TRegValue::Binary("abc"), text, "<default>"},
        {"a missing string", std::nullopt, text, "<default>"},
    };
    int row = 0;
    for (const TCase& c : cases) {
        std::string name = "Value" + std::to_string(row++);
        if (c.Stored) {
            Put("Settings", name, *c.Stored);
        }
        EXPECT_EQ(c.Read(name), c.Expected) << c.Label;
    }
    // A missing section gives the default too.
    EXPECT_EQ(RegReadInteger("NoSuchSection", "Value6", 11), 11);
}

TEST_F(RegistryAccess, WritersStoreTheDocumentedTypesAndFloatsRoundTripBitForBit)
{
    const std::vector<double> doubles = {0.1, -0.0, 95.0, 1e308,
        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::infinity(),
        45292.999988425923};
    for (std::size_t i = 0; i < doubles.size(); ++i) {
        std::string name = "F" + std::to_string(i);
        ASSERT_TRUE(RegWriteFloat("Settings", name, doubles[i]));
        EXPECT_EQ(BitsText(RegReadFloat("Settings", name, 7.0)), BitsText(doubles[i]));
        ASSERT_TRUE(RegWriteTime("Settings", "T" + name, doubles[i]));
        EXPECT_EQ(BitsText(RegReadTime("Settings", "T" + name, 7.0)), BitsText(doubles[i]));
        EXPECT_EQ(Stored(RegistrySectionKey("Settings"), name),
            TRegValue::Binary(DoubleBytes(doubles[i])));
    }

    ASSERT_TRUE(RegWriteBool("Settings", "B", true));
    EXPECT_EQ(Stored(RegistrySectionKey("Settings"), "B"), TRegValue::Dword(1));
    ASSERT_TRUE(RegWriteBool("Settings", "B", false));
    EXPECT_EQ(Stored(RegistrySectionKey("Settings"), "B"), TRegValue::Dword(0));

    ASSERT_TRUE(RegWriteInteger("Settings", "I", std::numeric_limits<std::int32_t>::min()));
    EXPECT_EQ(Stored(RegistrySectionKey("Settings"), "I"), TRegValue::Dword(0x80000000u));
    EXPECT_EQ(RegReadInteger("Settings", "I", 0), std::numeric_limits<std::int32_t>::min());

    const std::string awkward = "C:\\x \"y\"\nzweite Zeile ä";
    ASSERT_TRUE(RegWriteString("Settings", "S", awkward));
    EXPECT_EQ(Stored(RegistrySectionKey("Settings"), "S"), TRegValue::String(awkward));
    EXPECT_EQ(RegReadString("Settings", "S", ""), awkward);

    // The section is a key below the registry root; writers create it and its parents.
    ASSERT_TRUE(RegWriteInteger("Grid\\Columns Sizes", "Column0", 120));
    EXPECT_TRUE(FStore.KeyExists("Software\\Zanthory\\Twinrake\\Grid\\Columns Sizes"));
    EXPECT_EQ(RegistrySectionKey("Settings"), RegistryRoot + "Settings");
}

TEST_F(RegistryAccess, ClearingAKeyKeepsItsSubkeysAndRemovingAValueTouchesOnlyThatValue)
{
    ASSERT_TRUE(RegWriteString("QuickCheckFolders", "0", "/a/"));
    ASSERT_TRUE(RegWriteString("QuickCheckFolders", "1", "/b/"));
    ASSERT_TRUE(RegWriteString("QuickCheckFolders\\Sub", "x", "kept"));
    ASSERT_TRUE(RegClearKey("QuickCheckFolders"));
    EXPECT_EQ(RegReadString("QuickCheckFolders", "0", "gone"), "gone");
    EXPECT_EQ(RegReadString("QuickCheckFolders", "1", "gone"), "gone");
    EXPECT_EQ(RegReadString("QuickCheckFolders\\Sub", "x", ""), "kept");

    ASSERT_TRUE(RegWriteInteger("Settings", "OlderFilesDate", 5));
    ASSERT_TRUE(RegWriteInteger("Settings", "OlderFilesDate64", 6));
    ASSERT_TRUE(RegRemoveValue("Settings", "olderfilesdate"));
    EXPECT_EQ(RegReadInteger("Settings", "OlderFilesDate", 0), 0);
    EXPECT_EQ(RegReadInteger("Settings", "OlderFilesDate64", 0), 6);

    // Missing keys and values: nothing happens, and that is no failure.
    EXPECT_TRUE(RegClearKey("NoSuchKey"));
    EXPECT_TRUE(RegRemoveValue("NoSuchKey", "x"));
    EXPECT_FALSE(FStore.KeyExists(RegistrySectionKey("NoSuchKey")));
}

TEST_F(RegistryAccess, AFailedWriteIsReportedAndTheOtherValuesOfABatchAreStillSaved)
{
    ASSERT_TRUE(RegWriteInteger("Settings", "Old", 1));
    {
        TDiskFull full;
        platform::TScopedSysCalls scope(full);
        EXPECT_FALSE(RegWriteInteger("Settings", "Old", 2));
        EXPECT_FALSE(RegClearKey("Settings"));

        TRegBatch batch;
        EXPECT_TRUE(RegWriteInteger("Settings", "A", 1));
        EXPECT_FALSE(batch.Commit());
        EXPECT_EQ(batch.Error().Code, ENOSPC);
    }
    EXPECT_EQ(RegReadInteger("Settings", "Old", 0), 1);
    EXPECT_EQ(RegReadInteger("Settings", "A", 0), 0);

    // A value that cannot be stored at all fails alone: the saver goes on, reports once.
    TRegBatch batch;
    EXPECT_TRUE(RegWriteInteger("Settings", "Before", 1));
    RegWriteInteger("Settings", "bad\nname", 2);
    EXPECT_TRUE(RegWriteInteger("Settings", "After", 3));
    EXPECT_FALSE(batch.Commit());
    EXPECT_EQ(batch.Error().Code, EINVAL);
    EXPECT_EQ(RegReadInteger("Settings", "Before", 0), 1);
    EXPECT_EQ(RegReadInteger("Settings", "After", 0), 3);
}

TEST_F(RegistryAccess, NestedBatchesAreSavedOnceWhenTheOutermostCommits)
{
    TCountingRenames counting;
    platform::TScopedSysCalls scope(counting);
    {
        TRegBatch outer;
        ASSERT_TRUE(RegWriteString("FiltFolders", "0", "/stale/"));
        {
            TRegBatch inner;
            ASSERT_TRUE(RegClearKey("FiltFolders"));
            ASSERT_TRUE(RegWriteString("FiltFolders", "0", "/new/"));
            EXPECT_TRUE(inner.Commit());
        }
        ASSERT_TRUE(RegWriteBool("Settings", "EnableFilter", true));
        EXPECT_EQ(RegReadString("FiltFolders", "0", "pending"), "pending");
        EXPECT_EQ(counting.Renames, 0);
        EXPECT_TRUE(outer.Commit());
    }
    EXPECT_EQ(counting.Renames, 1);
    EXPECT_EQ(RegReadString("FiltFolders", "0", ""), "/new/");
    EXPECT_TRUE(RegReadBool("Settings", "EnableFilter", false));

    // A batch left without Commit still saves what it gathered.
    {
        TRegBatch forgotten;
        RegWriteInteger("Settings", "Late", 4);
    }
    EXPECT_EQ(RegReadInteger("Settings", "Late", 0), 4);
    EXPECT_EQ(TRegBatch::Current(), nullptr);
}

// ---- window placement -------------------------------------------------------------------

TEST(PlacementRecord, IsSixteenLittleEndianBytesAndAnyOtherShapeIsNoRecord)
{
    TPlacementRecord record {-10, MaximizedMarker, 1910, 1070};
    TRegValue value = EncodePlacementRecord(record);
    EXPECT_EQ(value,
        TRegValue::Binary(Bytes(
            {0xF6, 0xFF, 0xFF, 0xFF, 0x19, 0xFC, 0xFF, 0xFF, 0x76, 0x07, 0, 0, 0x2E, 0x04, 0, 0})));
    EXPECT_EQ(DecodePlacementRecord(value), record);

    EXPECT_FALSE(DecodePlacementRecord(TRegValue::Binary(value.Data.substr(0, 15))));
    EXPECT_FALSE(DecodePlacementRecord(TRegValue::Binary(value.Data + "x")));
    EXPECT_FALSE(DecodePlacementRecord(TRegValue {platform::rtString, value.Data}));
}

TEST(PlacementRecord, SavingKeepsTheOuterEdgesAndMarksAMaximizedWindow)
{
    TFormPlacement normal {QRect(100, 50, 800, 600), false};
    EXPECT_EQ(MakePlacementRecord(normal), (TPlacementRecord {100, 50, 900, 650}));
    TFormPlacement maximized {QRect(0, 0, 1920, 1040), true};
    EXPECT_EQ(MakePlacementRecord(maximized), (TPlacementRecord {0, MaximizedMarker, 1920, 1040}));
}

TEST(PlacementRecord, RestoringFollowsTheRulesForEachEdgeOnItsOwn)
{
    const QRect screen(0, 0, 1920, 1080);
    const QRect designed(200, 150, 640, 480);
    struct TCase {
        const char* Label;
        std::optional<TPlacementRecord> Record;
        std::string FormName;
        QRect VirtualScreen;
        QRect ExpectedBounds;
        bool ExpectedMaximized;
    };
    const std::vector<TCase> cases = {
        {"first start maximizes the main window", std::nullopt, "MainForm", screen, designed, true},
        {"first start leaves the folder picker as designed", std::nullopt, "BrowseForFoldersForm",
            screen, designed, false},
        {"a maximized record maximizes and keeps the bounds",
            TPlacementRecord {0, MaximizedMarker, 1920, 1040}, "MainForm", screen, designed, true},
        {"a record on the screen is applied whole", TPlacementRecord {10, 20, 810, 620}, "MainForm",
            screen, QRect(10, 20, 800, 600), false},
        {"a Left within 10 pixels of the width is skipped, the width still applied",
            TPlacementRecord {1910, 20, 2410, 620}, "MainForm", screen, QRect(200, 20, 500, 600),
            false},
        {"a Left just inside the slack is applied", TPlacementRecord {1909, 20, 2009, 620},
            "MainForm", screen, QRect(1909, 20, 100, 600), false},
        {"a Top beyond the height is skipped, the height still applied",
            TPlacementRecord {10, 1075, 810, 1375}, "MainForm", screen, QRect(10, 150, 800, 300),
            false},
        {"a Right left of the virtual screen keeps the width",
            TPlacementRecord {-900, 20, -100, 620}, "MainForm", screen, QRect(-900, 20, 640, 600),
            false},
        {"a monitor left of the primary one", TPlacementRecord {-1200, 100, -400, 700}, "MainForm",
            QRect(-1280, 0, 3200, 1080), QRect(-1200, 100, 800, 600), false},
        {"the tests compare with the width, not the right edge",
            TPlacementRecord {1300, 100, 1500, 300}, "MainForm", QRect(-1280, 0, 2560, 1080),
            QRect(1300, 100, 200, 200), false},
        {"a corrupt record never gives a window of no size", TPlacementRecord {500, 400, 100, 400},
            "MainForm", screen, QRect(500, 400, 640, 480), false},
        {"extreme numbers do not overflow",
            TPlacementRecord {std::numeric_limits<std::int32_t>::min(),
                std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                std::numeric_limits<std::int32_t>::max()},
            "MainForm", screen,
            QRect(std::numeric_limits<std::int32_t>::min(),
                std::numeric_limits<std::int32_t>::min(), 640, 480),
            false},
    };
    for (const TCase& c : cases) {
        TFormPlacement form {designed, false};
        ApplyPlacementRecord(c.Record, c.FormName, c.VirtualScreen, form);
        EXPECT_EQ(form.Bounds, c.ExpectedBounds) << c.Label;
        EXPECT_EQ(form.Maximized, c.ExpectedMaximized) << c.Label;
    }
}

TEST_F(RegistryAccess, APlacementSavedAndLoadedRestoresTheWindowAndABadValueCountsAsNone)
{
    const std::string mainKey = RegistryRoot + "MainForm";
    const QRect screen(0, 0, 2560, 1440);
    ASSERT_TRUE(SaveFormPlacement("MainForm", mainKey, {QRect(30, 40, 1000, 700), false}));
    EXPECT_EQ(
        Stored(mainKey, "MainForm"), EncodePlacementRecord(TPlacementRecord {30, 40, 1030, 740}));

    TFormPlacement form {QRect(0, 0, 10, 10), false};
    LoadFormPlacement("MainForm", mainKey, screen, form);
    EXPECT_EQ(form.Bounds, QRect(30, 40, 1000, 700));
    EXPECT_FALSE(form.Maximized);

    // Closed while maximized: it comes back maximized.
    ASSERT_TRUE(SaveFormPlacement("MainForm", mainKey, {QRect(0, 0, 2560, 1400), true}));
    form = {QRect(5, 5, 10, 10), false};
    LoadFormPlacement("MainForm", mainKey, screen, form);
    EXPECT_TRUE(form.Maximized);
    EXPECT_EQ(form.Bounds, QRect(5, 5, 10, 10));

    // A value of another type or size is taken for no value: first-start behaviour.
    for (const TRegValue& bad : {TRegValue::String("garbage"), TRegValue::Binary("short"),
             TRegValue::Binary(std::string(20, 'x'))}) {
        ASSERT_FALSE(FStore.WriteValue(mainKey, "MainForm", bad));
        form = {QRect(5, 5, 10, 10), false};
        LoadFormPlacement("MainForm", mainKey, screen, form);
        EXPECT_TRUE(form.Maximized);
        EXPECT_EQ(form.Bounds, QRect(5, 5, 10, 10));
    }

    // The folder picker keeps its own value in its own key.
    const std::string browseKey = RegistryRoot + "BrowseForm";
    form = {QRect(5, 5, 10, 10), false};
    LoadFormPlacement("BrowseForFoldersForm", browseKey, screen, form);
    EXPECT_EQ(form.Bounds, QRect(5, 5, 10, 10));
    EXPECT_FALSE(form.Maximized);
    ASSERT_TRUE(
        SaveFormPlacement("BrowseForFoldersForm", browseKey, {QRect(100, 100, 500, 400), false}));
    EXPECT_TRUE(Stored(browseKey, "BrowseForFoldersForm").has_value());
}

TEST(WindowGeometry, AWindowOnNoMonitorIsFound)
{
    const std::vector<QRect> monitors = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    struct TCase {
        const char* Label;
        QRect Bounds;
        bool Expected;
    };
    const std::vector<TCase> cases = {
        {"inside the primary", QRect(100, 100, 800, 600), true},
        {"across both", QRect(1800, 100, 400, 300), true},
        {"one pixel on the second", QRect(3199, 1023, 400, 300), true},
        {"below the shorter second monitor", QRect(2000, 1030, 400, 300), false},
        {"on a removed monitor to the left", QRect(-1500, 100, 800, 600), false},
        {"just touching the right edge", QRect(3200, 0, 100, 100), false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(LiesOnAnyMonitor(c.Bounds, monitors), c.Expected) << c.Label;
    }
    EXPECT_FALSE(LiesOnAnyMonitor(QRect(0, 0, 100, 100), {}));
}

TEST(WindowGeometry, CentringGrowsASmallWindowToTheWorkAreaAndNeverShrinks)
{
    const QRect area(0, 0, 1920, 1040);
    struct TCase {
        const char* Label;
        QRect WorkArea;
        QRect Bounds;
        QRect Expected;
    };
    const std::vector<TCase> cases = {
        {"smaller both ways", area, QRect(300, 300, 1000, 700), QRect(0, 0, 1920, 1040)},
        {"wider than the area", area, QRect(10, 10, 2500, 700), QRect(-290, 0, 2500, 1040)},
        {"taller than the area", area, QRect(10, 10, 800, 1200), QRect(0, -80, 1920, 1200)},
        {"halves truncate toward zero", area, QRect(0, 0, 1921, 1043), QRect(0, -1, 1921, 1043)},
        {"a work area with a panel on top and a second monitor on the left",
            QRect(-1280, 32, 1280, 992), QRect(0, 0, 1500, 500), QRect(-1390, 32, 1500, 992)},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(CenterOnWorkArea(c.Bounds, c.WorkArea), c.Expected) << c.Label;
    }
}
