#include "platform/SystemInfo.h"

#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

using testing_support::TTempTree;

TEST(SystemInfo, OsNameIsThePrettyNameWithItsQuotesRemoved)
{
    TTempTree tree;
    struct TCase {
        const char* Content;
        const char* Name;
    };
    const TCase cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Single quoted'\n", "Single quoted"},
        {"PRETTY_NAME=Bare\n", "Bare"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" \\\\ \\$x\"\n", "Say \"hi\" \\ $x"},
        {"# PRETTY_NAME=\"comment\"\nNAME=Only\n", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Content);
        EXPECT_EQ(platform::ReadOsPrettyName(tree.AddFile("os-release", c.Content)), c.Name);
    }
    EXPECT_EQ(platform::ReadOsPrettyName(tree.Path("missing")), "");
}

TEST(SystemInfo, ProcessorFactsOfTheFirstProcessorAndNoneOnArm)
{
    TTempTree tree;
    std::string name;
    std::uint32_t mhz = 7;
    platform::ReadProcessorFacts(tree.AddFile("x86", "processor\t: 0\n"
                                                     "model name\t: Example CPU @ 2.40GHz\n"
                                                     "cpu MHz\t\t: 2399.6\n\n"
                                                     "processor\t: 1\n"
                                                     "model name\t: Other CPU\n"
                                                     "cpu MHz\t\t: 800.000\n"),
                                 name, mhz);
    EXPECT_EQ(name, "Example CPU @ 2.40GHz");
    EXPECT_EQ(mhz, 2400u);

    platform::ReadProcessorFacts(tree.AddFile("arm", "processor\t: 0\nBogoMIPS\t: 48.00\n"
                                                     "CPU implementer\t: 0x41\n"),
                                 name, mhz);
    EXPECT_EQ(name, "");
    EXPECT_EQ(mhz, 0u);

    platform::ReadProcessorFacts(tree.Path("missing"), name, mhz);
    EXPECT_EQ(name, "");
    EXPECT_EQ(mhz, 0u);
}

TEST(SystemInfo, MemoryFactsAreKibibytesTurnedIntoBytes)
{
    TTempTree tree;
    std::uint64_t total = 0;
    std::optional<std::uint64_t> available;
    platform::ReadMemoryFacts(tree.AddFile("meminfo", "MemTotal:        8388608 kB\n"
                                                      "MemFree:          100000 kB\n"
                                                      "MemAvailable:    2097152 kB\n"),
                              total, available);
    EXPECT_EQ(total, 8192ULL << 20);
    ASSERT_TRUE(available);
    EXPECT_EQ(*available, 2048ULL << 20);

    platform::ReadMemoryFacts(tree.AddFile("old", "MemTotal: 1024 kB\nMemFree: 10 kB\n"), total,
                              available);
    EXPECT_EQ(total, 1024ULL << 10);
    EXPECT_FALSE(available);
}

TEST(SystemInfo, ProgramFolderIsTheFolderOfTheLinkedProgram)
{
    TTempTree tree;
    tree.AddSymlink("exe", "/opt/pairloom/bin/pairloom");
    EXPECT_EQ(platform::ReadProgramFolder(tree.Path("exe")), "/opt/pairloom/bin/");
    EXPECT_EQ(platform::ReadProgramFolder(tree.Path("missing")), "");

    std::string own = platform::ReadProgramFolder("/proc/self/exe");
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.front(), '/');
    EXPECT_EQ(own.back(), '/');
}

TEST(SystemInfo, AllFactsAreReadBelowTheRootAndMissingOnesStayEmpty)
{
    TTempTree tree;
    tree.AddFile("usr/lib/os-release", "PRETTY_NAME=\"Fallback OS\"\n");
    tree.AddFile("proc/meminfo", "MemTotal: 2048 kB\n");
    platform::TSystemFacts facts = platform::ReadSystemFacts(tree.Root());
    EXPECT_EQ(facts.OsName, "Fallback OS");
    EXPECT_EQ(facts.MemoryTotal, 2048ULL << 10);
    EXPECT_FALSE(facts.MemoryAvailable);
    EXPECT_EQ(facts.ProgramFolder, "");
    EXPECT_EQ(facts.ProcessorName, "");
    EXPECT_EQ(facts.ProcessorMHz, 0u);

    tree.AddFile("etc/os-release", "PRETTY_NAME=\"Main OS\"\n");
    EXPECT_EQ(platform::ReadSystemFacts(tree.Root()).OsName, "Main OS");
}
