#include "ui/FilterUnit.h"

#include "engine/FileTimeHelper.h"
#include "tests/ui/DialogTestSupport.h"
#include "toolkit/ExtensionList.h"
#include "toolkit/FolderListBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace dialog_tests;

namespace {

class FilterForm : public TDialogTest { };

// A filter with every field away from its empty value.
TFilter FullFilter(const std::vector<std::string>& folders)
{
    TFilter f;
    f.EnableFilter = true;
    f.FiltFolders = folders;
    f.SetExcludeExt("*.tmp|*.LOG");
    f.FiltDoNotMarkSmallerFileSize = true;
    f.FiltSmallerFileSize = 500;
    f.FiltSmallerFileSizeType = 1;
    f.FiltDoNotMarkBiggerFileSize = true;
    f.FiltBiggerFileSize = 3000;
    f.FiltBiggerFileSizeType = 2;
    f.FiltDoNotMarkOlderFiles = true;
    f.FiltOlderFilesDate = 45000.75;
    f.FiltDoNotMarkNewerFiles = true;
    f.FiltNewerFilesDate = 44000.125;
    f.FilterDateOlderType = 1;
    f.FilterDateNewerType = 2;
    f.FiltDoNotMarkFileNames = true;
    f.SetExcludeFileNameWords("copy|dsc*");
    f.FiltDoNotMarkFolderNames = true;
    f.SetExcludeFolderNameWords("cache|tmp");
    f.FilterMode = 1;
    return f;
}

void ExpectSameRules(const TFilter& a, const TFilter& b, const std::string& label)
{
    EXPECT_EQ(a.FiltFolders, b.FiltFolders) << label;
    EXPECT_EQ(a.FiltExcludeExt, b.FiltExcludeExt) << label;
    EXPECT_EQ(a.FiltExcludeExtList, b.FiltExcludeExtList) << label;
    EXPECT_EQ(a.FiltDoNotMarkSmallerFileSize, b.FiltDoNotMarkSmallerFileSize) << label;
    EXPECT_EQ(a.FiltSmallerFileSize, b.FiltSmallerFileSize) << label;
    EXPECT_EQ(a.FiltSmallerFileSizeType, b.FiltSmallerFileSizeType) << label;
    EXPECT_EQ(a.FiltDoNotMarkBiggerFileSize, b.FiltDoNotMarkBiggerFileSize) << label;
    EXPECT_EQ(a.FiltBiggerFileSize, b.FiltBiggerFileSize) << label;
    EXPECT_EQ(a.FiltBiggerFileSizeType, b.FiltBiggerFileSizeType) << label;
    EXPECT_EQ(a.FiltDoNotMarkOlderFiles, b.FiltDoNotMarkOlderFiles) << label;
    EXPECT_EQ(a.FiltOlderFilesDate, b.FiltOlderFilesDate) << label;
    EXPECT_EQ(a.FiltDoNotMarkNewerFiles, b.FiltDoNotMarkNewerFiles) << label;
    EXPECT_EQ(a.FiltNewerFilesDate, b.FiltNewerFilesDate) << label;
    EXPECT_EQ(a.FilterDateOlderType, b.FilterDateOlderType) << label;
    EXPECT_EQ(a.FilterDateNewerType, b.FilterDateNewerType) << label;
    EXPECT_EQ(a.FiltDoNotMarkFileNames, b.FiltDoNotMarkFileNames) << label;
    EXPECT_EQ(a.FiltExcludeFileNameWords, b.FiltExcludeFileNameWords) << label;
    EXPECT_EQ(a.FiltExcludeFileNameWordList, b.FiltExcludeFileNameWordList) << label;
    EXPECT_EQ(a.FiltDoNotMarkFolderNames, b.FiltDoNotMarkFolderNames) << label;
    EXPECT_EQ(a.FiltExcludeFolderNameWords, b.FiltExcludeFolderNameWords) << label;
    EXPECT_EQ(a.FiltExcludeFolderNameWordList, b.FiltExcludeFolderNameWordList) << label;
    EXPECT_EQ(a.FilterMode, b.FilterMode) << label;
}

TEST_F(FilterForm, CancelSwitchesTheFilterOffWhileOkEscAndTheCloseBoxLeaveItOn)
{
    const TFilter full = FullFilter({"/data/", "/Data/"});
    struct TCase {
        TCloseWay Way;
        bool Reset;
        bool FilterOn;
    };
    const std::vector<TCase> cases = {
        {cwOK, false, true},
        {cwCancel, false, false},
        {cwEsc, false, true},
        {cwCloseBox, false, true},
        {cwCancel, true, false},
        {cwEsc, true, true},
        {cwCloseBox, true, true},
    };
    for (const TCase& c : cases) {
        AppSettings.Filter = full;
        FQuestions.AnswerDialog([&c](QObject* dialog) {
            if (c.Reset) {
                Click(dialog, "ResetButton");
            }
            return CloseBy(static_cast<QDialog*>(dialog), c.Way, "OKButton", "CancelButton",
                "ExcludeFileNameWords");
        });
        const std::string label =
            std::string(CloseWayName(c.Way)) + (c.Reset ? " after Reset" : "");
        const int result = TFilterForm::Execute(nullptr);
        EXPECT_EQ(result, c.Way == cwOK ? QDialog::Accepted : QDialog::Rejected) << label;
        EXPECT_EQ(AppSettings.Filter.EnableFilter, c.FilterOn) << label;
        // Nothing of the rules changes but by OK; OK with nothing touched keeps every field.
        ExpectSameRules(AppSettings.Filter, full, label);
    }
}

TEST_F(FilterForm, OkWritesEveryControlIntoTheFilter)
{
    const std::string photos = FTree.AddFolder("photos");
    AppSettings.Filter = FullFilter({"/old/"});
    AppSettings.Filter.FilterMode = 0;
    FQuestions.AnswerDialog([&](QObject* dialog) {
        auto* folders = Control<TFolderListBox>(dialog, "FoldersListBox");
        folders->item(0)->setSelected(true);
        QTest::keyClick(folders, Qt::Key_Delete);
        folders->AddFolder(photos);
        auto* extensions = Control<TExtCheckListBox>(dialog, "ExtCheckListBox");
        extensions->item(0)->setCheckState(Qt::Unchecked);
        Control<QLineEdit>(dialog, "ExtEdit")->setText(QStringLiteral("*.iso"));
        QTest::keyClick(Control<QWidget>(dialog, "ExtEdit"), Qt::Key_Enter);
        Click(dialog, "DoNotMarkSmallerFileSize");
        Control<QSpinBox>(dialog, "BiggerFileSize")->setValue(70);
        Control<QComboBox>(dialog, "BiggerFileSizeType")->setCurrentIndex(0);
        Click(dialog, "DoNotMarkFileNames");
        Control<QLineEdit>(dialog, "ExcludeFolderNameWords")->setText(QStringLiteral(" build "));
        Click(dialog, "IncludeRadioButton");
        return CloseBy(static_cast<QDialog*>(dialog), cwOK);
    });
    TFilterForm::Execute(nullptr);
    const TFilter& f = AppSettings.Filter;
    EXPECT_EQ(f.FiltFolders, std::vector<std::string> {photos});
    // An unchecked extension is dropped: the filter keeps only the patterns in use.
    EXPECT_EQ(f.FiltExcludeExt, "*.LOG|*.iso");
    EXPECT_EQ(f.FiltExcludeExtList, (std::vector<std::string> {"*.LOG", "*.iso"}));
    EXPECT_FALSE(f.FiltDoNotMarkSmallerFileSize);
    EXPECT_EQ(f.FiltSmallerFileSize, 500);
    EXPECT_EQ(f.FiltBiggerFileSize, 70);
    EXPECT_EQ(f.FiltBiggerFileSizeType, 0);
    EXPECT_FALSE(f.FiltDoNotMarkFileNames);
    EXPECT_EQ(f.FiltExcludeFolderNameWords, "build");
    EXPECT_EQ(f.FiltExcludeFolderNameWordList, std::vector<std::string> {"build"});
    EXPECT_EQ(f.FilterMode, 1);
    EXPECT_TRUE(f.EnableFilter);
}

TEST_F(FilterForm, ResetThenOkGivesAnEmptyFilter)
{
    AppSettings.Filter = FullFilter({"/data/"});
    const double before = NowAsDateTime();
    FQuestions.AnswerDialog([](QObject* dialog) {
        Click(dialog, "ResetButton");
        EXPECT_TRUE(Control<QRadioButton>(dialog, "ExcludeRadioButton")->isChecked());
        EXPECT_FALSE(Control<QLineEdit>(dialog, "ExcludeFileNameWords")->isEnabled());
        return CloseBy(static_cast<QDialog*>(dialog), cwOK);
    });
    TFilterForm::Execute(nullptr);
    TFilter expected;
    expected.FiltOlderFilesDate = AppSettings.Filter.FiltOlderFilesDate;
    expected.FiltNewerFilesDate = AppSettings.Filter.FiltNewerFilesDate;
    ExpectSameRules(AppSettings.Filter, expected, "reset");
    EXPECT_GE(AppSettings.Filter.FiltOlderFilesDate, std::floor(before));
    EXPECT_TRUE(AppSettings.Filter.EnableFilter);
}

TEST_F(FilterForm, TheDateKindsAreWrittenAtOnceEvenWhenTheDialogIsCancelled)
{
    FQuestions.AnswerDialog([](QObject* dialog) {
        Control<QComboBox>(dialog, "FilterDateOlderType")->setCurrentIndex(2);
        EXPECT_EQ(Control<QCheckBox>(dialog, "DoNotMarkOlderFiles")->text(),
            QStringLiteral("Accessed before:"));
        Control<QComboBox>(dialog, "FilterDateNewerType")->setCurrentIndex(1);
        EXPECT_EQ(Control<QCheckBox>(dialog, "DoNotMarkNewerFiles")->text(),
            QStringLiteral("Modified after:"));
        return CloseBy(static_cast<QDialog*>(dialog), cwCancel);
    });
    TFilterForm::Execute(nullptr);
    EXPECT_EQ(AppSettings.Filter.FilterDateOlderType, 2);
    EXPECT_EQ(AppSettings.Filter.FilterDateNewerType, 1);
}

TEST_F(FilterForm, TheControlsShowTheFilterWithTheirDependentsEnabled)
{
    AppSettings.Filter = FullFilter({"/data/"});
    AppSettings.Filter.FiltDoNotMarkFolderNames = false;
    AppSettings.Filter.FiltDoNotMarkBiggerFileSize = false;
    TFilterForm form(AppSettings);
    EXPECT_EQ(Control<TExtCheckListBox>(&form, "ExtCheckListBox")->CheckedText(), "*.tmp|*.LOG");
    EXPECT_EQ(Control<QSpinBox>(&form, "SmallerFileSize")->value(), 500);
    EXPECT_EQ(Control<QSpinBox>(&form, "BiggerFileSize")->value(), 3000);
    EXPECT_FALSE(Control<QSpinBox>(&form, "BiggerFileSize")->isEnabled());
    EXPECT_TRUE(Control<QLineEdit>(&form, "ExcludeFileNameWords")->isEnabled());
    EXPECT_FALSE(Control<QLineEdit>(&form, "ExcludeFolderNameWords")->isEnabled());
    EXPECT_EQ(
        Control<QLineEdit>(&form, "ExcludeFolderNameWords")->text(), QStringLiteral("cache|tmp"));
    EXPECT_TRUE(Control<QRadioButton>(&form, "IncludeRadioButton")->isChecked());
    Click(&form, "DoNotMarkFolderNames");
    EXPECT_TRUE(Control<QLineEdit>(&form, "ExcludeFolderNameWords")->isEnabled());
    EXPECT_FALSE(AppSettings.Filter.FiltDoNotMarkFolderNames);
    ExpectHelpKeyOpens(form, "ExtEdit", hcFilter, FOpened);
}

TEST_F(FilterForm, AddFolderTakesThePickersFoldersAndRemembersTheLastAtOnce)
{
    const std::string pick = FTree.AddFolder("pick");
    FQuestions.AnswerDialog([](QObject* dialog) {
        Click(dialog, "AddFolderButton");
        return CloseBy(static_cast<QDialog*>(dialog), cwCancel);
    });
    FQuestions.AnswerDialog([&](QObject* picker) {
        auto* edit = Control<QLineEdit>(picker, "FolderEdit");
        edit->setText(QString::fromStdString(pick));
        QTest::keyClick(edit, Qt::Key_Return);
        return CloseBy(static_cast<QDialog*>(picker), cwOK);
    });
    TFilterForm::Execute(nullptr);
    EXPECT_EQ(AppSettings.LastFolder, pick);
    EXPECT_TRUE(AppSettings.Filter.FiltFolders.empty());
}

} // namespace
