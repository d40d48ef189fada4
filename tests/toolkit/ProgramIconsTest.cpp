#include "toolkit/ProgramIcons.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

// Without the theme and the style every picture must come from the program's own resources,
// as on a bare system: a missing one would leave a tool button without a picture.
TEST(ProgramIcons, EveryNamedPictureHasAnImageOfItsOwnAtSixteenAndThirtyTwoPixels)
{
    SetThemeIconsEnabled(false);
    std::vector<QString> names = ProgramIconNames();
    names.insert(names.end(),
        {QStringLiteral("MAINICON"), QStringLiteral("PCTRW"), QStringLiteral("SOUNDSIEVE"),
            QStringLiteral("H_EXCLUDE"), QStringLiteral("H_SELFSCAN"), QStringLiteral("H_FOLDER")});
    for (const QString& name : names) {
        const TIconLookup found = FindProgramIcon(name);
        EXPECT_EQ(found.Source, isResource) << name.toStdString();
        for (int size : {16, 32}) {
            const QImage image = found.Icon.pixmap(size, size).toImage();
            ASSERT_EQ(image.size(), QSize(size, size)) << name.toStdString();
            // Something is drawn: the picture is not fully transparent.
            bool drawn = false;
            for (int y = 0; y < size && !drawn; ++y) {
                for (int x = 0; x < size && !drawn; ++x) {
                    drawn = qAlpha(image.pixel(x, y)) > 0;
                }
            }
            EXPECT_TRUE(drawn) << name.toStdString() << " at " << size;
        }
    }
    SetThemeIconsEnabled(true);
}

TEST(ProgramIcons, AnUnknownNameGivesANullIconAndTheGripBitmapIsFourByFour)
{
    EXPECT_TRUE(ProgramIcon(QStringLiteral("P_NO_SUCH_PICTURE")).isNull());
    EXPECT_EQ(FindProgramIcon(QStringLiteral("P_NO_SUCH_PICTURE")).Source, isNone);
    EXPECT_EQ(SplitterGripBitmap().size(), QSize(4, 4));
    EXPECT_FALSE(MainIcon().isNull());
    // The normal order still finds a picture for every name, wherever it comes from.
    for (const QString& name : ProgramIconNames()) {
        EXPECT_FALSE(ProgramIcon(name).isNull()) << name.toStdString();
    }
}

} // namespace
