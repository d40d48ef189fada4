#pragma once

#include "engine/ZYGlobals.h"
#include "tests/ui/UiRegistryFixture.h"
#include "toolkit/HelpLinks.h"
#include "ui/MainUnit.h"

#include <QTest>
#include <QUrl>

#include <memory>
#include <vector>

// A main window on a store and answers of the test's own; every web page or help page it
// opens is recorded instead of opened.
class TMainFormTest : public TUiTest {
protected:
    void SetUp() override
    {
        InitProductGlobals();
        SetUrlOpener([this](const QUrl& url) {
            FOpened.push_back(url);
            return true;
        });
    }
    void TearDown() override
    {
        if (FForm) {
            FForm->close();
            FForm.reset();
        }
        SetUrlOpener(nullptr);
    }

    TMainForm& Open()
    {
        FForm = std::make_unique<TMainForm>();
        return *FForm;
    }
    // Closes the window the way the user does (so it saves what it keeps) and frees it.
    void CloseForm()
    {
        FForm->close();
        FForm.reset();
    }

    // Shows the window of a first start and waits until the placement it reloads after
    // showing has been applied (with nothing stored, it is maximised then).
    static void ShowAndSettle(TMainForm& form)
    {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        ASSERT_TRUE(QTest::qWaitFor([&form] { return form.isMaximized(); }));
    }

    template<class T>
    T* Find(const char* name)
    {
        T* found = FForm->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::unique_ptr<TMainForm> FForm;
    std::vector<QUrl> FOpened;
};
