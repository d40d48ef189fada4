#include "ui/OptionsFormUnit.h"
#include "ui/AboutUnit.h"

#include "engine/ZYGlobals.h"
#include "tests/ui/DialogTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextEdit>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace dialog_tests;

namespace {

class OptionsForm : public TDialogTest { };

const std::vector<const char*> ColumnBoxes = {"ColFileName", "ColFolder", "ColFileSize",
    "ColCrDateTime", "ColModDateTime", "ColAccDateTime", "ColSimilarity", "ColGroup"};

TEST_F(OptionsForm, TheColumnBoxesShowBitsOneToEightAndOkKeepsTheOtherBits)
{
    struct TCase {
        const char* Label;
        std::int32_t Stored;
        std::vector<const char*> Toggle;
        std::int32_t Expected;
    };
    const std::vector<TCase> cases = {
        {"default mask, untick Folder", 0x7FFFFFFF, {"ColFolder"}, 0x7FFFFFFB},
        {"bits 0 and 20 stay", 0x00100001 | 0x2, {"ColFileName", "ColGroup"}, 0x00100001 | 0x100},
        {"unchanged", 0x15A, {}, 0x15A},
    };
    for (const TCase& c : cases) {
        AppSettings.Columns = c.Stored;
        std::vector<std::int32_t> seenByGrid;
        FQuestions.AnswerDialog([&c](QObject* object) {
            auto* dialog = static_cast<QDialog*>(object);
            EXPECT_EQ(Control<QTabWidget>(dialog, "PageControl")->currentWidget()->objectName(),
                QStringLiteral("GeneralSheet"));
            for (std::size_t i = 0; i < ColumnBoxes.size(); ++i) {
                const bool bit = (c.Stored >> (i + 1)) & 1;
                EXPECT_EQ(Control<QCheckBox>(dialog, ColumnBoxes[i])->isChecked(), bit)
                    << c.Label << " " << ColumnBoxes[i];
            }
            for (const char* box : c.Toggle) {
                Click(dialog, box);
            }
            return CloseBy(dialog, cwOK);
        });
        EXPECT_TRUE(TOptionsForm::Execute(nullptr, [&seenByGrid] {
            // The grid applies the mask the dialog has just stored.
            seenByGrid.push_back(AppSettings.Columns);
        }));
        EXPECT_EQ(AppSettings.Columns, c.Expected) << c.Label;
        EXPECT_EQ(seenByGrid, std::vector<std::int32_t> {c.Expected}) << c.Label;
        EXPECT_EQ(Stored().Columns, c.Expected) << c.Label;
    }
}

TEST_F(OptionsForm, ThePriorityListShowsItsItemAndKeepsAValueItHasNoItemFor)
{
    struct TCase {
        std::uint8_t Stored;
        QString Shown;
        int Choose; // -1: leave the list alone
        std::uint8_t Expected;
    };
    const std::vector<TCase> cases = {
        {2, QStringLiteral("Lower"), -1, 2},
        {2, QStringLiteral("Lower"), 0, 0},
        {5, QStringLiteral("Highest"), 3, 3},
        {6, QString(), -1, 6},
        {6, QString(), 1, 1},
    };
    for (const TCase& c : cases) {
        AppSettings.Priority = c.Stored;
        FQuestions.AnswerDialog([&c](QObject* object) {
            auto* dialog = static_cast<QDialog*>(object);
            auto* list = Control<QComboBox>(dialog, "PriorityComboBox");
            EXPECT_EQ(list->currentText(), c.Shown) << int(c.Stored);
            EXPECT_EQ(list->count(), PriorityItemCount);
            if (c.Choose >= 0) {
                list->setCurrentIndex(c.Choose);
            }
            return CloseBy(dialog, cwOK);
        });
        TOptionsForm::Execute(nullptr, {});
        EXPECT_EQ(AppSettings.Priority, c.Expected) << int(c.Stored) << " " << c.Choose;
    }
}

// Every box of the dialog with the option it shows.
struct TBoxOption {
    const char* Box;
    bool TSettings::*Option;
};
const std::vector<TBoxOption> BoxOptions = {
    {"MinimizeToTray", &TSettings::MinimizeToTray},
    {"LoadLastProject", &TSettings::LoadLastProject},
    {"ProtectSysFiles", &TSettings::ProtectSysFiles},
    {"ShowUserCheckedColor", &TSettings::ShowUserCheckedColor},
    {"ShowUserCheckedBold", &TSettings::ShowUserCheckedBold},
    {"RemoveSingleFileGroups", &TSettings::RemoveSingleFileGroups},
    {"EnableLog", &TSettings::EnableLog},
    {"SkipZeroFiles", &TSettings::SkipZeroFiles},
    {"DelWholeGroupWarning", &TSettings::ShowDelWholeGroupWarning},
    {"PreviewOfficeFiles", &TSettings::PreviewOfficeFiles},
    {"PreserveGroupOrder", &TSettings::PreserveGroupOrder},
};

// Turns every box and the priority to the other value (disabled boxes as the user cannot).
int ChangeEverything(QDialog* dialog, TCloseWay way)
{
    for (const TBoxOption& option : BoxOptions) {
        auto* box = Control<QCheckBox>(dialog, option.Box);
        if (box->isEnabled()) {
            box->click();
        }
    }
    for (const char* box : ColumnBoxes) {
        Click(dialog, box);
    }
    Control<QComboBox>(dialog, "PriorityComboBox")->setCurrentIndex(4);
    return CloseBy(dialog, way, "OKButton", "CancelButton", "PriorityComboBox");
}

TEST_F(OptionsForm, OkStoresEveryControlAndAFreshLoadReadsThemWhileOtherClosesChangeNothing)
{
    // Boxes this system cannot serve are disabled; the user cannot change them.
    std::vector<bool> changeable;
    {
        TOptionsForm probe(AppSettings, {});
        for (const TBoxOption& option : BoxOptions) {
            changeable.push_back(Control<QCheckBox>(&probe, option.Box)->isEnabled());
        }
    }
    for (TCloseWay way : {cwOK, cwCancel, cwEsc, cwCloseBox}) {
        AppSettings = TSettings::Defaults();
        ASSERT_TRUE(AppSettings.Save());
        const TSettings before = AppSettings;
        FQuestions.AnswerDialog([way](QObject* dialog) {
            return ChangeEverything(static_cast<QDialog*>(dialog), way);
        });
        const bool ok = TOptionsForm::Execute(nullptr, {});
        const char* label = CloseWayName(way);
        EXPECT_EQ(ok, way == cwOK) << label;

        const TSettings stored = Stored();
        for (const TSettings* settings : std::vector<const TSettings*> {&AppSettings, &stored}) {
            for (std::size_t i = 0; i < BoxOptions.size(); ++i) {
                const TBoxOption& option = BoxOptions[i];
                const bool expected =
                    way == cwOK && changeable[i] ? !(before.*option.Option) : before.*option.Option;
                EXPECT_EQ(settings->*option.Option, expected) << label << " " << option.Box;
            }
            EXPECT_EQ(settings->Priority, way == cwOK ? 4 : before.Priority) << label;
            EXPECT_EQ(settings->Columns, way == cwOK ? std::int32_t(0x7FFFFE01) : before.Columns)
                << label;
        }
    }
}

TEST_F(OptionsForm, BoxesThisSystemCannotServeAreDisabledAndKeepTheirValues)
{
    AppSettings.PreviewOfficeFiles = true;
    TOptionsForm form(AppSettings, {});
    auto* office = Control<QCheckBox>(&form, "PreviewOfficeFiles");
    EXPECT_FALSE(office->isEnabled());
    EXPECT_TRUE(office->isChecked());
    EXPECT_FALSE(office->toolTip().isEmpty());
    auto* tray = Control<QCheckBox>(&form, "MinimizeToTray");
    EXPECT_EQ(tray->isEnabled(), QSystemTrayIcon::isSystemTrayAvailable());
    form.OKButtonClick();
    EXPECT_TRUE(AppSettings.PreviewOfficeFiles);
    ExpectHelpKeyOpens(form, "EnableLog", hcOptions, FOpened);
}

TEST_F(OptionsForm, AFailedSaveIsReportedAndTheDialogStillCloses)
{
    platform::TRegistryStore broken(FTree.AddFile("not-a-folder", "x") + "/Twinrake.reg");
    platform::TScopedRegistryStore scope(broken);
    FQuestions.AnswerDialog([](QObject* dialog) {
        Click(dialog, "ColFolder");
        return CloseBy(static_cast<QDialog*>(dialog), cwOK);
    });
    EXPECT_TRUE(TOptionsForm::Execute(nullptr, {}));
    EXPECT_EQ(AppSettings.Columns, 0x7FFFFFFB);
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError),
        (std::vector<std::string> {"The options could not be saved."}));
}

TEST_F(OptionsForm, TheAboutBoxNamesTheProgramAndClosesWithEscOrClose)
{
    InitProductGlobals();
    const QString text = TAboutForm::InfoText();
    EXPECT_TRUE(text.startsWith(QString::fromStdString(ProductTitle) + QLatin1Char('\n')));
    EXPECT_TRUE(text.contains(QStringLiteral("\nFor Linux\n\n")));
    for (TCloseWay way : {cwCancel, cwEsc}) {
        FQuestions.AnswerDialog([way](QObject* object) {
            auto* dialog = static_cast<QDialog*>(object);
            EXPECT_EQ(
                Control<QTextEdit>(dialog, "InfoMemo")->toPlainText(), TAboutForm::InfoText());
            EXPECT_EQ(Control<QWidget>(dialog, "Image1")->size(), QSize(96, 96));
            return CloseBy(dialog, way, "CloseButton", "CloseButton", "CloseButton");
        });
        TAboutForm::Execute(nullptr);
    }
    EXPECT_EQ(FQuestions.AnswersLeft(), 0u);
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

} // namespace
