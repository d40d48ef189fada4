#include "engine/SettingsUnit.h"
#include "tests/ui/DialogTestSupport.h"
#include "tests/ui/MainFormFixture.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/ProgramIcons.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

using namespace dialog_tests;

namespace {

class MainFormDialogs : public TMainFormTest {
protected:
    QTableView* ResultsGrid() { return Find<QTableView>("DupGrid"); }
    std::vector<int> HiddenColumns()
    {
        std::vector<int> hidden;
        for (int column = 0; column < ResultsGrid()->model()->columnCount(); ++column) {
            if (ResultsGrid()->isColumnHidden(column)) {
                hidden.push_back(column);
            }
        }
        return hidden;
    }
};

TEST_F(MainFormDialogs, EachCommandOpensItsDialogOverTheMainWindowWhereF1OpensItsHelpPage)
{
    TMainForm& form = Open();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    struct TCase {
        const char* Label;
        std::function<void()> Command;
        const char* Dialog;
        int HelpContext; // 0: the dialog has no help page
        const char* HelpControl;
    };
    const std::vector<TCase> cases = {
        {"Options in the File menu", [&] { Find<QAction>("ActionOptions")->trigger(); },
            "OptionsForm", hcOptions, "EnableLog"},
        {"Options on the tool bar", [&] { Find<QAbstractButton>("OptionsToolButton")->click(); },
            "OptionsForm", hcOptions, "PriorityComboBox"},
        {"About", [&] { Find<QAction>("MenuHelpAbout")->trigger(); }, "AboutForm", 0, nullptr},
        {"Add Folder", [&] { Find<QAbstractButton>("AddFolderButton")->click(); },
            "BrowseForFoldersForm", 0, nullptr},
        {"Add Folder on the tool bar",
            [&] { Find<QAbstractButton>("AddFolderToolButton")->click(); }, "BrowseForFoldersForm",
            0, nullptr},
        {"the filter switched on", [&] { Find<QAbstractButton>("FilterToolButton")->click(); },
            "FilterForm", hcFilter, "ExtEdit"},
    };
    for (const TCase& c : cases) {
        FOpened.clear();
        bool answered = false;
        FQuestions.AnswerDialog([&](QObject* object) {
            answered = true;
            auto* dialog = static_cast<QDialog*>(object);
            EXPECT_EQ(dialog->parent(), &form) << c.Label;
            if (c.HelpContext != 0) {
                // Shown and active over the main window, whose own F1 must not answer.
                dialog->show();
                QApplication::setActiveWindow(dialog);
                EXPECT_TRUE(QTest::qWaitForWindowActive(dialog)) << c.Label;
                QWidget* control = Control<QWidget>(dialog, c.HelpControl);
                control->setFocus();
                QTest::keyClick(control, Qt::Key_F1);
                EXPECT_EQ(FOpened, std::vector<QUrl> {HelpPageUrl(c.HelpContext)}) << c.Label;
            }
            return CloseBy(dialog, cwEsc);
        });
        c.Command();
        EXPECT_TRUE(answered) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).back(), c.Dialog) << c.Label;
    }
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

TEST_F(MainFormDialogs, OptionsOkAppliesAndStoresWhileOtherClosesChangeNothing)
{
    TMainForm& form = Open();
    AppSettings.Columns = 0x7FFFFFFF;
    form.ApplyColumnVisibility();
    ASSERT_EQ(HiddenColumns(), std::vector<int> {});
    for (TCloseWay way : {cwCancel, cwEsc, cwCloseBox, cwOK}) {
        const char* label = CloseWayName(way);
        const TSettings before = AppSettings;
        FQuestions.AnswerDialog([way, label](QObject* object) {
            auto* dialog = static_cast<QDialog*>(object);
            Click(dialog, "ColFolder");
            Click(dialog, "ColGroup");
            Click(dialog, "EnableLog");
            Control<QComboBox>(dialog, "PriorityComboBox")->setCurrentIndex(0);
            EXPECT_EQ(Control<QCheckBox>(dialog, "ColFolder")->isChecked(), false) << label;
            return CloseBy(dialog, way, "OKButton", "CancelButton", "PriorityComboBox");
        });
        Find<QAction>("ActionOptions")->trigger();

        const bool ok = way == cwOK;
        TSettings fresh = TSettings::Defaults();
        fresh.Load();
        for (const TSettings* settings : {&AppSettings, &fresh}) {
            EXPECT_EQ(settings->Columns, ok ? 0x7FFFFEFB : before.Columns) << label;
            EXPECT_EQ(settings->EnableLog, ok ? !before.EnableLog : before.EnableLog) << label;
            EXPECT_EQ(settings->Priority, ok ? 0 : before.Priority) << label;
        }
        // The folder and group columns go at once.
        EXPECT_EQ(HiddenColumns(), ok ? (std::vector<int> {2, 8}) : std::vector<int> {}) << label;
    }
    EXPECT_EQ(FQuestions.AnswersLeft(), 0u);
    EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkError).empty());
}

TEST_F(MainFormDialogs, TheAboutBoxShowsTheProgramIconAndTitle)
{
    Open();
    FQuestions.AnswerDialog([](QObject* object) {
        auto* dialog = static_cast<QDialog*>(object);
        auto* image = Control<QLabel>(dialog, "Image1");
        QLabel expected;
        expected.resize(image->size());
        expected.setPalette(image->palette());
        DrawIconToImage(MainIcon(), &expected);
        EXPECT_FALSE(MainIcon().isNull());
        EXPECT_EQ(image->pixmap().toImage(), expected.pixmap().toImage());
        return CloseBy(dialog, cwCancel, "CloseButton", "CloseButton");
    });
    Find<QAction>("MenuHelpAbout")->trigger();
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog),
        std::vector<std::string> {"AboutForm"});
    EXPECT_EQ(FQuestions.AnswersLeft(), 0u);
}

} // namespace
