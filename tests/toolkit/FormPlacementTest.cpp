#include "toolkit/FormPlacement.h"

#include "engine/RegistryAccess.h"
#include "engine/ZYGlobals.h"
#include "tests/toolkit/RegistryFixture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

using FormPlacement = TToolkitRegistryTest;

QRect Primary()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

TEST_F(FormPlacement, TheMainWindowStartsMaximisedAndAnyOtherWindowAsItIs)
{
    QWidget main;
    RestoreFormPlacement(main, "MainForm");
    EXPECT_TRUE(main.windowState() & Qt::WindowMaximized);

    QWidget other;
    other.setGeometry(40, 50, 300, 200);
    RestoreFormPlacement(other, "BrowseForm");
    EXPECT_FALSE(other.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(other.geometry(), QRect(40, 50, 300, 200));
}

TEST_F(FormPlacement, NormalAndMaximisedPlacementsComeBack)
{
    const QRect bounds(30, 40, 500, 300);
    {
        QWidget form;
        form.setGeometry(bounds);
        ASSERT_TRUE(StoreFormPlacement(form, "MainForm"));
    }
    {
        QWidget form;
        RestoreFormPlacement(form, "MainForm");
        EXPECT_FALSE(form.windowState() & Qt::WindowMaximized);
        EXPECT_EQ(form.geometry(), bounds);
        form.setWindowState(Qt::WindowMaximized);
        ASSERT_TRUE(StoreFormPlacement(form, "MainForm"));
    }
    QWidget form;
    form.setGeometry(bounds);
    RestoreFormPlacement(form, "MainForm");
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
}

TEST_F(FormPlacement, AWindowOnNoMonitorIsCentredOnThePrimaryOne)
{
    // A monitor to the left was removed since the window was stored there.
    QWidget form;
    form.resize(300, 200);
    ASSERT_TRUE(SaveFormPlacement(
        "MainForm", RegistryRoot + "MainForm", {QRect(-3000, 100, 300, 200), false}));
    RestoreFormPlacement(form, "MainForm");
    form.show();
    EXPECT_LT(form.geometry().right(), 0);
    EXPECT_TRUE(PullOntoMonitor(form));
    EXPECT_TRUE(Primary().contains(form.geometry().center())) << form.geometry().x();
    EXPECT_EQ(form.geometry().center().x(), Primary().center().x());
    // On a monitor now: left alone.
    EXPECT_FALSE(PullOntoMonitor(form));
}

} // namespace
