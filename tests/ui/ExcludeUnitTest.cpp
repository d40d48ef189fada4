#include "ui/ExcludeUnit.h"

#include "tests/ui/DialogTestSupport.h"
#include "toolkit/ExtensionList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSpinBox>

#include <gtest/gtest.h>

using namespace dialog_tests;

namespace {

class ExcludeForm : public TDialogTest { };

TEST_F(ExcludeForm, OkStoresTheListAndWordsAndSavesWhileEveryOtherCloseKeepsOnlyTheImmediateRules)
{
    for (TCloseWay way : {cwOK, cwCancel, cwEsc, cwCloseBox}) {
        AppSettings = TSettings::Defaults();
        AppSettings.SetExcludeExt("*.tmp|*.bak");
        AppSettings.SetExcludeFileNameWords("old");
        AppSettings.DoNotMarkFileNames = true;
        ASSERT_TRUE(AppSettings.Save());

        FQuestions.AnswerDialog([way](QObject* object) {
            auto* dialog = static_cast<QDialog*>(object);
            auto* list = Control<TExtCheckListBox>(dialog, "ExtCheckListBox");
            list->item(0)->setCheckState(Qt::Unchecked);
            Control<QLineEdit>(dialog, "ExtEdit")->setText(QStringLiteral("*.log"));
            Click(dialog, "AddButton");
            Control<QLineEdit>(dialog, "ExcludeFileNameWords")->setText(QStringLiteral(" new "));
            Click(dialog, "DoNotMarkFolders");
            Click(dialog, "DoNotMarkSmallerFileSize");
            Control<QSpinBox>(dialog, "SmallerFileSize")->setValue(500);
            return CloseBy(dialog, way, "OKButton", "CancelButton", "ExtEdit");
        });
        const bool ok = TExcludeForm::Execute(nullptr);
        const char* label = CloseWayName(way);

        EXPECT_EQ(ok, way == cwOK) << label;
        // The size rule went into the options at once, whatever the close.
        EXPECT_TRUE(AppSettings.DoNotMarkSmallerFileSize) << label;
        EXPECT_EQ(AppSettings.SmallerFileSize, 500) << label;
        const TSettings stored = Stored();
        if (way == cwOK) {
            EXPECT_EQ(AppSettings.ExcludeExt, "*.bak|*.log") << label;
            EXPECT_EQ(AppSettings.ExcludeExtList, (std::vector<std::string> {"*.bak", "*.log"}));
            EXPECT_EQ(AppSettings.ExcludeFileNameWords, "new") << label;
            EXPECT_TRUE(AppSettings.DoNotMarkFolders) << label;
            EXPECT_EQ(stored.ExcludeExt, "*.bak|*.log") << label;
            EXPECT_TRUE(stored.DoNotMarkSmallerFileSize) << label;
            EXPECT_EQ(stored.SmallerFileSize, 500) << label;
        } else {
            EXPECT_EQ(AppSettings.ExcludeExt, "*.tmp|*.bak") << label;
            EXPECT_EQ(AppSettings.ExcludeFileNameWords, "old") << label;
            EXPECT_FALSE(AppSettings.DoNotMarkFolders) << label;
            EXPECT_EQ(stored.ExcludeExt, "*.tmp|*.bak") << label;
            EXPECT_FALSE(stored.DoNotMarkSmallerFileSize) << label;
        }
    }
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

TEST_F(ExcludeForm, OpeningShowsTheStoredRulesAndWritesNothingBack)
{
    TSettings settings = TSettings::Defaults();
    settings.SetExcludeExt("*.tmp|*.bak");
    settings.ExcludeExtList = {"*.BAK"};
    settings.DoNotMarkSmallerFileSize = true;
    settings.SmallerFileSize = 500;
    settings.SmallerFileSizeType = 1;
    settings.BiggerFileSize = 3000;
    settings.BiggerFileSizeType = 2;
    settings.DoNotMarkOlderFiles = true;
    settings.OlderFilesDate = 45000.75;
    settings.ExcludeDateOlderType = 1;
    settings.NewerFilesDate = 44000.25;
    settings.ExcludeDateNewerType = 2;
    settings.SetExcludeFileNameWords("copy");
    const TSettings before = settings;

    TExcludeForm form(settings);
    auto* list = Control<TExtCheckListBox>(&form, "ExtCheckListBox");
    EXPECT_EQ(list->Extensions(), (std::vector<std::string> {"*.tmp", "*.bak"}));
    EXPECT_EQ(list->CheckedText(), "*.bak");
    EXPECT_EQ(Control<QSpinBox>(&form, "SmallerFileSize")->value(), 500);
    EXPECT_TRUE(Control<QSpinBox>(&form, "SmallerFileSize")->isEnabled());
    EXPECT_EQ(Control<QComboBox>(&form, "SmallerFileSizeType")->currentIndex(), 1);
    EXPECT_EQ(Control<QSpinBox>(&form, "BiggerFileSize")->value(), 3000);
    EXPECT_FALSE(Control<QSpinBox>(&form, "BiggerFileSize")->isEnabled());
    EXPECT_EQ(Control<QDateEdit>(&form, "OlderFilesDateTime")->date(), QDate(2023, 3, 15));
    EXPECT_EQ(Control<QCheckBox>(&form, "DoNotMarkOlderFiles")->text(),
        QStringLiteral("Modified before:"));
    EXPECT_EQ(Control<QCheckBox>(&form, "DoNotMarkNewerFiles")->text(),
        QStringLiteral("Accessed after:"));
    EXPECT_FALSE(Control<QDateEdit>(&form, "NewerFilesDateTime")->isEnabled());
    // With the name rule off, its words and "Match full path" are disabled.
    EXPECT_EQ(Control<QLineEdit>(&form, "ExcludeFileNameWords")->text(), QStringLiteral("copy"));
    EXPECT_FALSE(Control<QLineEdit>(&form, "ExcludeFileNameWords")->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(&form, "DoNotMarkFolders")->isEnabled());

    EXPECT_EQ(settings.SmallerFileSize, before.SmallerFileSize);
    EXPECT_EQ(settings.OlderFilesDate, before.OlderFilesDate);
    EXPECT_EQ(settings.NewerFilesDate, before.NewerFilesDate);
    EXPECT_EQ(settings.ExcludeDateNewerType, before.ExcludeDateNewerType);

    Click(&form, "DoNotMarkFileNames");
    EXPECT_TRUE(settings.DoNotMarkFileNames);
    EXPECT_TRUE(Control<QLineEdit>(&form, "ExcludeFileNameWords")->isEnabled());
    EXPECT_TRUE(Control<QCheckBox>(&form, "DoNotMarkFolders")->isEnabled());
}

TEST_F(ExcludeForm, ChoosingADateKindRenamesItsBoxAndStoresItAtOnce)
{
    TSettings settings = TSettings::Defaults();
    TExcludeForm form(settings);
    Control<QComboBox>(&form, "ExcludeDateOlderType")->setCurrentIndex(2);
    EXPECT_EQ(Control<QCheckBox>(&form, "DoNotMarkOlderFiles")->text(),
        QStringLiteral("Accessed before:"));
    EXPECT_EQ(settings.ExcludeDateOlderType, 2);
    Control<QComboBox>(&form, "ExcludeDateNewerType")->setCurrentIndex(2);
    EXPECT_EQ(Control<QCheckBox>(&form, "DoNotMarkNewerFiles")->text(),
        QStringLiteral("Accessed after:"));
    EXPECT_EQ(settings.ExcludeDateNewerType, 2);
    // A picked date keeps the stored time of day.
    settings.OlderFilesDate = 45000.75;
    TExcludeForm again(settings);
    Control<QDateEdit>(&again, "OlderFilesDateTime")->setDate(QDate(2023, 3, 20));
    EXPECT_DOUBLE_EQ(settings.OlderFilesDate, 45005.75);
}

TEST_F(ExcludeForm, EnterInTheExtensionEditAddsWithoutClosingAndDelRemoves)
{
    TSettings settings = TSettings::Defaults();
    TExcludeForm form(settings);
    form.show();
    auto* edit = Control<QLineEdit>(&form, "ExtEdit");
    edit->setText(QStringLiteral("*.iso"));
    QTest::keyClick(edit, Qt::Key_Return);
    auto* list = Control<TExtCheckListBox>(&form, "ExtCheckListBox");
    EXPECT_EQ(list->CheckedText(), "*.iso");
    EXPECT_EQ(edit->text(), QStringLiteral("*.iso"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(settings.ExcludeExt, "");
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->count(), 0);
    ExpectHelpKeyOpens(form, "SmallerFileSize", hcExclusions, FOpened);
}

TEST_F(ExcludeForm, AFailedSaveIsReportedAndTheDialogStillCloses)
{
    platform::TRegistryStore broken(FTree.AddFile("not-a-folder", "x") + "/Twinrake.reg");
    platform::TScopedRegistryStore scope(broken);
    FQuestions.AnswerDialog(
        [](QObject* dialog) { return CloseBy(static_cast<QDialog*>(dialog), cwOK); });
    EXPECT_TRUE(TExcludeForm::Execute(nullptr));
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError),
        (std::vector<std::string> {"The options could not be saved."}));
}

} // namespace
