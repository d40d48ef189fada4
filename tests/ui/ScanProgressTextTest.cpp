#include "ui/ScanProgressText.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Text(const std::optional<QString>& text)
{
    return text ? "[" + text->toStdString() + "]" : "unchanged";
}

std::string Number(const std::optional<std::int32_t>& value)
{
    return value ? std::to_string(*value) : "unchanged";
}

const char* StyleName(TProgressBarStyle style)
{
    switch (style) {
    case TProgressBarStyle::pbsMarquee:
        return "marquee";
    case TProgressBarStyle::pbsNormal:
        return "normal";
    default:
        return "unchanged";
    }
}

TEST(ScanProgressDisplay, ShowsEachStateOfTheScan)
{
    const QString title = QStringLiteral("Pairloom");
    const std::string running = " - Pairloom - Press ESC to abort]";
    struct TCase {
        const char* Label;
        TScanSnapshot Snapshot;
        std::string Status;
        const char* Style;
        std::string Maximum;
        std::string Position;
        bool Repaint;
        std::string Tray;
        std::string Caption;
        bool Title;
    };
    const std::vector<TCase> cases = {
        {"listing", {0, 0, 1234, false},
            "[Collecting list of possible duplicates... (Files: 1234)]", "marquee", "unchanged",
            "unchanged", false, "unchanged", "unchanged", false},
        {"preprocessing, a quarter", {1, 25, 100, false},
            "[Preprocessing files... 25% (Possible duplicate files: 100)]", "normal", "100", "25",
            false, "[25% done]", "[(25% done)" + running, true},
        {"preprocessing, a half rounds to even: 0.5% shows 0", {1, 1, 200, false},
            "[Preprocessing files... 0% (Possible duplicate files: 200)]", "normal", "200", "1",
            false, "[0% done]", "[(0% done)" + running, true},
        {"preprocessing, 1.5% shows 2", {1, 3, 200, false},
            "[Preprocessing files... 2% (Possible duplicate files: 200)]", "normal", "200", "3",
            false, "[2% done]", "[(2% done)" + running, true},
        {"preprocessing past the file count stays at 100%", {1, 130, 100, false},
            "[Preprocessing files... 100% (Possible duplicate files: 100)]", "normal", "100", "100",
            false, "[100% done]", "[(100% done)" + running, true},
        {"preprocessing with no files: only the bar", {1, 5, 0, false}, "unchanged", "normal", "0",
            "0", false, "unchanged", "unchanged", false},
        {"comparing shows one more than its progress", {2, 0, 500, false},
            "[Comparing files... (1%)]", "normal", "100", "0", true, "[1% done]",
            "[(1% done)" + running, true},
        {"comparing at 100 shows 100", {2, 100, 500, false}, "[Comparing files... (100%)]",
            "normal", "100", "100", true, "[100% done]", "[(100% done)" + running, true},
        {"comparing with a stray progress stays in range", {2, 250, 500, false},
            "[Comparing files... (100%)]", "normal", "100", "100", true, "[100% done]",
            "[(100% done)" + running, true},
        {"preparing the results", {3, 100, 500, false}, "[Preparing results... Please wait...]",
            "marquee", "unchanged", "0", true, "[]", "[(100% done) - Pairloom]", false},
        {"results shown", {4, 100, 500, false}, "unchanged", "normal", "100", "100", true,
            "[100% done]", "[(100% done) - Pairloom]", true},
        {"idle", {-1, 0, 0, false}, "unchanged", "unchanged", "unchanged", "unchanged", false,
            "unchanged", "unchanged", false},
        {"stopped by the user", {2, 40, 500, true}, "unchanged", "unchanged", "unchanged",
            "unchanged", false, "unchanged", "unchanged", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const TScanProgressDisplay display = ScanProgressDisplay(c.Snapshot, title);
        EXPECT_EQ(Text(display.StatusText), c.Status);
        EXPECT_STREQ(StyleName(display.BarStyle), c.Style);
        EXPECT_EQ(Number(display.BarMaximum), c.Maximum);
        EXPECT_EQ(Number(display.BarPosition), c.Position);
        EXPECT_EQ(display.RepaintBar, c.Repaint);
        EXPECT_EQ(Text(display.TrayHint), c.Tray);
        EXPECT_EQ(Text(display.Caption), c.Caption);
        EXPECT_EQ(display.TitleFromCaption, c.Title);
    }
}

} // namespace
