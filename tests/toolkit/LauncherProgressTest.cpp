#include "toolkit/LauncherProgress.h"

#include <QProgressBar>

#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(LauncherProgress, TheEntryShowsTheShareOfTheRangeOrNothing)
{
    struct TCase {
        const char* Label;
        int Minimum, Maximum, Value;
        TLauncherProgress Expected;
    };
    const std::vector<TCase> cases = {
        {"idle at 0", 0, 100, 0, {false, 0.0}},
        {"half way", 0, 100, 50, {true, 0.5}},
        {"done", 0, 100, 100, {true, 1.0}},
        {"files of a count", 0, 400, 100, {true, 0.25}},
        {"busy without a value", 0, 0, 0, {false, 0.0}},
        {"an offset range", 10, 20, 15, {true, 0.5}},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(LauncherProgressOf(c.Minimum, c.Maximum, c.Value), c.Expected) << c.Label;
    }
    const QVariantMap properties = LauncherEntryProperties({true, 0.25});
    EXPECT_EQ(properties.value(QStringLiteral("progress")).toDouble(), 0.25);
    EXPECT_TRUE(properties.value(QStringLiteral("progress-visible")).toBool());
}

TEST(LauncherProgress, TheMirroredBarIsFollowedAndOnlyChangesAreSent)
{
    std::vector<QVariantMap> sent;
    TTaskbarListProgress::SetSenderForTests([&sent](const QVariantMap& p) { sent.push_back(p); });
    {
        QProgressBar bar;
        bar.setRange(0, 100);
        TTaskbarListProgress progress;
        progress.SetProgressBar(&bar);
        EXPECT_TRUE(sent.empty()); // at 0 nothing shows, and nothing was shown before
        bar.setValue(40);
        bar.setValue(40);
        progress.UpdateProgress();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_DOUBLE_EQ(sent.back().value(QStringLiteral("progress")).toDouble(), 0.4);
        bar.setRange(0, 0); // busy: the entry's bar goes
        progress.UpdateProgress();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_FALSE(sent.back().value(QStringLiteral("progress-visible")).toBool());
        bar.setRange(0, 100);
        bar.setValue(100);
        ASSERT_EQ(sent.size(), 3u);
    }
    // A program that goes takes its bar off the entry.
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_FALSE(sent.back().value(QStringLiteral("progress-visible")).toBool());
    TTaskbarListProgress::SetSenderForTests(nullptr);
}

} // namespace
