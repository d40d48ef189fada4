#include "ui/MsgDlg.h"

#include "engine/ZYGlobals.h"
#include "tests/ui/UiRegistryFixture.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

using MessageDlg = TUiTest;

// What the user does in the box: shown on the offscreen screen, then poked.
using TUserAction = std::function<void(TMessageForm*)>;

TUserAction Press(Qt::Key key)
{
    return [key](TMessageForm* form) { QTest::keyClick(form, key); };
}

TUserAction Click(const char* button)
{
    return [button](TMessageForm* form) {
        auto* push = form->findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_NE(push, nullptr) << button;
        push->click();
    };
}

TUserAction CloseBox()
{
    return [](TMessageForm* form) { form->close(); };
}

TUserAction TickAnd(TUserAction then)
{
    return [then](TMessageForm* form) {
        auto* box = form->findChild<QCheckBox*>(QStringLiteral("DontShowAgain"));
        ASSERT_NE(box, nullptr);
        box->setChecked(true);
        then(form);
    };
}

void Answer(TScriptedQuestions& questions, TUserAction action)
{
    questions.AnswerDialog([action](QObject* dialog) {
        auto* form = qobject_cast<TMessageForm*>(dialog);
        EXPECT_NE(form, nullptr);
        if (form == nullptr) {
            return 0;
        }
        form->show();
        action(form);
        return form->result();
    });
}

TEST_F(MessageDlg, EnterEscAndTheCloseBoxGiveTheResultsOfTheirButtons)
{
    struct TCase {
        const char* Label;
        TMsgDlgButtons Buttons;
        TUserAction Action;
        int Expected;
    };
    const TMsgDlgButtons okCancel = MsgDlgButtons({mbOK, mbCancel});
    const TMsgDlgButtons yesNo = MsgDlgButtons({mbYes, mbNo});
    const TMsgDlgButtons all = MsgDlgButtons({mbYes, mbNo, mbAll, mbNoToAll, mbYesToAll});
    const std::vector<TCase> cases = {
        {"OK/Cancel, Enter", okCancel, Press(Qt::Key_Return), mrOk},
        {"OK/Cancel, Esc", okCancel, Press(Qt::Key_Escape), mrCancel},
        {"OK/Cancel, close box", okCancel, CloseBox(), mrCancel},
        {"Yes/No, Enter", yesNo, Press(Qt::Key_Return), mrYes},
        {"Yes/No, Esc", yesNo, Press(Qt::Key_Escape), mrNo},
        {"Yes/No, close box", yesNo, CloseBox(), mrCancel},
        {"OK alone, Esc", MsgDlgButtons({mbOK}), Press(Qt::Key_Escape), mrOk},
        {"Abort/Retry/Ignore, Enter", MsgDlgButtons({mbAbort, mbRetry, mbIgnore}),
            Press(Qt::Key_Enter), mrRetry},
        {"Yes to all", all, Click("YesToAll"), mrYesToAll},
        {"No to all", all, Click("NoToAll"), mrNoToAll},
        {"All", all, Click("All"), mrAll},
        {"Ignore", MsgDlgButtons({mbAbort, mbIgnore}), Click("Ignore"), mrIgnore},
    };
    for (const TCase& c : cases) {
        TMessageDlg dialog;
        Answer(FQuestions, c.Action);
        EXPECT_EQ(
            dialog.Execute(QStringLiteral("Go on?"), mtConfirmation, c.Buttons, 0), c.Expected)
            << c.Label;
    }
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

TEST_F(MessageDlg, TheBoxShowsItsButtonsInOrderWithTheirCaptionsUnderTheMessage)
{
    TMessageDlg dialog;
    Answer(FQuestions, [](TMessageForm* form) {
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Warning"));
        ASSERT_EQ(form->Buttons.size(), 3u);
        EXPECT_EQ(form->Buttons[0]->text(), QStringLiteral("&Yes"));
        EXPECT_EQ(form->Buttons[1]->text(), QStringLiteral("&No"));
        EXPECT_EQ(form->Buttons[2]->text(), QStringLiteral("Cancel"));
        EXPECT_LT(form->Buttons[0]->x(), form->Buttons[1]->x());
        EXPECT_EQ(form->Buttons[0]->y(), form->Buttons[2]->y());
        EXPECT_GT(form->Buttons[0]->y(), form->Message->geometry().bottom());
        EXPECT_NE(form->findChild<QLabel*>(QStringLiteral("Image")), nullptr);
        // The row is centred in the window.
        const int left = form->Buttons[0]->x();
        const int right = form->width() - form->Buttons[2]->geometry().right() - 1;
        EXPECT_LE(std::abs(left - right), 1);
        form->done(mrNo);
    });
    EXPECT_EQ(dialog.Execute(QStringLiteral("A message\twith a tab"), mtWarning,
                  MsgDlgButtons({mbYes, mbNo, mbCancel}), 0),
        mrNo);
}

// The program's two warnings: a box to tick, nothing stored by the component, the caller
// reads the box afterwards, whatever button closed the dialog.
TEST_F(MessageDlg, TheProgramsWarningsShowTheBoxEveryTimeAndReportItsState)
{
    struct TCase {
        const char* Label;
        TUserAction Action;
        int Result;
        bool Checked;
    };
    const std::vector<TCase> cases = {
        {"OK", Click("OK"), mrOk, false},
        {"ticked and OK", TickAnd(Click("OK")), mrOk, true},
        {"ticked and Cancel", TickAnd(Click("Cancel")), mrCancel, true},
        {"Cancel", Press(Qt::Key_Escape), mrCancel, false},
        {"shown again after a tick", Click("OK"), mrOk, false},
    };
    for (const TCase& c : cases) {
        TMessageDlg dialog;
        dialog.SetCheckBox(true);
        dialog.IniSection = QString::fromStdString(RegistryRoot);
        dialog.SetIniItem(QStringLiteral("HideProtectSysFilesMsg"));
        Answer(FQuestions, c.Action);
        const int result = dialog.Execute(
            QStringLiteral("Protect?"), mtWarning, MsgDlgButtons({mbOK, mbCancel}), 0);
        EXPECT_EQ(result, c.Result) << c.Label;
        EXPECT_EQ(dialog.CheckBoxChecked, c.Checked) << c.Label;
    }
    EXPECT_EQ(FQuestions.Asked().size(), cases.size());
    // Nothing was written to the store.
    std::vector<std::string> names;
    FStore.ValueNames(RegistryRoot, names);
    EXPECT_TRUE(names.empty());
}

TEST_F(MessageDlg, ARememberedChoiceAnswersWithoutAWindowAndCancelIsStoredOnlyAsCancel)
{
    const QString key = QString::fromStdString(RegistryRoot + "Boxes");
    auto make = [&key](int onCancel) {
        auto dialog = std::make_unique<TMessageDlg>();
        dialog->SetCheckBox(true);
        dialog->UseRegistry = true;
        dialog->IniFile = QStringLiteral("unused.ini");
        dialog->IniSection = key;
        dialog->SetIniItem(QStringLiteral("HideIt"));
        dialog->OnCancelStoredResult = onCancel;
        return dialog;
    };
    struct TCase {
        const char* Label;
        int OnCancel;
        TUserAction Action;
        int Result;
        int Remembered;
    };
    const std::vector<TCase> cases = {
        {"ticked OK is remembered as OK", 2, TickAnd(Click("OK")), mrOk, mrOk},
        {"ticked Cancel with a stored result for Cancel", 7, TickAnd(Click("Cancel")), mrCancel, 7},
        {"ticked Cancel", 0, TickAnd(Press(Qt::Key_Escape)), mrCancel, mrCancel},
    };
    for (const TCase& c : cases) {
        ASSERT_FALSE(FStore.DeleteKey(key.toStdString()));
        Answer(FQuestions, c.Action);
        EXPECT_EQ(make(c.OnCancel)
                      ->Execute(QStringLiteral("?"), mtWarning, MsgDlgButtons({mbOK, mbCancel}), 0),
            c.Result)
            << c.Label;
        // The next time no window opens: the remembered value is the answer.
        const std::size_t asked = FQuestions.Asked().size();
        auto again = make(c.OnCancel);
        EXPECT_EQ(
            again->Execute(QStringLiteral("?"), mtWarning, MsgDlgButtons({mbOK, mbCancel}), 0),
            c.Remembered)
            << c.Label;
        EXPECT_TRUE(again->CheckBoxChecked) << c.Label;
        EXPECT_EQ(FQuestions.Asked().size(), asked) << c.Label;
        EXPECT_FALSE(again->Timer->isActive());
    }
}

TEST_F(MessageDlg, ATimeOutEndsTheBoxWithTheResultOfTheButtonOfItsName)
{
    struct TCase {
        const char* Label;
        TMsgDlgButtons Buttons;
        TTimeOutResult TimeOutResult;
        int Expected;
    };
    const std::vector<TCase> cases = {
        {"OK", MsgDlgButtons({mbOK, mbCancel}), trOk, mrOk},
        {"Cancel", MsgDlgButtons({mbOK, mbCancel}), trCancel, mrCancel},
        {"Yes to all", MsgDlgButtons({mbYes, mbYesToAll}), trYesToAll, mrYesToAll},
        {"No to all", MsgDlgButtons({mbNo, mbNoToAll}), trNoToAll, mrNoToAll},
        {"All", MsgDlgButtons({mbAll}), trAll, mrAll},
        {"a result of no chosen button becomes the first button's", MsgDlgButtons({mbYes, mbNo}),
            trCancel, mrYes},
    };
    for (const TCase& c : cases) {
        TMessageDlg dialog;
        dialog.TimeOut = 3;
        dialog.ShowCountdown = true;
        dialog.SetButtons(c.Buttons);
        dialog.SetTimeOutResult(c.TimeOutResult);
        std::vector<QString> shown;
        FQuestions.AnswerDialog([&dialog, &shown](QObject*) {
            EXPECT_TRUE(dialog.Timer->isActive());
            shown.push_back(dialog.CountdownLabel->text());
            for (int second = 0; second < 3 && dialog.Form; ++second) {
                dialog.TimerTick();
                shown.push_back(dialog.CountdownLabel ? dialog.CountdownLabel->text() : QString());
            }
            return dialog.Form ? dialog.Form->result() : -1;
        });
        EXPECT_EQ(dialog.Execute(), c.Expected) << c.Label;
        EXPECT_EQ(shown,
            (std::vector<QString> {QStringLiteral("3"), QStringLiteral("2"), QStringLiteral("1"),
                QStringLiteral("0")}))
            << c.Label;
        EXPECT_FALSE(dialog.Timer->isActive()) << c.Label;
    }
}

TEST_F(MessageDlg, TheTimeOutResultFollowsTheButtonsOnlyWhileATimeOutIsSet)
{
    TMessageDlg dialog;
    dialog.TimeOut = 3;
    dialog.SetButtons(MsgDlgButtons({mbYes, mbNo}));
    dialog.SetTimeOutResult(trCancel);
    EXPECT_EQ(dialog.TimeOutResult(), trYes);
    dialog.SetTimeOutResult(trNo);
    EXPECT_EQ(dialog.TimeOutResult(), trNo);
    dialog.SetTimeOutResult(trNone);
    EXPECT_EQ(dialog.TimeOutResult(), trNone);

    TMessageDlg untimed;
    untimed.SetButtons(MsgDlgButtons({mbYes, mbNo}));
    untimed.SetTimeOutResult(trCancel);
    EXPECT_EQ(untimed.TimeOutResult(), trCancel);

    // With no time-out result the box stays open; the countdown stops at 0.
    TMessageDlg endless;
    endless.TimeOut = 2;
    endless.ShowCountdown = true;
    endless.SetTimeOutResult(trNone);
    FQuestions.AnswerDialog([&endless](QObject*) {
        for (int second = 0; second < 5; ++second) {
            endless.TimerTick();
        }
        EXPECT_EQ(endless.CountdownLabel->text(), QStringLiteral("0"));
        EXPECT_FALSE(endless.Timer->isActive());
        EXPECT_TRUE(endless.Form->isVisible() || endless.Form->result() == 0);
        endless.Form->done(mrOk);
        return endless.Form->result();
    });
    EXPECT_EQ(endless.Execute(), mrOk);
}

TEST_F(MessageDlg, MisconfiguredStoresRaiseBeforeAnyWindow)
{
    TMessageDlg dialog;
    dialog.SetIniItem(QStringLiteral("Mine"));
    try {
        dialog.SetIniItem(QStringLiteral("msgDLGvalue"));
        ADD_FAILURE() << "the reserved name was taken";
    } catch (const EMsgDlgError& error) {
        EXPECT_STREQ(error.what(),
            "MsgDlgValue is reserved for internal use by this component.\n"
            "Please select another name for the IniItem property.");
    }
    EXPECT_EQ(dialog.IniItem(), QStringLiteral("Mine"));

    dialog.SetCheckBox(true);
    try {
        dialog.Execute();
        ADD_FAILURE() << "no section";
    } catch (const EMsgDlgError& error) {
        EXPECT_STREQ(error.what(), "IniSection property not specified");
    }
    dialog.IniSection = QStringLiteral("Section");
    dialog.SetIniItem(QString());
    try {
        dialog.Execute();
        ADD_FAILURE() << "no item";
    } catch (const EMsgDlgError& error) {
        EXPECT_STREQ(error.what(), "IniItem property not specified");
    }
    EXPECT_TRUE(FQuestions.Asked().empty());
}

TEST_F(MessageDlg, WithoutButtonsThereIsNoButtonRowAndNoBox)
{
    TMessageDlg dialog;
    dialog.SetCheckBox(true);
    dialog.IniSection = QStringLiteral("S");
    dialog.SetIniItem(QStringLiteral("I"));
    dialog.GaugeMaxValue = 10;
    FQuestions.AnswerDialog([](QObject* dialogObject) {
        auto* form = qobject_cast<TMessageForm*>(dialogObject);
        EXPECT_TRUE(form->Buttons.empty());
        EXPECT_EQ(form->DontShowAgain, nullptr);
        EXPECT_NE(form->Gauge, nullptr);
        EXPECT_EQ(form->Gauge->maximum(), 10);
        EXPECT_EQ(form->Gauge->geometry().bottom(), form->height() - 1);
        return 0;
    });
    EXPECT_EQ(dialog.Execute(QStringLiteral("Working"), mtInformation, 0, 0), 0);
    EXPECT_FALSE(dialog.CheckBoxChecked);
}

TEST_F(MessageDlg, AModelessBoxReturnsAtOnceAndGoesWithItsComponent)
{
    QPointer<TMessageForm> form;
    {
        TMessageDlg dialog;
        dialog.SetCheckBox(true);
        dialog.SetModeless(true);
        EXPECT_FALSE(dialog.CheckBox());
        dialog.SetCheckBox(true);
        EXPECT_FALSE(dialog.CheckBox());
        EXPECT_EQ(
            dialog.Execute(QStringLiteral("Busy"), mtCustom, MsgDlgButtons({mbOK}), 0), mrCancel);
        form = dialog.Form;
        ASSERT_TRUE(form);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->windowTitle(), QString::fromStdString(ProductTitle));
        dialog.SetMsg(QStringLiteral("Still busy"));
        EXPECT_EQ(form->Message->text(), QStringLiteral("Still busy"));
    }
    // The window closes with its component and never calls it again.
    ASSERT_TRUE(form);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->OwnerDialog, nullptr);
    form->ModelessButtonClick(mrOk);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form);
    EXPECT_TRUE(FQuestions.Asked().empty());
}

TEST(MessageDlgRules, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDiv(8, 7, 4), 14);
    EXPECT_EQ(MulDiv(50, 7, 4), 88); // 87.5
    EXPECT_EQ(MulDiv(10, 13, 8), 16); // 16.25
    EXPECT_EQ(MulDiv(14, 13, 8), 23); // 22.75
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
}

} // namespace
