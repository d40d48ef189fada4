#include "engine/Log.h"

#include "engine/FileTimeHelper.h"
#include "engine/Utils.h"
#include "engine/ZYGlobals.h"
#include "tests/support/TempTree.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QString>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using testing_support::TTempTree;

namespace {

// Splits a file's text at CR LF; a final line without CR LF shows up as an unended line.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back("<unended>" + text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::size_t OpenDescriptorCount()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// Every test leaves the program's log removed and logging off, as it found them.
class AppLogTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ReplaceAppLog(nullptr);
        SetLogEnabled(false);
    }
    TTempTree Tree;
};

} // namespace

TEST(Log, SimpleModeWritesExactlyTheTextAndCrLf)
{
    TTempTree tree;
    TLog log;
    log.MessageMode = lmmSimple;
    log.SetFileName(tree.Path("log.txt"));
    ASSERT_TRUE(log.IsOpen());
    log.AddLogText("first");
    log.AddLogMessage(3, "");
    log.WriteLogLine("Grüße \xE2\x9C\x93");
    // Each line is on the disk when the call returns, before the log is closed.
    EXPECT_EQ(tree.ReadFile("log.txt"), "first\r\n\r\nGrüße \xE2\x9C\x93\r\n");
}

TEST(Log, FullModeLineHasDateTimeLevelAndText)
{
    TTempTree tree;
    TLog log;
    EXPECT_EQ(log.MessageMode.load(), lmmFullTimeInfo) << "a new log starts in the full mode";
    log.SetFileName(tree.Path("log.txt"));

    const std::pair<std::uint8_t, std::string> levels[] = {
        {0, ""}, {1, "Information"}, {2, "Warning"}, {3, "Error"}, {4, "FATAL ERROR"}, {9, ""}};
    const std::int64_t before = QDateTime::currentMSecsSinceEpoch() - 1000;
    for (const auto& [level, name] : levels) {
        log.AddLogMessage(level, "text " + std::to_string(level));
    }
    const std::int64_t after = QDateTime::currentMSecsSinceEpoch() + 1000;

    // The user's short date and long time, as file times are shown: no time-zone field.
    std::set<std::string> moments;
    for (std::int64_t ms = before; ms <= after + 1000; ms += 1000) {
        // A whole second, and a moment within it (which is never shown without its time).
        moments.insert(DateTimeToDisplayText(UnixMsToDateTime(ms - ms % 1000)));
        moments.insert(DateTimeToDisplayText(UnixMsToDateTime(ms - ms % 1000 + 1)));
    }
    const std::vector<std::string> lines = Lines(tree.ReadFile("log.txt"));
    ASSERT_EQ(lines.size(), std::size(levels));
    const QRegularExpression shape(QStringLiteral(R"(^\[([^\]]+)\] (.*) : (.*)$)"));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const QRegularExpressionMatch match = shape.match(QString::fromStdString(lines[i]));
        ASSERT_TRUE(match.hasMatch());
        EXPECT_EQ(match.captured(2).toStdString(), levels[i].second);
        EXPECT_EQ(match.captured(3).toStdString(), "text " + std::to_string(levels[i].first));
        EXPECT_TRUE(moments.contains(match.captured(1).toStdString()));
    }
    // Level 0 leaves two blanks between the time and the colon.
    EXPECT_NE(lines[0].find("]  : text 0"), std::string::npos);
}

TEST(Log, OpeningEmptiesTheFileAndTheSameNameAgainKeepsIt)
{
    TTempTree tree;
    tree.AddFile("log.txt", "left from before\r\n");
    TLog log;
    log.MessageMode = lmmSimple;
    log.SetFileName(tree.Path("log.txt"));
    log.AddLogText("one");
    log.SetFileName(tree.Path("log.txt"));
    log.AddLogText("two");
    EXPECT_EQ(tree.ReadFile("log.txt"), "one\r\ntwo\r\n");
}

TEST(Log, EmptyFileNameClosesTheFileAndDropsLaterLines)
{
    TTempTree tree;
    TLog log;
    log.MessageMode = lmmSimple;
    log.SetFileName(tree.Path("log.txt"));
    log.AddLogText("kept");
    log.SetFileName("");
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.OpenFile());
    log.AddLogText("dropped");
    EXPECT_EQ(tree.ReadFile("log.txt"), "kept\r\n");
}

TEST(Log, FileThatCannotBeCreatedLeavesTheLogClosed)
{
    TTempTree tree;
    TLog log;
    log.SetFileName(tree.Path("missing-folder/log.txt"));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.OpenFile());
    log.AddLogText("dropped");
    EXPECT_FALSE(tree.Exists("missing-folder/log.txt"));

    // Naming a file that can be created afterwards opens it.
    log.SetFileName(tree.Path("log.txt"));
    EXPECT_TRUE(log.IsOpen());
}

TEST(Log, LinesFromManyThreadsNeverInterleave)
{
    TTempTree tree;
    TLog log;
    log.MessageMode = lmmSimple;
    log.SetFileName(tree.Path("log.txt"));

    constexpr int Threads = 8;
    constexpr int LinesPerThread = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&log, t] {
            const std::string padding(100, char('a' + t));
            for (int i = 0; i < LinesPerThread; ++i) {
                log.WriteLogLine(std::to_string(t) + ":" + std::to_string(i) + ":" + padding);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    std::vector<int> next(Threads, 0);
    const QRegularExpression shape(QStringLiteral(R"(^(\d):(\d+):([a-z]{100})$)"));
    for (const std::string& line : Lines(tree.ReadFile("log.txt"))) {
        const QRegularExpressionMatch match = shape.match(QString::fromStdString(line));
        ASSERT_TRUE(match.hasMatch()) << line;
        const int t = match.captured(1).toInt();
        ASSERT_LT(t, Threads);
        ASSERT_EQ(match.captured(3).toStdString(), std::string(100, char('a' + t)));
        // Each thread's lines appear whole and in the order it wrote them.
        EXPECT_EQ(match.captured(2).toInt(), next[std::size_t(t)]++);
    }
    for (int t = 0; t < Threads; ++t) {
        EXPECT_EQ(next[std::size_t(t)], LinesPerThread) << "thread " << t;
    }
}

TEST_F(AppLogTest, LogMessageWritesOnlyWhileLoggingIsOn)
{
    TLog* log = ReplaceAppLog(std::make_unique<TLog>());
    ASSERT_EQ(log, AppLog);
    log->SetFileName(Tree.Path("log.txt"));
    log->MessageMode = lmmSimple;

    SetLogEnabled(false);
    LogMessage("while off");
    SetLogEnabled(true);
    LogMessage("while on");
    SetLogEnabled(false);
    LogMessage("off again");
    EXPECT_EQ(Tree.ReadFile("log.txt"), "while on\r\n");
}

TEST_F(AppLogTest, LogMessageWithoutALogDoesNothing)
{
    SetLogEnabled(true);
    ASSERT_EQ(ReplaceAppLog(nullptr), nullptr);
    EXPECT_EQ(AppLog, nullptr);
    LogMessage("nowhere to go"); // must not crash
}

TEST_F(AppLogTest, EachScansNewLogStartsTheFileAfreshAndTheOldOneLetsGo)
{
    SetLogEnabled(true);
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    for (int scan = 1; scan <= 5; ++scan) {
        TLog* log = ReplaceAppLog(std::make_unique<TLog>());
        EXPECT_EQ(AppLog, log);
        log->MessageMode = lmmSimple;
        log->SetFileName(Tree.Path("log.txt"));
        LogMessage("scan " + std::to_string(scan));
        EXPECT_EQ(Tree.ReadFile("log.txt"), "scan " + std::to_string(scan) + "\r\n");
    }
    ReplaceAppLog(nullptr);
    EXPECT_EQ(AppLog, nullptr);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "a replaced log still holds its file";
}

TEST_F(AppLogTest, ReplacingTheLogWhileThreadsWriteLosesNoLineToAFreedLog)
{
    SetLogEnabled(true);
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&stop, t] {
            for (int i = 0; i < 5000 && !stop.load(); ++i) {
                LogMessage("w" + std::to_string(t) + "-" + std::to_string(i));
            }
        });
    }
    constexpr int Logs = 30;
    for (int n = 0; n < Logs; ++n) {
        auto log = std::make_unique<TLog>();
        log->MessageMode = lmmSimple; // before any writer can see it
        ReplaceAppLog(std::move(log))->SetFileName(Tree.Path("log" + std::to_string(n) + ".txt"));
    }
    stop.store(true);
    for (std::thread& writer : writers) {
        writer.join();
    }
    ReplaceAppLog(nullptr);

    const QRegularExpression shape(QStringLiteral(R"(^w\d-\d+$)"));
    for (int n = 0; n < Logs; ++n) {
        for (const std::string& line : Lines(Tree.ReadFile("log" + std::to_string(n) + ".txt"))) {
            ASSERT_TRUE(shape.match(QString::fromStdString(line)).hasMatch())
                << "log " << n << ": " << line;
        }
    }
}
