#include "ui/ButtonEd.h"

#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

TEST(ButtonEdit, TheButtonFiresItsEventFocusesTheEditAndFollowsTheEnabledState)
{
    QWidget window;
    auto* other = new QLineEdit(&window);
    auto* edit = new TButtonEdit(&window);
    edit->setGeometry(0, 40, 200, 24);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    other->setFocus();
    int clicks = 0;
    QObject::connect(edit, &TButtonEdit::OnButtonClick, [&clicks] { ++clicks; });
    QTest::mouseClick(edit->Button(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->Button()->text(), QStringLiteral("..."));
    EXPECT_EQ(edit->Button()->focusPolicy(), Qt::NoFocus);

    edit->setEnabled(false);
    EXPECT_FALSE(edit->Button()->isEnabled());
    edit->setEnabled(true);
    EXPECT_TRUE(edit->Button()->isEnabled());
}

TEST(ButtonEdit, TheButtonIsASquareInsideTheRightEdgeAndTextStopsBeforeIt)
{
    for (bool frame : {true, false}) {
        TButtonEdit edit;
        edit.setFrame(frame);
        edit.resize(200, 24);
        edit.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
        const int flat = frame ? 1 : 0;
        const int side = 24 - 2 * flat;
        EXPECT_EQ(edit.Button()->geometry(), QRect(200 - side - flat, flat, side, side)) << frame;
        EXPECT_EQ(edit.textMargins().right(), side + 2) << frame;
    }
}

} // namespace
