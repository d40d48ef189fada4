#include "toolkit/ActionLink.h"
#include "toolkit/NxControls.h"

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The start button and the tray item carry the start action while idle and the stop action
// while a scan runs: each must follow the action it carries now, and only that one.
TEST(ActionLink, AButtonAndAMenuItemFollowAndTriggerTheActionTheyCarry)
{
    QAction start(QStringLiteral("Start Scan"));
    QAction stop(QStringLiteral("Stop Scan"));
    stop.setEnabled(false);
    int started = 0;
    int stopped = 0;
    QObject::connect(&start, &QAction::triggered, [&started] { ++started; });
    QObject::connect(&stop, &QAction::triggered, [&stopped] { ++stopped; });

    TNxButton button;
    auto* item = new QAction(&button);
    auto* link = new TActionLink(item);
    button.SetAction(&start);
    link->SetAction(&start);
    EXPECT_EQ(button.text(), QStringLiteral("Start Scan"));
    EXPECT_EQ(item->text(), QStringLiteral("Start Scan"));
    QTest::mouseClick(&button, Qt::LeftButton);
    item->trigger();
    EXPECT_EQ(started, 2);

    button.SetAction(&stop);
    link->SetAction(&stop);
    EXPECT_FALSE(button.isEnabled());
    EXPECT_FALSE(item->isEnabled());
    stop.setEnabled(true);
    EXPECT_TRUE(button.isEnabled());
    EXPECT_TRUE(item->isEnabled());
    start.setText(QStringLiteral("changed")); // no longer followed
    EXPECT_EQ(button.text(), QStringLiteral("Stop Scan"));
    EXPECT_EQ(item->text(), QStringLiteral("Stop Scan"));
    QTest::mouseClick(&button, Qt::LeftButton);
    item->trigger();
    EXPECT_EQ(stopped, 2);
    EXPECT_EQ(started, 2);
}

} // namespace
