// The main window's results grid and autocheck: the three kinds of refill, the rule's combo
// box, Uncheck All, the window's keys, sorting with the groups kept together, the column mask,
// and the quick check and exclusion dialogs.
#include "engine/DFinder.h"
#include "engine/FileTimeHelper.h"
#include "engine/Questions.h"
#include "engine/RegistryAccess.h"
#include "engine/SettingsUnit.h"
#include "tests/ui/ScanWindowFixture.h"
#include "toolkit/NextGrid.h"
#include "toolkit/NextGridModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <string>
#include <vector>

namespace {

using testing_support::AddResultGroup;
using testing_support::FileTimeOfUnixMs;
using testing_support::TResultFile;
using testing_support::TTestMainForm;

using ResultsGrid = TScanWindowTest;

TResultFile File(const char* name, const char* folder, std::int64_t size, std::int64_t day,
    std::uint8_t checkState = 0)
{
    TResultFile file;
    file.Name = name;
    file.Folder = folder;
    file.Size = size;
    file.Modified = FileTimeOfUnixMs((1700000000LL + day * 86400) * 1000);
    file.CheckState = checkState;
    return file;
}

// Two groups in two folders: in each, the second file is the newest.
void PutResults()
{
    AddResultGroup(*Finder, {File("a", "/p/", 300, 1), File("a", "/q/", 300, 2)});
    AddResultGroup(*Finder, {File("b", "/p/", 100, 1), File("b", "/q/", 100, 3)});
    Finder->Folders = {{"/p/", 0}, {"/q/", 0}};
}

std::string States()
{
    std::string states;
    for (const TDImage* image : Finder->Files) {
        states += char('0' + image->CheckState);
    }
    return states;
}

bool Modified(TMainForm& form)
{
    return form.windowTitle().endsWith(QStringLiteral(" *"));
}

std::string Counts(TMainForm& form)
{
    return form.findChild<QLabel*>(QStringLiteral("DupListPanel"))->text().toStdString();
}

TEST_F(ResultsGrid, TheRowsAreRebuiltForTheButtonsTheScanAndARefillEachInItsOwnWay)
{
    const std::string manual = "You have checked some files manually.\r\nThis operation may "
                               "uncheck some of them.\r\n\r\nDo you want to use auto check?";
    const std::string nothing = "There is nothing to select - you have disabled auto-check for "
                                "all folders in the folders list.";
    struct TCase {
        const char* Label;
        std::string Before; // check states of the four files
        bool AllFoldersFlagged;
        std::function<void(TMainForm&)> Run;
        std::vector<bool> Answers;
        std::string After;
        std::vector<std::string> Confirms;
        std::vector<std::string> Errors;
    };
    auto button = [](TMainForm& form) {
        form.findChild<QPushButton*>(QStringLiteral("AutoCheckButton"))->click();
    };
    auto toolButton = [](TMainForm& form) { form.AutoCheckToolButton->click(); };
    auto scan = [](TMainForm& form) { form.DoAutoSelect2(TMainForm::TAutoCheckCaller::accScan); };
    auto refill = [](TMainForm& form) {
        form.DoAutoSelect2(TMainForm::TAutoCheckCaller::accRefill);
    };
    const std::vector<TCase> cases = {
        {"the button applies the rule", "0000", false, button, {}, "1010", {}, {}},
        {"the button, hand checks kept on No", "2002", false, button, {false}, "2002", {manual},
            {}},
        {"the button, hand checks replaced on Yes", "2002", false, toolButton, {true}, "1010",
            {manual}, {}},
        {"the button with every folder excluded", "0000", true, button, {}, "0000", {}, {nothing}},
        {"the scan with every folder excluded checks nothing", "0110", true, scan, {}, "0000", {},
            {}},
        {"a refill keeps every state", "2110", false, refill, {}, "2110", {}, {}},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = Open();
        AppSettings.AutoCheckType = 3;
        PutResults();
        for (std::int32_t i = 0; i < Finder->Files.Count(); ++i) {
            Finder->Files[i]->CheckState = std::uint8_t(c.Before[std::size_t(i)] - '0');
        }
        if (c.AllFoldersFlagged) {
            for (TFinderFolder& folder : Finder->Folders) {
                folder.Flags = 1;
            }
        }
        form.AutoCheckToolButton->setEnabled(true);
        for (const bool answer : c.Answers) {
            FQuestions.AnswerConfirm(answer);
        }
        form.UpdateCaption(false);
        c.Run(form);
        EXPECT_EQ(States(), c.After) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm), c.Confirms) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError), c.Errors) << c.Label;
        const bool refused = !c.Errors.empty() || (!c.Answers.empty() && !c.Answers.front());
        EXPECT_EQ(form.DupGrid->RowCount(), refused ? 0 : 4) << c.Label;
        EXPECT_EQ(Modified(form), !refused) << c.Label;
        if (!refused) {
            EXPECT_EQ(Counts(form).rfind("Check the files to be moved/deleted: ", 0), 0u)
                << c.Label;
        }
        FForm->close();
        FForm.reset();
    }
}

TEST_F(ResultsGrid, TheRuleBoxRefusesSizeRulesForEqualFilesAndShowsTheDateKindForDateRules)
{
    TTestMainForm& form = Open();
    auto* rule = form.findChild<QComboBox*>(QStringLiteral("AutoCheckCombo"));
    QWidget* dateType = form.findChild<QWidget*>(QStringLiteral("DateType"));
    auto choose = [rule](int index) {
        rule->setCurrentIndex(index);
        Q_EMIT rule->activated(index);
    };
    struct TCase {
        std::uint8_t FindMode;
        int Chosen;
        int Kept;
        bool Refused;
        bool DateShown;
    };
    const std::vector<TCase> cases = {
        {0, 4, 4, false, true},
        {0, 1, 4, true, true},
        {0, 2, 4, true, true},
        {0, 7, 7, false, false},
        {0, 5, 5, false, false},
        {1, 1, 1, false, false},
        {1, 3, 3, false, true},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        AppSettings.FindMode = c.FindMode;
        choose(c.Chosen);
        EXPECT_EQ(AppSettings.AutoCheckType, c.Kept) << c.Chosen;
        EXPECT_EQ(rule->currentIndex(), c.Kept) << c.Chosen;
        EXPECT_EQ(rule->toolTip(), rule->itemText(c.Kept)) << c.Chosen;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError).size(), c.Refused ? 1u : 0u)
            << c.Chosen;
        EXPECT_EQ(dateType->isVisibleTo(&form), c.DateShown) << c.Chosen;
    }
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError).size(), 0u);
    auto* kind = form.findChild<QComboBox*>(QStringLiteral("DateType"));
    kind->setCurrentIndex(2);
    Q_EMIT kind->activated(2);
    EXPECT_EQ(AppSettings.CompareDateType, 2);
}

TEST_F(ResultsGrid, UncheckAllAsksOnlyAboutHandChecks)
{
    struct TCase {
        std::string Before;
        std::vector<bool> Answers;
        std::string After;
        std::size_t Questions;
    };
    const std::vector<TCase> cases = {
        {"1010", {}, "0000", 0},
        {"2010", {false}, "2010", 1},
        {"2010", {true}, "0000", 1},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = Open();
        PutResults();
        form.DoAutoSelect2(TMainForm::TAutoCheckCaller::accRefill);
        for (std::int32_t i = 0; i < Finder->Files.Count(); ++i) {
            Finder->Files[i]->CheckState = std::uint8_t(c.Before[std::size_t(i)] - '0');
        }
        for (const bool answer : c.Answers) {
            FQuestions.AnswerConfirm(answer);
        }
        form.UpdateCaption(false);
        form.findChild<QPushButton*>(QStringLiteral("ClearButton"))->click();
        EXPECT_EQ(States(), c.After) << c.Before;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm).size(), c.Questions)
            << c.Before;
        const bool done = c.After == "0000";
        EXPECT_EQ(Modified(form), done) << c.Before;
        if (done) {
            EXPECT_EQ(Counts(form).rfind("Check the files to be moved/deleted: 0 files", 0), 0u);
        }
        FForm->close();
        FForm.reset();
    }
}

TEST_F(ResultsGrid, SpaceAndUUpdateTheCountsAndTheModifiedMarkAndUWorksFromTheTargetBox)
{
    TTestMainForm& form = Open();
    PutResults();
    form.DoAutoSelect2(TMainForm::TAutoCheckCaller::accScan);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.DupGrid->setFocus();
    form.DupGrid->SelectRow(1);
    ASSERT_EQ(States(), "1010");

    form.UpdateCaption(false);
    const std::string before = Counts(form);
    QTest::keyClick(form.DupGrid, Qt::Key_Space);
    EXPECT_EQ(States(), "1210");
    EXPECT_TRUE(Modified(form));
    EXPECT_NE(Counts(form), before);

    // "U" typed into the target folder box unchecks the grid's selected group, and the box
    // gets its letter.
    form.UpdateCaption(false);
    auto* target = form.findChild<QLineEdit*>(QStringLiteral("MoveToFolder"));
    target->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), target);
    QTest::keyClick(target, Qt::Key_U);
    EXPECT_EQ(States(), "0010");
    EXPECT_EQ(target->text(), QStringLiteral("u"));
    EXPECT_TRUE(Modified(form));
    EXPECT_EQ(Counts(form).rfind("Check the files to be moved/deleted: 1 files", 0), 0u);
}

TEST_F(ResultsGrid, AHeaderClickWithGroupsKeptTogetherSortsTheGroupsAndKeepsEveryCheck)
{
    TTestMainForm& form = Open();
    AppSettings.PreserveGroupOrder = true;
    PutResults();
    Finder->Files[1]->CheckState = 2;
    form.DoAutoSelect2(TMainForm::TAutoCheckCaller::accRefill);
    form.UpdateCaption(false);
    form.DupGrid->SortByColumn(FileSizeColumn, false);
    EXPECT_EQ(Rows(form),
        (std::vector<std::string> {"2: /p/b 0", "2: /q/b 0", "1: /p/a 0", "1: /q/a 2"}));
    EXPECT_TRUE(Modified(form));
    EXPECT_EQ(Status(form), "");
    EXPECT_EQ(form.StatusProgressBar->maximum(), 100);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    form.DupGrid->SortByColumn(FileSizeColumn, true);
    EXPECT_EQ(Rows(form),
        (std::vector<std::string> {"1: /p/a 0", "1: /q/a 2", "2: /p/b 0", "2: /q/b 0"}));
}

TEST_F(ResultsGrid, TheOptionsColumnMaskHidesColumnsButNeverTheCheckBoxes)
{
    ASSERT_TRUE(RegWriteInteger("Settings", "Columns", 0x7FFFFFF9));
    TTestMainForm& form = Open();
    EXPECT_FALSE(form.DupGrid->isColumnHidden(CheckBoxColumn));
    EXPECT_TRUE(form.DupGrid->isColumnHidden(FileNameColumn));
    EXPECT_TRUE(form.DupGrid->isColumnHidden(FolderColumn));
    EXPECT_FALSE(form.DupGrid->isColumnHidden(FileSizeColumn));
    AppSettings.Columns = 0x7FFFFFFF;
    form.ApplyColumnVisibility();
    EXPECT_FALSE(form.DupGrid->isColumnHidden(FileNameColumn));
}

TEST_F(ResultsGrid, WithoutAStoredLayoutTheColumnsFillTheGridUntilTheUserSizesOne)
{
    TTestMainForm& form = Open();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QHeaderView* header = form.DupGrid->horizontalHeader();
    auto filled = [&] {
        return header->length() <= form.DupGrid->viewport()->width() &&
            header->length() >= form.DupGrid->viewport()->width() - 4;
    };
    for (const int width : {1500, 1800}) {
        form.setWindowState(Qt::WindowNoState);
        form.resize(width, 800);
        ASSERT_TRUE(QTest::qWaitFor([&] { return filled(); })) << width;
        EXPECT_GT(header->sectionSize(FolderColumn), header->sectionSize(FileNameColumn));
    }
    // The dates fit their column.
    const QString date =
        QString::fromStdString(FileTimeToDisplayText(platform::FileTimeFromUnix(1798473538, 0)));
    EXPECT_GT(
        header->sectionSize(CreatedColumn), form.DupGrid->fontMetrics().horizontalAdvance(date));

    // A column the user drags keeps its width when the window changes.
    const QPoint edge(
        header->sectionViewportPosition(FileNameColumn) + header->sectionSize(FileNameColumn) - 1,
        header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
    QTest::mouseMove(header->viewport(), edge + QPoint(30, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, edge + QPoint(30, 0));
    EXPECT_FALSE(form.AutoFitGridColumns());
    const int folderWidth = header->sectionSize(FolderColumn);
    form.resize(1300, 800);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.width() == 1300; }));
    EXPECT_EQ(header->sectionSize(FolderColumn), folderWidth);
}

TEST_F(ResultsGrid, QuickCheckAndAdvancedOpenTheirDialogsOverTheResults)
{
    TTestMainForm& form = Open();
    PutResults();
    form.DoAutoSelect2(TMainForm::TAutoCheckCaller::accRefill);
    form.UpdateCaption(false);
    FQuestions.AnswerDialog([](QObject* dialog) {
        dialog->findChild<QPushButton*>(QStringLiteral("CheckAllButton"))->click();
        return 0;
    });
    form.QuickCheckToolButton->setEnabled(true);
    form.QuickCheckToolButton->click();
    EXPECT_EQ(States(), "2222");
    EXPECT_TRUE(Modified(form));
    EXPECT_EQ(Counts(form).rfind("Check the files to be moved/deleted: 4 files", 0), 0u);

    form.findChild<QPushButton*>(QStringLiteral("AutoAdvanced"))->click();
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog),
        (std::vector<std::string> {"QuickCheckForm", "ExcludeForm"}));
    EXPECT_EQ(States(), "2222"); // the rule is not run again
}

} // namespace
