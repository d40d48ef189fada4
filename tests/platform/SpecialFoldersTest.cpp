#include "platform/SpecialFolders.h"

#include "tests/support/TempTree.h"
#include "tests/support/TestEnvironment.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

using testing_support::TTempTree;
using testing_support::TTestEnvironment;

namespace {

// Sets (or, with no value, removes) an environment variable and restores it afterwards.
class TScopedVariable {
public:
    TScopedVariable(const char* name, std::optional<std::string> value) : FName(name)
    {
        if (const char* old = std::getenv(name)) {
            FOld = old;
        }
        Apply(value);
    }
    ~TScopedVariable() { Apply(FOld); }
    TScopedVariable(const TScopedVariable&) = delete;
    TScopedVariable& operator=(const TScopedVariable&) = delete;

private:
    void Apply(const std::optional<std::string>& value)
    {
        if (value) {
            ::setenv(FName, value->c_str(), 1);
        } else {
            ::unsetenv(FName);
        }
    }
    const char* FName;
    std::optional<std::string> FOld;
};

// Writes the user-dirs file for one test and puts the sandbox's usual one back afterwards.
class TScopedUserDirs {
public:
    explicit TScopedUserDirs(const std::string& lines) { TTestEnvironment::WriteUserDirs(lines); }
    ~TScopedUserDirs()
    {
        TTestEnvironment::WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n"
                                        "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                                        "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
    }
    TScopedUserDirs(const TScopedUserDirs&) = delete;
    TScopedUserDirs& operator=(const TScopedUserDirs&) = delete;
};

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

TEST(SpecialFolders, UserFoldersComeFromTheUserDirsFileWithHomeExpanded)
{
    const std::string home = TTestEnvironment::Home();
    TTempTree elsewhere;
    elsewhere.AddFolder("dl");
    const std::string documents = home + "My \"Docs\"";
    std::filesystem::create_directories(documents);

    TScopedUserDirs dirs("# written by the desktop\n"
                         "XDG_DOCUMENTS_DIR=\"$HOME/Old\"\n"
                         "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n"
                         "XDG_DOWNLOAD_DIR=\"" +
                         elsewhere.Path("dl") +
                         "/\"\n"
                         "XDG_DESKTOP_DIR=\"$HOME/NoSuchFolder\"\n");
    EXPECT_EQ(platform::DocumentsFolder(), home + "My \"Docs\"/");
    EXPECT_EQ(platform::DownloadsFolder(), elsewhere.Path("dl") + "/");
    // Configured but missing: the usual folder of the home, which the sandbox has.
    EXPECT_EQ(platform::ConfiguredUserFolder("XDG_DESKTOP_DIR"), "");
    EXPECT_EQ(platform::DesktopFolder(), home + "Desktop/");
    std::filesystem::remove(documents);
}

TEST(SpecialFolders, WithoutAnyUserFolderTheHomeFolderStandsIn)
{
    TTempTree bareHome;
    TScopedVariable homeVariable("HOME", bareHome.Root());
    TScopedVariable config("XDG_CONFIG_HOME", std::nullopt);

    EXPECT_EQ(platform::HomeFolder(), bareHome.Root());
    EXPECT_EQ(platform::DocumentsFolder(), bareHome.Root());
    EXPECT_EQ(platform::DownloadsFolder(), bareHome.Root());
    EXPECT_EQ(platform::DesktopFolder(), bareHome.Root());

    // A folder of the usual name is taken when nothing is configured.
    bareHome.AddFolder("Documents");
    EXPECT_EQ(platform::DocumentsFolder(), bareHome.Root() + "Documents/");
}

TEST(SpecialFolders, AHomeOfRootOrNoneGivesNoUserFolderAtAll)
{
    {
        TScopedVariable homeVariable("HOME", "/");
        EXPECT_EQ(platform::HomeFolder(), "/");
        EXPECT_EQ(platform::DocumentsFolder(), "");
        EXPECT_EQ(platform::DesktopFolder(), "");
    }
    // An unset or relative HOME falls back to the user database, which always names an
    // absolute folder for the running user.
    for (std::optional<std::string> value : {std::optional<std::string>(),
                                             std::optional<std::string>("relative/home")}) {
        TScopedVariable homeVariable("HOME", value);
        std::string home = platform::HomeFolder();
        ASSERT_FALSE(home.empty());
        EXPECT_EQ(home.front(), '/');
        EXPECT_EQ(home.back(), '/');
    }
}

TEST(SpecialFolders, BaseFoldersTakeAbsoluteVariablesOnly)
{
    TScopedVariable homeVariable("HOME", "/home/alice");
    {
        TScopedVariable config("XDG_CONFIG_HOME", "/srv/config");
        TScopedVariable data("XDG_DATA_HOME", "relative/data");
        TScopedVariable cache("XDG_CACHE_HOME", std::nullopt);
        EXPECT_EQ(platform::ConfigHome(), "/srv/config/");
        EXPECT_EQ(platform::DataHome(), "/home/alice/.local/share/");
        EXPECT_EQ(platform::CacheHome(), "/home/alice/.cache/");
    }
}

TEST(SpecialFolders, ProtectedFoldersNameOtherHomesApplicationDataAndTheSystem)
{
    TScopedVariable homeVariable("HOME", "/home/alice/");
    TScopedVariable config("XDG_CONFIG_HOME", "/srv/alice-config");
    TScopedVariable data("XDG_DATA_HOME", "/");             // would cover everything
    TScopedVariable cache("XDG_CACHE_HOME", "/home/alice/.cache/x"); // already covered

    platform::TProtectedFolders folders = platform::ProtectedFolders();
    EXPECT_EQ(folders.ProfilesRoot, "/home/");
    EXPECT_EQ(folders.OwnProfile, "/home/alice/");
    EXPECT_EQ(folders.OtherProfiles, std::vector<std::string>{"/root/"});
    EXPECT_EQ(folders.ApplicationData,
              (std::vector<std::string>{"/home/alice/.config/", "/home/alice/.local/",
                                        "/home/alice/.cache/", "/srv/alice-config/"}));
    for (const char* system : {"/usr/", "/etc/", "/boot/", "/bin/", "/sbin/", "/lib/", "/lib64/",
                               "/opt/", "/var/", "/srv/", "/snap/"}) {
        EXPECT_TRUE(Contains(folders.System, system)) << system;
    }
    for (const std::string& folder : folders.System) {
        EXPECT_EQ(folder.back(), '/');
    }

    {
        TScopedVariable rootHome("HOME", "/root");
        EXPECT_TRUE(platform::ProtectedFolders().OtherProfiles.empty());
    }
    {
        // An unusable home switches the home rules off instead of matching everything.
        TScopedVariable noHome("HOME", "/");
        platform::TProtectedFolders off = platform::ProtectedFolders();
        EXPECT_EQ(off.ProfilesRoot, "");
        EXPECT_EQ(off.OwnProfile, "");
        EXPECT_TRUE(off.OtherProfiles.empty());
        EXPECT_FALSE(Contains(off.ApplicationData, "/"));
    }
}
