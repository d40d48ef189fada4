#include "ui/ImgTools.h"

#include "toolkit/ProgramIcons.h"

#include <QImage>
#include <QPainter>

#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(ImgTools, ChannelsAreBrightenedByTwentyUpToWhite)
{
    const std::vector<std::pair<int, int>> cases = {{0, 20}, {234, 254}, {235, 255}, {255, 255}};
    for (const auto& [channel, brightened] : cases) {
        EXPECT_EQ(BrightenChannel(channel), brightened) << channel;
    }
}

TEST(ImgTools, GreyKeepsEveryPixelsAlphaAndPunchesNoHoles)
{
    struct TCase {
        const char* Label;
        QRgb Pixel;
        QRgb Expected;
    };
    const std::vector<TCase> cases = {
        {"pure red", qRgba(255, 0, 0, 255), qRgba(90, 90, 90, 255)},
        {"half-transparent blue", qRgba(0, 0, 255, 128), qRgba(46, 46, 46, 128)},
        {"transparent", qRgba(0, 0, 0, 0), qRgba(20, 20, 20, 0)},
        // A picture's own grey that equals its corner's: a colour key would make it a hole.
        {"grey like the corner", qRgba(70, 70, 70, 255), qRgba(90, 90, 90, 255)},
    };
    QImage image(int(cases.size()), 1, QImage::Format_ARGB32);
    for (int x = 0; x < int(cases.size()); ++x) {
        image.setPixel(x, 0, cases[std::size_t(x)].Pixel);
    }
    image.setPixel(0, 0, cases[0].Pixel);
    GreyBitmap(image);
    for (int x = 0; x < int(cases.size()); ++x) {
        const QRgb grey = image.pixel(x, 0);
        const QRgb expected = cases[std::size_t(x)].Expected;
        EXPECT_EQ(qAlpha(grey), qAlpha(expected)) << cases[std::size_t(x)].Label;
        if (qAlpha(expected) > 0) {
            EXPECT_EQ(qRed(grey), qRed(expected)) << cases[std::size_t(x)].Label;
            EXPECT_EQ(qGreen(grey), qRed(expected)) << cases[std::size_t(x)].Label;
            EXPECT_EQ(qBlue(grey), qRed(expected)) << cases[std::size_t(x)].Label;
        }
    }
}

TEST(ImgTools, TheImageListsKeepTheirOrderWhateverIsMissing)
{
    TImageList list(32);
    EXPECT_EQ(AddIconResource(32, QStringLiteral("P_STOP"), list), 0);
    // A picture nobody has: an empty place, start-up goes on and the next index stays right.
    EXPECT_EQ(AddIconResource(32, QStringLiteral("P_NOT_THERE"), list), 1);
    EXPECT_EQ(AddIconResource(32, QStringLiteral("P_PLAY"), list), 2);
    EXPECT_TRUE(list.Icon(1).isNull());
    EXPECT_FALSE(list.Icon(2).isNull());

    const TImageList grey = CreateDisabledImageList(list);
    ASSERT_EQ(grey.Count(), 3);
    EXPECT_TRUE(grey.Icon(1).isNull());
    const QImage stop = grey.Icon(0).pixmap(32, 32).toImage();
    ASSERT_EQ(stop.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb pixel = stop.pixel(x, y);
            ASSERT_EQ(qRed(pixel), qGreen(pixel));
            ASSERT_EQ(qGreen(pixel), qBlue(pixel));
        }
    }
    // The corners of a round picture stay transparent.
    EXPECT_EQ(qAlpha(stop.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(stop.pixel(5, 16)), 255);

    const QIcon combined = WithDisabledImage(list.Icon(0), grey.Icon(0), {32});
    const QImage disabled = combined.pixmap(32, 32, QIcon::Disabled).toImage();
    EXPECT_EQ(disabled.pixel(5, 16), stop.pixel(5, 16));
    EXPECT_NE(combined.pixmap(32, 32, QIcon::Normal).toImage().pixel(5, 16), stop.pixel(5, 16));
}

} // namespace
