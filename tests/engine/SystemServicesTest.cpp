#include "engine/SystemServices.h"

#include "engine/VistaFolders.h"
#include "platform/Power.h"
#include "platform/SysCalls.h"

#include "tests/support/TempTree.h"
#include "tests/support/TestEnvironment.h"

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

using testing_support::TTempTree;
using testing_support::TTestEnvironment;

namespace {

class TScopedParameters {
public:
    explicit TScopedParameters(const std::vector<std::string>& parameters)
    {
        SetCommandLineParameters(parameters);
    }
    ~TScopedParameters() { ResetCommandLineParameters(); }
    TScopedParameters(const TScopedParameters&) = delete;
    TScopedParameters& operator=(const TScopedParameters&) = delete;
};

class TScopedVariable {
public:
    TScopedVariable(const char* name, const std::string& value) : FName(name)
    {
        if (const char* old = std::getenv(name)) {
            FOld = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~TScopedVariable()
    {
        if (FOld) {
            ::setenv(FName, FOld->c_str(), 1);
        } else {
            ::unsetenv(FName);
        }
    }
    TScopedVariable(const TScopedVariable&) = delete;
    TScopedVariable& operator=(const TScopedVariable&) = delete;

private:
    const char* FName;
    std::optional<std::string> FOld;
};

// Records which power action was asked for and answers as told.
class TFakePower : public platform::TPowerService {
public:
    bool CanPowerOff() override { return PowerOffOffered; }
    platform::TPowerResult PowerOff() override { return Record("power off"); }
    platform::TPowerResult LogOff() override { return Record("log off"); }
    platform::TPowerResult Suspend() override { return Record("suspend"); }
    platform::TPowerResult Hibernate() override { return Record("hibernate"); }

    bool PowerOffOffered = false;
    platform::TPowerResult Answer{true, {}};
    std::vector<std::string> Calls;

private:
    platform::TPowerResult Record(const char* action)
    {
        Calls.push_back(action);
        return Answer;
    }
};

class TEffectiveUser : public platform::TSysCalls {
public:
    explicit TEffectiveUser(uid_t user) : FUser(user) {}
    uid_t GetEuid() override { return FUser; }

private:
    uid_t FUser;
};

// A fake system below a folder: the program link, os-release, cpuinfo and meminfo.
std::string MakeFakeSystem(TTempTree& tree, const std::string& cpuInfo,
                           const std::string& memInfo)
{
    tree.AddSymlink("proc/self/exe", "/opt/pairloom/pairloom");
    tree.AddFile("etc/os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    tree.AddFile("proc/cpuinfo", cpuInfo);
    tree.AddFile("proc/meminfo", memInfo);
    return tree.Root();
}

} // namespace

TEST(SystemServices, CommandLineSwitchesIgnoreLetterCase)
{
    TScopedParameters parameters({"-EXP", "Results.CSV;b.xml", "-Größe", "-s"});
    std::string value = "stale";

    EXPECT_TRUE(GetCommandLineValue("-exp", value));
    EXPECT_EQ(value, "Results.CSV;b.xml");
    EXPECT_TRUE(HasCommandLineSwitch("-S"));
    EXPECT_TRUE(HasCommandLineSwitch("-GRÖßE"));
    // The switch given last has no value.
    EXPECT_TRUE(GetCommandLineValue("-s", value));
    EXPECT_EQ(value, "");
    value = "stale";
    EXPECT_FALSE(GetCommandLineValue("-x", value));
    EXPECT_EQ(value, "");
    // A value is not a switch of its own, and a switch must match whole.
    EXPECT_FALSE(HasCommandLineSwitch("results.csv"));
    EXPECT_FALSE(HasCommandLineSwitch("-e"));
}

TEST(SystemServices, SystemTextWithoutProcessorSpeedHasFiveLines)
{
    TTempTree tree;
    std::string root =
        MakeFakeSystem(tree, "processor\t: 0\nmodel name\t: Example ARM board\n",
                       "MemTotal:        8388608 kB\nMemAvailable:    2097152 kB\n");
    EXPECT_EQ(GetSystemInfoText(root), "Application Directory: /opt/pairloom/\r\n"
                                       "Debian GNU/Linux 12 (bookworm)\r\n"
                                       "Example ARM board\r\n"
                                       "8193 MB of RAM\r\n"
                                       "75% memory in use\r\n");
}

TEST(SystemServices, SystemTextNamesTheProcessorSpeedWhenKnown)
{
    TTempTree tree;
    std::string root = MakeFakeSystem(tree, "model name\t: Example CPU\ncpu MHz\t\t: 3199.998\n",
                                      "MemTotal: 1000 kB\nMemAvailable: 1000 kB\n");
    std::string text = GetSystemInfoText(root);
    EXPECT_NE(text.find("\r\nExample CPU, 3200Mhz\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n0% memory in use\r\n"), std::string::npos) << text;
}

TEST(SystemServices, MemorySizeAddsOneAndRoundsHalvesToEven)
{
    struct TCase {
        const char* MemTotal;
        const char* Line;
    };
    const TCase cases[] = {
        {"8388608", "8193 MB of RAM"}, // 8192 MiB exactly
        {"8389120", "8194 MB of RAM"}, // 8192.5 + 1: the half goes to the even 8194
        {"8388096", "8192 MB of RAM"}, // 8191.5 + 1: the half goes to the even 8192
        {"8388609", "8193 MB of RAM"},
        {"8389121", "8194 MB of RAM"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.MemTotal);
        TTempTree tree;
        std::string root = MakeFakeSystem(tree, "", std::string("MemTotal: ") + c.MemTotal +
                                                        " kB\nMemAvailable: 0 kB\n");
        std::string text = GetSystemInfoText(root);
        EXPECT_NE(text.find(std::string("\r\n") + c.Line + "\r\n"), std::string::npos) << text;
    }
}

TEST(SystemServices, SystemTextOfAnEmptySystemStillHasItsFiveLines)
{
    TTempTree tree;
    EXPECT_EQ(GetSystemInfoText(tree.Root()), "Application Directory: \r\n"
                                              "\r\n"
                                              "\r\n"
                                              "0 MB of RAM\r\n"
                                              "0% memory in use\r\n");
    // The real system gives five lines too.
    std::string text = GetSystemInfoText();
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(lines, 5u) << text;
    EXPECT_EQ(text.rfind("Application Directory: /", 0), 0u) << text;
}

TEST(SystemServices, SpecialFoldersByNumber)
{
    const std::string home = TTestEnvironment::Home();
    EXPECT_EQ(GetSpecialFolder(CSIDL_PROFILE), home);
    EXPECT_EQ(GetSpecialFolder(CSIDL_PERSONAL), home + "Documents/");
    EXPECT_EQ(GetSpecialFolder(CSIDL_DESKTOP), home + "Desktop/");
    EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), TTestEnvironment::ConfigHome());
    for (std::int32_t none : {CSIDL_COMMON_APPDATA, CSIDL_WINDOWS, CSIDL_PROGRAM_FILES, 999}) {
        EXPECT_EQ(GetSpecialFolder(none), "") << none;
    }
    EXPECT_EQ(GetMyDocumentsFolder(), home + "Documents/");

    // A home of "/" gives no Documents folder rather than the root of the file system.
    TScopedVariable rootHome("HOME", "/");
    EXPECT_EQ(GetMyDocumentsFolder(), "");
    EXPECT_EQ(GetDownloadsFolder(), "");
}

TEST(SystemServices, DownloadsFolderFallsBackToTheProfilesDownloads)
{
    TTempTree bareHome;
    TScopedVariable home("HOME", bareHome.Root());
    // The sandbox's user-dirs file names $HOME/Downloads, which this home lacks.
    EXPECT_EQ(GetDownloadsFolder(), bareHome.Root() + "Downloads/");
    bareHome.AddFolder("Downloads");
    EXPECT_EQ(GetDownloadsFolder(), bareHome.Root() + "Downloads/");

    TTempTree elsewhere;
    TScopedVariable config("XDG_CONFIG_HOME", elsewhere.Root());
    elsewhere.AddFolder("fetched");
    elsewhere.AddFile("user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"" + elsewhere.Path("fetched") + "\"\n");
    EXPECT_EQ(GetDownloadsFolder(), elsewhere.Path("fetched") + "/");
}

TEST(SystemServices, PowerActionsGoToThePowerServiceAndReportFailure)
{
    TFakePower power;
    platform::TScopedPowerService scope(power);

    EXPECT_FALSE(EnableShutdownPrivilege(true));
    power.PowerOffOffered = true;
    EXPECT_TRUE(EnableShutdownPrivilege(true));
    power.PowerOffOffered = false;
    EXPECT_TRUE(EnableShutdownPrivilege(false));

    EXPECT_TRUE(ExitWindowsWithPrivilege(0));
    EXPECT_TRUE(ExitWindowsWithPrivilege(8));
    EXPECT_EQ(power.Calls, (std::vector<std::string>{"log off", "power off"}));

    power.Answer = {false, "Interactive authentication required."};
    std::string error;
    EXPECT_FALSE(ExitWindowsWithPrivilege(8, &error));
    EXPECT_EQ(error, "Interactive authentication required.");

    // A reboot is not an action of the program: refused without asking anything.
    power.Calls.clear();
    EXPECT_FALSE(ExitWindowsWithPrivilege(2, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(power.Calls.empty());
}

TEST(SystemServices, AdministratorMeansTheSuperuser)
{
    TEffectiveUser root(0);
    TEffectiveUser user(1000);
    {
        platform::TScopedSysCalls scope(root);
        EXPECT_TRUE(IsUserAdmin());
    }
    platform::TScopedSysCalls scope(user);
    EXPECT_FALSE(IsUserAdmin());
}
