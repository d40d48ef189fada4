#include "platform/Process.h"

#include "tests/support/TempTree.h"

#include <unistd.h>

#include <climits>

#include <gtest/gtest.h>

using testing_support::TTempTree;

namespace {

// Makes the tree the current folder, so that a command that a shell would run from a name
// leaves its file there, and returns to the previous folder afterwards.
class TScopedCurrentFolder {
public:
    explicit TScopedCurrentFolder(const std::string& folder)
    {
        char buffer[PATH_MAX];
        if (::getcwd(buffer, sizeof buffer)) {
            FOld = buffer;
        }
        FChanged = ::chdir(folder.c_str()) == 0;
    }
    ~TScopedCurrentFolder()
    {
        if (!FOld.empty() && ::chdir(FOld.c_str()) != 0) {
            ADD_FAILURE() << "cannot return to " << FOld;
        }
    }
    TScopedCurrentFolder(const TScopedCurrentFolder&) = delete;
    TScopedCurrentFolder& operator=(const TScopedCurrentFolder&) = delete;
    bool Changed() const { return FChanged; }

private:
    std::string FOld;
    bool FChanged = false;
};

} // namespace

TEST(Process, ArgumentsReachTheProgramAsWordsAndRunNothing)
{
    TTempTree tree;
    tree.AddFile("source", "content");
    TScopedCurrentFolder here(tree.Root());
    ASSERT_TRUE(here.Changed());
    // Each part of this name would run a command if it went through a shell.
    const std::string name =
        "copy; touch semicolon $(touch dollar) `touch tick` 'quoted' \"double\" & touch amp *";

    ASSERT_TRUE(platform::StartProcess("cp", {tree.Path("source"), tree.Path(name)}, true));
    EXPECT_EQ(tree.ReadFile(name), "content");
    for (const char* injected : {"semicolon", "dollar", "tick", "amp"}) {
        EXPECT_FALSE(tree.Exists(injected)) << injected;
    }
}

TEST(Process, AProgramNameIsNeverACommandLine)
{
    TTempTree tree;
    TScopedCurrentFolder here(tree.Root());
    ASSERT_TRUE(here.Changed());
    EXPECT_FALSE(platform::StartProcess("true; touch ran", {}, true));
    EXPECT_FALSE(platform::StartProcess("$(touch ran)", {}, true));
    EXPECT_FALSE(tree.Exists("ran"));
    EXPECT_FALSE(platform::StartProcess(tree.Path("no-such-program"), {}, true));
    EXPECT_FALSE(platform::StartProcess("", {}, true));
}
