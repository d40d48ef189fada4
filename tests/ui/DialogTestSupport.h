#pragma once

// What the dialog tests share: a store file and answered questions of their own, the options
// reset, the help opener caught, and ways to find, poke and close a dialog's controls.
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "platform/RegistryStore.h"
#include "tests/support/TempTree.h"
#include "toolkit/HelpLinks.h"

#include <QAbstractButton>
#include <QDialog>
#include <QTest>
#include <QUrl>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace dialog_tests {

// The ways a dialog can be closed.
enum TCloseWay { cwOK, cwCancel, cwEsc, cwCloseBox };

inline const char* CloseWayName(TCloseWay way)
{
    switch (way) {
    case cwOK:
        return "OK";
    case cwCancel:
        return "Cancel";
    case cwEsc:
        return "Esc";
    case cwCloseBox:
        return "close box";
    }
    return "";
}

// The control of the dialog with the object name; fails the test when there is none.
template<class T>
T* Control(QObject* dialog, const char* name)
{
    T* control = dialog->findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

inline void Click(QObject* dialog, const char* name)
{
    if (auto* button = Control<QAbstractButton>(dialog, name)) {
        button->click();
    }
}

// Closes the dialog as the user would and returns its result. Esc is pressed in the control
// named focus (the key reaches the dialog from there); the close box needs a shown window.
inline int CloseBy(QDialog* dialog, TCloseWay way, const char* okButton = "OKButton",
    const char* cancelButton = "CancelButton", const char* focus = nullptr)
{
    switch (way) {
    case cwOK:
        Click(dialog, okButton);
        break;
    case cwCancel:
        Click(dialog, cancelButton);
        break;
    case cwEsc: {
        QWidget* target = dialog;
        if (focus != nullptr) {
            target = Control<QWidget>(dialog, focus);
        }
        QTest::keyClick(target, Qt::Key_Escape);
        break;
    }
    case cwCloseBox:
        dialog->show();
        dialog->close();
        break;
    }
    dialog->hide();
    return dialog->result();
}

// Every test: a registry store file of its own, answered questions, the options at their
// defaults, and the help pages that would have been opened.
class TDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FSavedSettings = AppSettings;
        AppSettings = TSettings::Defaults();
        SetUrlOpener([this](const QUrl& url) {
            FOpened.push_back(url);
            return true;
        });
    }
    void TearDown() override
    {
        SetUrlOpener(nullptr);
        AppSettings = FSavedSettings;
    }

    // The options as a fresh start would load them from the store.
    static TSettings Stored()
    {
        TSettings settings = TSettings::Defaults();
        settings.Load();
        return settings;
    }

    testing_support::TTempTree FTree;
    platform::TRegistryStore FStore {FTree.Path("Twinrake.reg")};
    platform::TScopedRegistryStore FStoreScope {FStore};
    TScriptedQuestions FQuestions;
    TScopedQuestions FQuestionsScope {FQuestions};
    std::vector<QUrl> FOpened;

private:
    TSettings FSavedSettings = TSettings::Defaults();
};

// The help key: F1 in a control of the dialog opens the page of the context.
inline void ExpectHelpKeyOpens(
    QDialog& dialog, const char* control, int context, std::vector<QUrl>& opened)
{
    opened.clear();
    QTest::keyClick(Control<QWidget>(&dialog, control), Qt::Key_F1);
    ASSERT_EQ(opened.size(), 1u) << dialog.objectName().toStdString();
    EXPECT_EQ(opened.front(), HelpPageUrl(context)) << dialog.objectName().toStdString();
}

} // namespace dialog_tests
