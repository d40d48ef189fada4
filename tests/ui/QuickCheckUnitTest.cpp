#include "ui/QuickCheckUnit.h"

#include "engine/DFinder.h"
#include "engine/FileTimeHelper.h"
#include "tests/ui/DialogTestSupport.h"
#include "toolkit/ExtensionList.h"
#include "toolkit/FolderListBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSpinBox>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace dialog_tests;
using platform::TFileTime;
using platform::TFindRecord;

namespace {

// 2021-03-01 08:00:00 UTC and ten days later.
const TFileTime CreatedTime = platform::FileTimeFromUnix(1614585600, 0);
const TFileTime WrittenTime = platform::FileTimeFromUnix(1614585600 + 864000, 0);
constexpr double OneMillisecond = 1.0 / 86400000.0;

std::unique_ptr<TDImage> MakeFile(const std::string& path, std::int64_t size)
{
    TFindRecord record;
    const std::size_t slash = path.rfind('/');
    record.Name = path.substr(slash + 1);
    record.Size = size;
    record.Kind = platform::TEntryKind::ekRegular;
    record.CreationTime = CreatedTime;
    record.LastWriteTime = WrittenTime;
    record.LastAccessTime = WrittenTime;
    return std::make_unique<TDImage>(path.substr(0, slash + 1), record);
}

// The results of a scan: groups of files as given, an empty group (emptied by removing its
// files from the list) among them when asked.
struct TResults {
    TDFinder Finder;
    TDGroup* AddGroup(const std::vector<std::pair<std::string, std::int64_t>>& files)
    {
        TDGroup* group = Finder.Groups.Add(std::make_unique<TDGroup>());
        group->GroupNumber = Finder.Groups.Count();
        for (const auto& [path, size] : files) {
            TDImage* file = Finder.Files.Add(MakeFile(path, size));
            file->CheckState = 1;
            group->Add(file);
        }
        return group;
    }
    std::vector<int> States(const TDGroup* group) const
    {
        std::vector<int> states;
        for (const TDImage* file : *group) {
            states.push_back(file->CheckState);
        }
        return states;
    }
};

// The main window as the dialog sees it, over plain results.
class TFakeMainWindow : public TQuickCheckTarget {
public:
    explicit TFakeMainWindow(TDFinder* results)
        : FResults(results)
    { }
    void CheckAllRows() override { Calls.push_back("check all"); }
    void UncheckAllRows(QWidget* dialog) override
    {
        Calls.push_back(
            dialog != nullptr && dialog->objectName() == QStringLiteral("QuickCheckForm")
                ? "uncheck all over the dialog"
                : "uncheck all");
    }
    TDFinder* Results() override { return FResults; }
    void ChecksChanged() override { Calls.push_back("grid rebuilt"); }

    std::vector<std::string> Calls;

private:
    TDFinder* FResults;
};

class QuickCheckForm : public TDialogTest { };

TEST(QuickCheckMatcher, EveryCriterionInUseMustHoldAndNoneInUseMatchesNothing)
{
    const double created = FileTimeToLocalDateTime(CreatedTime);
    const double written = FileTimeToLocalDateTime(WrittenTime);
    const auto file = MakeFile("/data/Photos/DSC0042.JPG", 5 * 1048576);
    struct TCase {
        const char* Label;
        std::function<void(TSettings&)> Setup;
        bool Expected;
    };
    const std::vector<TCase> cases = {
        {"no criterion", [](TSettings&) {}, false},
        {"listed folder above the file", [](TSettings& s) { s.QuickCheckFolders = {"/data/"}; },
            true},
        {"a folder that only begins like it",
            [](TSettings& s) {
                s.QuickCheckFolders = {"/dat/", "/data/Pho/"};
            },
            false},
        {"a folder in another letter case",
            [](TSettings& s) { s.QuickCheckFolders = {"/data/photos/"}; }, false},
        {"extension, letter case ignored", [](TSettings& s) { s.SetQuickCheckExt("*.png|*.jpg"); },
            true},
        {"another extension", [](TSettings& s) { s.SetQuickCheckExt("*.png"); }, false},
        {"smaller than 3000 MB, counted in 64 bits",
            [](TSettings& s) {
                s.QuickCheckSmallerFiles = true;
                s.QuickCheckSmallerFileSize = 3000;
                s.QuickCheckSmallerFileSizeType = 2;
            },
            true},
        {"smaller than its own size",
            [](TSettings& s) {
                s.QuickCheckSmallerFiles = true;
                s.QuickCheckSmallerFileSize = 5;
                s.QuickCheckSmallerFileSizeType = 2;
            },
            false},
        {"bigger than 5119 KB",
            [](TSettings& s) {
                s.QuickCheckBiggerFiles = true;
                s.QuickCheckBiggerFileSize = 5119;
                s.QuickCheckBiggerFileSizeType = 1;
            },
            true},
        {"bigger than its own size",
            [](TSettings& s) {
                s.QuickCheckBiggerFiles = true;
                s.QuickCheckBiggerFileSize = 5120;
                s.QuickCheckBiggerFileSizeType = 1;
            },
            false},
        {"created before the limit",
            [=](TSettings& s) {
                s.QuickCheckOlderFiles = true;
                s.QuickCheckOlderFilesDate = created + OneMillisecond;
            },
            true},
        {"created on the limit",
            [=](TSettings& s) {
                s.QuickCheckOlderFiles = true;
                s.QuickCheckOlderFilesDate = created;
            },
            false},
        {"modified after the limit",
            [=](TSettings& s) {
                s.QuickCheckNewerFiles = true;
                s.QuickCheckNewerFilesDate = written - OneMillisecond;
                s.QuickDateNewerType = 1;
            },
            true},
        {"created is not after that limit",
            [=](TSettings& s) {
                s.QuickCheckNewerFiles = true;
                s.QuickCheckNewerFilesDate = written - OneMillisecond;
            },
            false},
        {"a name word with a wildcard",
            [](TSettings& s) {
                s.QuickCheckFileNamesBool = true;
                s.SetQuickCheckFileNameWords("IMG|dsc*");
            },
            true},
        {"a folder word against the name alone",
            [](TSettings& s) {
                s.QuickCheckFileNamesBool = true;
                s.SetQuickCheckFileNameWords("photos");
            },
            false},
        {"a folder word against the full path",
            [](TSettings& s) {
                s.QuickCheckFileNamesBool = true;
                s.QuickMatchFullPath = true;
                s.SetQuickCheckFileNameWords("photos");
            },
            true},
        {"the name rule on without words", [](TSettings& s) { s.QuickCheckFileNamesBool = true; },
            false},
        {"words without their rule", [](TSettings& s) { s.SetQuickCheckFileNameWords("dsc"); },
            false},
        {"two criteria that both hold",
            [](TSettings& s) {
                s.SetQuickCheckExt("*.jpg");
                s.QuickCheckFolders = {"/data/Photos/"};
            },
            true},
        {"two criteria of which one fails",
            [](TSettings& s) {
                s.SetQuickCheckExt("*.jpg");
                s.QuickCheckBiggerFiles = true;
                s.QuickCheckBiggerFileSize = 10;
                s.QuickCheckBiggerFileSizeType = 2;
            },
            false},
    };
    for (const TCase& c : cases) {
        TSettings settings = TSettings::Defaults();
        c.Setup(settings);
        EXPECT_EQ(QuickCheckMatches(*file, settings), c.Expected) << c.Label;
    }
}

// Every stored criterion of the quick check, compared as a whole.
void ExpectSameCriteria(const TSettings& a, const TSettings& b, const std::string& label)
{
    EXPECT_EQ(a.QuickCheckFolders, b.QuickCheckFolders) << label;
    EXPECT_EQ(a.QuickCheckExt, b.QuickCheckExt) << label;
    EXPECT_EQ(a.QuickCheckExtList, b.QuickCheckExtList) << label;
    EXPECT_EQ(a.QuickCheckFileNameWords, b.QuickCheckFileNameWords) << label;
    EXPECT_EQ(a.QuickCheckFileNameWordList, b.QuickCheckFileNameWordList) << label;
    EXPECT_EQ(a.QuickCheckSmallerFiles, b.QuickCheckSmallerFiles) << label;
    EXPECT_EQ(a.QuickCheckSmallerFileSize, b.QuickCheckSmallerFileSize) << label;
    EXPECT_EQ(a.QuickCheckSmallerFileSizeType, b.QuickCheckSmallerFileSizeType) << label;
    EXPECT_EQ(a.QuickCheckBiggerFiles, b.QuickCheckBiggerFiles) << label;
    EXPECT_EQ(a.QuickCheckBiggerFileSize, b.QuickCheckBiggerFileSize) << label;
    EXPECT_EQ(a.QuickCheckBiggerFileSizeType, b.QuickCheckBiggerFileSizeType) << label;
    EXPECT_EQ(a.QuickCheckOlderFiles, b.QuickCheckOlderFiles) << label;
    EXPECT_EQ(a.QuickCheckOlderFilesDate, b.QuickCheckOlderFilesDate) << label;
    EXPECT_EQ(a.QuickCheckNewerFiles, b.QuickCheckNewerFiles) << label;
    EXPECT_EQ(a.QuickCheckNewerFilesDate, b.QuickCheckNewerFilesDate) << label;
    EXPECT_EQ(a.QuickDateOlderType, b.QuickDateOlderType) << label;
    EXPECT_EQ(a.QuickDateNewerType, b.QuickDateNewerType) << label;
    EXPECT_EQ(a.QuickCheckFileNamesBool, b.QuickCheckFileNamesBool) << label;
    EXPECT_EQ(a.QuickMatchFullPath, b.QuickMatchFullPath) << label;
}

TEST_F(QuickCheckForm, EveryCloseStoresAndSavesTheCriteriaAndKeepsUntouchedOnesUnchanged)
{
    TSettings criteria = TSettings::Defaults();
    criteria.QuickCheckFolders = {FTree.AddFolder("Photos"), FTree.AddFolder("photos")};
    criteria.SetQuickCheckExt("*.jpg|*.PNG");
    criteria.QuickCheckSmallerFiles = true;
    criteria.QuickCheckSmallerFileSize = 500;
    criteria.QuickCheckSmallerFileSizeType = 1;
    criteria.QuickCheckBiggerFileSize = 3000;
    criteria.QuickCheckBiggerFileSizeType = 2;
    criteria.QuickCheckOlderFiles = true;
    criteria.QuickCheckOlderFilesDate = 45000.75;
    criteria.QuickCheckNewerFilesDate = 44000.125;
    criteria.QuickDateOlderType = 1;
    criteria.QuickDateNewerType = 2;
    criteria.QuickCheckFileNamesBool = true;
    criteria.SetQuickCheckFileNameWords("dsc*|copy");
    criteria.QuickMatchFullPath = true;

    TResults results;
    TFakeMainWindow window(&results.Finder);
    for (TCloseWay way : {cwCancel, cwEsc, cwCloseBox}) {
        AppSettings = criteria;
        FQuestions.AnswerDialog([way](QObject* dialog) {
            return CloseBy(
                static_cast<QDialog*>(dialog), way, "OKButton", "CloselButton", "ExtEdit");
        });
        TQuickCheckForm::Execute(nullptr, window);
        ExpectSameCriteria(AppSettings, criteria, CloseWayName(way));
        ExpectSameCriteria(Stored(), criteria, CloseWayName(way));
    }
    EXPECT_EQ(FQuestions.Unexpected(), 0);
    EXPECT_TRUE(window.Calls.empty());
}

TEST_F(QuickCheckForm, ClosingStoresTheListsAsEditedAndAnEmptyExtensionList)
{
    AppSettings.SetQuickCheckExt("*.jpg|*.png");
    AppSettings.QuickCheckFolders = {FTree.AddFolder("a"), FTree.AddFolder("b")};
    TResults results;
    TFakeMainWindow window(&results.Finder);
    FQuestions.AnswerDialog([](QObject* dialog) {
        auto* extensions = Control<TExtCheckListBox>(dialog, "ExtCheckListBox");
        extensions->item(0)->setCheckState(Qt::Unchecked);
        extensions->setCurrentRow(1);
        QTest::keyClick(extensions, Qt::Key_Delete);
        auto* folders = Control<TFolderListBox>(dialog, "FoldersListBox");
        folders->item(0)->setSelected(true);
        Click(dialog, "RemoveFolderButton");
        Control<QLineEdit>(dialog, "ExcludeFileNameWords")->setText(QStringLiteral(" x|y "));
        return CloseBy(static_cast<QDialog*>(dialog), cwCancel, "", "CloselButton");
    });
    TQuickCheckForm::Execute(nullptr, window);
    EXPECT_EQ(AppSettings.QuickCheckExt, "");
    EXPECT_TRUE(AppSettings.QuickCheckExtList.empty());
    EXPECT_EQ(AppSettings.QuickCheckFileNameWords, "x|y");
    EXPECT_EQ(AppSettings.QuickCheckFolders, std::vector<std::string> {FTree.Path("b/")});
    const TSettings stored = Stored();
    EXPECT_EQ(stored.QuickCheckExt, "");
    EXPECT_EQ(stored.QuickCheckFolders, std::vector<std::string> {FTree.Path("b/")});
}

TEST_F(QuickCheckForm, CheckAllExceptFirstChecksAllButTheFirstOfEveryGroupAndPassesEmptyGroups)
{
    TResults results;
    const TDGroup* three = results.AddGroup({{"/d/a", 1}, {"/d/b", 1}, {"/d/c", 1}});
    const TDGroup* emptied = results.AddGroup({});
    const TDGroup* two = results.AddGroup({{"/e/a", 2}, {"/e/b", 2}});
    const TDGroup* one = results.AddGroup({{"/f/a", 3}});
    TFakeMainWindow window(&results.Finder);
    FQuestions.AnswerDialog([](QObject* dialog) {
        Click(dialog, "CheckAllExceptFirstButton");
        Click(dialog, "CheckAllButton");
        Click(dialog, "UncheckAllButton");
        return CloseBy(static_cast<QDialog*>(dialog), cwEsc);
    });
    TQuickCheckForm::Execute(nullptr, window);
    EXPECT_EQ(results.States(three), (std::vector<int> {0, 2, 2}));
    EXPECT_EQ(results.States(emptied), std::vector<int> {});
    EXPECT_EQ(results.States(two), (std::vector<int> {0, 2}));
    EXPECT_EQ(results.States(one), std::vector<int> {0});
    EXPECT_EQ(window.Calls,
        (std::vector<std::string> {"grid rebuilt", "check all", "uncheck all over the dialog"}));

    // Without results the buttons that work on the records do nothing.
    TFakeMainWindow empty(nullptr);
    FQuestions.AnswerDialog([](QObject* dialog) {
        Click(dialog, "CheckAllExceptFirstButton");
        Click(dialog, "CheckButton");
        return CloseBy(static_cast<QDialog*>(dialog), cwEsc);
    });
    TQuickCheckForm::Execute(nullptr, empty);
    EXPECT_TRUE(empty.Calls.empty());
}

TEST_F(QuickCheckForm, CheckAndUncheckMatchTheCriteriaAsShownNotYetStored)
{
    TResults results;
    const TDGroup* group =
        results.AddGroup({{"/d/a.jpg", 1}, {"/d/b.png", 1}, {"/d/c.JPG", 1}, {"/d/d.txt", 1}});
    for (TDImage* file : *group) {
        file->CheckState = 0;
    }
    group->Items[3]->CheckState = 2;
    TFakeMainWindow window(&results.Finder);
    std::vector<std::vector<int>> seen;
    FQuestions.AnswerDialog([&](QObject* dialog) {
        Control<QLineEdit>(dialog, "ExtEdit")->setText(QStringLiteral("*.jpg"));
        Click(dialog, "AddButton");
        Click(dialog, "CheckButton");
        seen.push_back(results.States(group));
        Control<TExtCheckListBox>(dialog, "ExtCheckListBox")->item(0)->setCheckState(Qt::Unchecked);
        Control<QLineEdit>(dialog, "ExtEdit")->setText(QStringLiteral("*.txt"));
        Click(dialog, "AddButton");
        Click(dialog, "UncheckButton");
        seen.push_back(results.States(group));
        return CloseBy(static_cast<QDialog*>(dialog), cwEsc);
    });
    TQuickCheckForm::Execute(nullptr, window);
    EXPECT_EQ(seen, (std::vector<std::vector<int>> {{2, 0, 2, 2}, {2, 0, 2, 0}}));
    EXPECT_EQ(window.Calls, (std::vector<std::string> {"grid rebuilt", "grid rebuilt"}));
    EXPECT_EQ(AppSettings.QuickCheckExt, "*.txt");
}

TEST_F(QuickCheckForm, TheControlsShowTheCriteriaAndWriteTheRulesAtOnce)
{
    AppSettings.QuickCheckSmallerFileSize = 500;
    AppSettings.QuickCheckBiggerFiles = true;
    AppSettings.QuickCheckBiggerFileSize = 70000;
    AppSettings.QuickCheckOlderFilesDate = 45000.75;
    TResults results;
    TFakeMainWindow window(&results.Finder);
    TQuickCheckForm form(AppSettings, window);
    EXPECT_EQ(Control<QSpinBox>(&form, "SmallerFileSize")->value(), 500);
    EXPECT_FALSE(Control<QSpinBox>(&form, "SmallerFileSize")->isEnabled());
    EXPECT_EQ(Control<QSpinBox>(&form, "BiggerFileSize")->value(), 70000);
    EXPECT_TRUE(Control<QSpinBox>(&form, "BiggerFileSize")->isEnabled());
    EXPECT_EQ(Control<QDateEdit>(&form, "OlderFilesDateTime")->date(), QDate(2023, 3, 15));
    EXPECT_FALSE(Control<QLineEdit>(&form, "ExcludeFileNameWords")->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(&form, "QuickMatchFullPath")->isEnabled());

    Control<QComboBox>(&form, "QuickDateOlderType")->setCurrentIndex(1);
    EXPECT_EQ(Control<QCheckBox>(&form, "QuickCheckOlderFiles")->text(),
        QStringLiteral("Modified before:"));
    EXPECT_EQ(AppSettings.QuickDateOlderType, 1);
    Click(&form, "QuickCheckSmallerFiles");
    Control<QSpinBox>(&form, "SmallerFileSize")->setValue(750);
    Control<QComboBox>(&form, "SmallerFileSizeType")->setCurrentIndex(2);
    EXPECT_TRUE(AppSettings.QuickCheckSmallerFiles);
    EXPECT_EQ(AppSettings.QuickCheckSmallerFileSize, 750);
    EXPECT_EQ(AppSettings.QuickCheckSmallerFileSizeType, 2);
    Click(&form, "QuickCheckFileNamesBool");
    EXPECT_TRUE(Control<QCheckBox>(&form, "QuickMatchFullPath")->isEnabled());
    ExpectHelpKeyOpens(form, "FoldersListBox", hcExclusions, FOpened);
}

TEST_F(QuickCheckForm, AddTakesThePickersFoldersOnceAndRemembersTheLast)
{
    const std::string first = FTree.AddFolder("first");
    const std::string second = FTree.AddFolder("second");
    AppSettings.QuickCheckFolders = {first};
    TResults results;
    TFakeMainWindow window(&results.Finder);
    std::vector<std::string> listed;
    FQuestions.AnswerDialog([&](QObject* dialog) {
        Click(dialog, "AddFolderButton"); // the picker below answers
        Click(dialog, "AddFolderButton"); // and again, with the same folder
        listed = Control<TFolderListBox>(dialog, "FoldersListBox")->Folders();
        return CloseBy(static_cast<QDialog*>(dialog), cwEsc);
    });
    for (int twice = 0; twice < 2; ++twice) {
        FQuestions.AnswerDialog([&](QObject* picker) {
            auto* edit = Control<QLineEdit>(picker, "FolderEdit");
            edit->setText(QString::fromStdString(second));
            QTest::keyClick(edit, Qt::Key_Return);
            return CloseBy(static_cast<QDialog*>(picker), cwOK);
        });
    }
    TQuickCheckForm::Execute(nullptr, window);
    EXPECT_EQ(listed, (std::vector<std::string> {first, second}));
    EXPECT_EQ(AppSettings.LastFolder, second);
    EXPECT_EQ(AppSettings.QuickCheckFolders, (std::vector<std::string> {first, second}));
    EXPECT_EQ(FQuestions.AnswersLeft(), 0u);
}

} // namespace
