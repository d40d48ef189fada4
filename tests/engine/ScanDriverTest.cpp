// The headless scan driver of bench/, run as a program from end to end. Built only where the
// driver is built too (its path comes in as PAIRLOOM_SCAN_DRIVER).
#ifdef PAIRLOOM_SCAN_DRIVER

#include "tests/engine/ScanRunner.h"
#include "tests/support/TempTree.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include <gtest/gtest.h>

using scan_test::ResolvedRoot;
using testing_support::TTempTree;

namespace {

struct TDriverRun {
    int ExitCode = -1;
    std::string Output;
    std::string Errors;
};

TDriverRun RunDriver(const QStringList& arguments)
{
    QProcess process;
    process.start(QString::fromUtf8(PAIRLOOM_SCAN_DRIVER), arguments);
    TDriverRun run;
    // Waits as long as the program runs; the test's own time limit ends a hung run.
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit) {
        return run;
    }
    run.ExitCode = process.exitCode();
    run.Output = process.readAllStandardOutput().toStdString();
    run.Errors = process.readAllStandardError().toStdString();
    return run;
}

TEST(ScanDriver, PrintsEachGroupsPathsWithABlankLineAfterIt)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 4000, 1);
    tree.AddFileOfSize("sub/b.bin", 4000, 1);
    tree.AddFileOfSize("c.txt", 900, 2);
    tree.AddFileOfSize("d.txt", 900, 3);
    tree.AddFile("e", "");
    tree.AddFile("f", "");
    const std::string root = ResolvedRoot(tree);
    const QString folder = QString::fromUtf8(root);

    struct TCase {
        QStringList Arguments;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {{folder}, root + "a.bin\n" + root + "sub/b.bin\n\n"},
        {{QStringLiteral("--no-recurse"), folder}, ""},
        {{QStringLiteral("--method"), QStringLiteral("3"), QStringLiteral("--keep-zero"), folder},
            root + "a.bin\n" + root + "sub/b.bin\n\n" + root + "c.txt\n" + root + "d.txt\n\n" +
                root + "e\n" + root + "f\n\n"},
    };
    for (const TCase& c : cases) {
        const TDriverRun run = RunDriver(c.Arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Errors;
        EXPECT_EQ(run.Output, c.Expected) << c.Arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_NE(run.Errors.find("peak memory"), std::string::npos);
    }
}

TEST(ScanDriver, RefusesBadArgumentsWithAMessage)
{
    TTempTree tree;
    const QString folder = QString::fromUtf8(tree.Root());
    const std::vector<QStringList> cases = {
        {},
        {QStringLiteral("--method"), QStringLiteral("4"), folder},
        {QStringLiteral("--similarity"), QStringLiteral("12"), folder},
        {QStringLiteral("--similarity"), QStringLiteral("abc"), folder},
        {QStringLiteral("--fast"), folder},
        {QString::fromUtf8(tree.Path("missing"))},
    };
    for (const QStringList& arguments : cases) {
        const TDriverRun run = RunDriver(arguments);
        EXPECT_NE(run.ExitCode, 0) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.Output.empty());
        EXPECT_FALSE(run.Errors.empty());
    }
}

} // namespace

#endif
