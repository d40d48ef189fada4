#include "ui/UWhisperSplitter.h"

#include "toolkit/ProgramIcons.h"

#include <QSplitter>
#include <QSplitterHandle>
#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(WhisperSplitter, TheGripZoneIsFourPixelsPerCopyInTheMiddleOfTheHeight)
{
    struct TCase {
        int Width, Height, Grips;
        QRect Expected;
    };
    const std::vector<TCase> cases = {
        {6, 500, 20, QRect(QPoint(0, 210), QPoint(6, 290))},
        {6, 501, 20, QRect(QPoint(0, 210), QPoint(6, 291))},
        {200, 4, 10, QRect(QPoint(0, -18), QPoint(200, 22))}, // a flat bar: zone around it
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(WhisperGripZone(c.Width, c.Height, c.Grips), c.Expected) << c.Height;
    }
}

// The main window's arrangement: a panel on the right of a bar 6 wide, 280 wide, at least 1.
class WhisperSplitterBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        FSplitter.setOrientation(Qt::Horizontal);
        FSplitter.setHandleWidth(6);
        FSplitter.addWidget(FLeft = new QWidget);
        FSplitter.addWidget(FRight = new QWidget);
        FRight->setMinimumWidth(1);
        FSplitter.setCollapsible(1, false);
        FSplitter.resize(1000, 500);
        FSplitter.setSizes({714, 280});
        FSplitter.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&FSplitter));
        FWhisper = std::make_unique<TWhisperSplitter>(&FSplitter, FRight);
        FWhisper->GripCount = 20;
        FWhisper->GripBitmap = SplitterGripBitmap();
    }
    QSplitterHandle* Bar() { return FWhisper->Bar(); }
    QPoint Middle() { return QPoint(3, Bar()->height() / 2); }

    QSplitter FSplitter;
    QWidget* FLeft = nullptr;
    QWidget* FRight = nullptr;
    std::unique_ptr<TWhisperSplitter> FWhisper;
};

TEST_F(WhisperSplitterBar, AClickOnTheGripCollapsesThePanelAndTheNextOneRestoresIt)
{
    ASSERT_EQ(Bar(), FSplitter.handle(1));
    QTest::mouseClick(Bar(), Qt::LeftButton, {}, Middle());
    EXPECT_EQ(FRight->width(), 1);
    EXPECT_TRUE(FWhisper->Collapsed);
    QTest::mouseClick(Bar(), Qt::LeftButton, {}, Middle());
    EXPECT_EQ(FRight->width(), 280);
    EXPECT_FALSE(FWhisper->Collapsed);
    // Outside the middle 80 pixels a click does nothing.
    QTest::mouseClick(Bar(), Qt::LeftButton, {}, QPoint(3, 10));
    EXPECT_EQ(FRight->width(), 280);
}

TEST_F(WhisperSplitterBar, ADoubleClickAnywhereTogglesOnce)
{
    for (const QPoint& at : {QPoint(3, 10), Middle()}) {
        QTest::mouseDClick(Bar(), Qt::LeftButton, {}, at);
        EXPECT_EQ(FRight->width(), 1) << at.y();
        QTest::mouseDClick(Bar(), Qt::LeftButton, {}, at);
        EXPECT_EQ(FRight->width(), 280) << at.y();
    }
}

TEST_F(WhisperSplitterBar, ADraggedWidthIsTheOneRestoredAfterTheNextCollapse)
{
    const QPoint grip(3, 20);
    QTest::mousePress(Bar(), Qt::LeftButton, {}, grip);
    QTest::mouseMove(Bar(), grip + QPoint(-100, 0));
    QTest::mouseRelease(Bar(), Qt::LeftButton, {}, grip + QPoint(-100, 0));
    EXPECT_EQ(FRight->width(), 380);
    EXPECT_EQ(FWhisper->TargetSize, 380);
    QTest::mouseClick(Bar(), Qt::LeftButton, {}, Middle());
    EXPECT_EQ(FRight->width(), 1);
    QTest::mouseClick(Bar(), Qt::LeftButton, {}, Middle());
    EXPECT_EQ(FRight->width(), 380);
}

TEST_F(WhisperSplitterBar, TheBarTurnsWhiteUnderTheMouseAndHoverRestoreOpensAPanel)
{
    const QColor normal = FWhisper->CurrentColor();
    FWhisper->SplitterMouseEnter();
    EXPECT_EQ(FWhisper->CurrentColor(), QColor(Qt::white));
    FWhisper->SplitterMouseLeave();
    EXPECT_EQ(FWhisper->CurrentColor(), normal);

    QTest::mouseClick(Bar(), Qt::LeftButton, {}, Middle());
    ASSERT_EQ(FRight->width(), 1);
    FWhisper->SplitterMouseEnter(); // hover restore is off
    EXPECT_EQ(FRight->width(), 1);
    FWhisper->HoverRestore = true;
    FWhisper->SplitterMouseEnter();
    EXPECT_EQ(FRight->width(), 280);
}

} // namespace
