#include "ui/ExportTargets.h"

#include "engine/DFinder.h"
#include "engine/Project.h"
#include "engine/SettingsUnit.h"
#include "tests/support/ResultsBuilder.h"
#include "tests/support/TempTree.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// 17 May 2024, 14:03:59 on a fixed clock.
QDateTime FixedNow()
{
    return QDateTime(QDate(2024, 5, 17), QTime(14, 3, 59), QTimeZone::utc());
}

QLocale LocaleNamed(const char* name)
{
    return QLocale(QString::fromLatin1(name));
}

TEST(ExpandDateTimeTokens, PutsTheLocalesDateAndTimeWithDashesInPlaceOfTokensOfAnyCase)
{
    struct TCase {
        const char* Locale;
        std::string Name;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {"en_US", "/out/dups_{DATE}_{time}.csv", "/out/dups_5-17-24_2-03-59 PM.csv"},
        {"de_DE", "{Date}-{TiMe}.xml", "17-05-24-14-03-59.xml"},
        {"fr_FR", "{date}{DATE}", "17-05-202417-05-2024"},
        {"ja_JP", "{TIME}", "14時03分59秒"},
        {"fa_IR", "{TIME}", "۱۴-۰۳-۵۹"},
        {"en_US", "no tokens {DAT}.csv", "no tokens {DAT}.csv"},
        {"en_US", "\xff\xfe_{DATE}", "\xff\xfe_5-17-24"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name + " in " + c.Locale);
        EXPECT_EQ(ExpandDateTimeTokens(c.Name, FixedNow(), LocaleNamed(c.Locale)), c.Expected);
    }
}

TEST(ExpandDateTimeTokens, NeverPutsASlashOrColonIntoAName)
{
    for (const char* name :
        {"en_US", "en_GB", "de_DE", "fr_FR", "ja_JP", "zh_CN", "hu_HU", "ko_KR", "ar_EG", "fa_IR",
            "bg_BG", "fi_FI", "da_DK", "he_IL", "pt_BR", "ru_RU", "nl_NL", "C"}) {
        SCOPED_TRACE(name);
        const std::string expanded =
            ExpandDateTimeTokens("{DATE} {TIME}", FixedNow(), LocaleNamed(name));
        EXPECT_EQ(expanded.find_first_of("/:"), std::string::npos) << expanded;
        EXPECT_EQ(expanded.find("UTC"), std::string::npos) << expanded;
    }
}

TEST(ExportTargets, ChoosesTheWriterByTheExtensionAsWritten)
{
    struct TCase {
        const char* Label;
        std::string List;
        std::vector<TExportTarget> Expected;
    };
    const std::vector<TCase> cases = {
        {"two files, tokens in any case", "/out/dups_{DATE}_{time}.csv;/out/all.xml",
            {{TExportKind::ekCsv, "/out/dups_5-17-24_2-03-59 PM.csv"},
                {TExportKind::ekXml, "/out/all.xml"}}},
        {"a capital extension is left out", "/out/DUPS.CSV;/out/b.Xml;/out/p.twrk",
            {{TExportKind::ekProject, "/out/p.twrk"}}},
        {"other extensions and names without one", "a.tar;dir.v2/out;.csv;x", {}},
        {"a blank last entry is dropped, an empty one in between skipped", "a.xml;;b.csv;",
            {{TExportKind::ekXml, "a.xml"}, {TExportKind::ekCsv, "b.csv"}}},
        {"the extension is the one written, not the expanded one", "x.{DATE}", {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(ExportTargets(c.List, FixedNow(), LocaleNamed("en_US")), c.Expected);
    }
}

TEST(WriteExportTargets, WritesEveryTargetAndReportsEachThatFailed)
{
    testing_support::TTempTree tree;
    TDFinder finder;
    testing_support::AddResultGroup(finder, {{}, {}});
    const TSettings settings = TSettings::Defaults();
    TProject project;
    const std::vector<TExportTarget> targets = {
        {TExportKind::ekXml, tree.Path("missing/all.xml")},
        {TExportKind::ekCsv, tree.Path("dups.csv")},
        {TExportKind::ekProject, tree.Path("results.twrk")},
        {TExportKind::ekCsv, tree.Path("missing/dups.csv")},
    };
    const std::vector<TExportFailure> failures =
        WriteExportTargets(targets, project, finder, settings);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].Path, tree.Path("missing/all.xml"));
    EXPECT_EQ(
        failures[0].ErrorText.rfind("Error while saving " + tree.Path("missing/all.xml"), 0), 0u);
    EXPECT_EQ(failures[1].Path, tree.Path("missing/dups.csv"));
    EXPECT_TRUE(tree.Exists("dups.csv"));
    EXPECT_TRUE(tree.Exists("results.twrk"));
    EXPECT_EQ(project.FileName, tree.Path("results.twrk"));
}

} // namespace
