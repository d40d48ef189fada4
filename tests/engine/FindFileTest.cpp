#include "engine/FindFile.h"

#include "engine/Filter.h"
#include "platform/DirList.h"
#include "platform/SysCalls.h"
#include "tests/support/TempTree.h"
#include "tests/support/TestEnvironment.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using testing_support::TTempTree;
using testing_support::TTestEnvironment;
using Paths = std::vector<std::string>;

namespace {

// Makes opening one folder fail, as for a folder that may not be read, and counts the
// folders opened.
class TFailingFolderOpen : public platform::TSysCalls {
public:
    std::string FailingFolder; // without trailing "/"
    int Error = EACCES;
    std::function<void(const std::string&)> OnOpenFolder;

    int Open(const char* path, int flags, mode_t mode) override
    {
        std::string folder = path;
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        if ((flags & O_DIRECTORY) != 0) {
            if (OnOpenFolder) {
                OnOpenFolder(folder);
            }
            if (folder == FailingFolder) {
                errno = Error;
                return -1;
            }
        }
        return platform::TSysCalls::Open(path, flags, mode);
    }
};

// A temporary tree, a searcher whose protected folders lie in that tree, and helpers to run
// it and read what it reported as paths relative to the tree.
class FindFileTest : public ::testing::Test {
protected:
    TTempTree Tree;
    // The tree's root as links resolve it, ending with "/".
    std::string Root = std::filesystem::canonical(Tree.Root()).string() + "/";

    // Protected folders of a made-up system inside the tree: homes under home/ (the own one
    // home/me/), another home at root/, application data in home/me/.config/, the system in
    // usr/ and var/; the Desktop at home/me/Desktop/.
    TSearchSpecialFolders TreeFolders() const
    {
        TSearchSpecialFolders folders;
        folders.Protected.ProfilesRoot = Root + "home/";
        folders.Protected.OwnProfile = Root + "home/me/";
        folders.Protected.OtherProfiles = {Root + "root/"};
        folders.Protected.ApplicationData = {Root + "home/me/.config/"};
        folders.Protected.System = {Root + "usr/", Root + "var/"};
        folders.Desktop = Root + "home/me/Desktop/";
        return folders;
    }

    std::string Rel(const std::string& path) const
    {
        return path.rfind(Root, 0) == 0 ? path.substr(Root.size()) : path;
    }

    // Every file the search reports, relative to the tree, in the order reported.
    Paths Found(TFindFile& searcher)
    {
        Paths found;
        searcher.OnNewFileEvent = [&](const std::string& folder, const platform::TFindRecord& r) {
            EXPECT_EQ(folder.back(), '/');
            found.push_back(Rel(folder + r.Name));
        };
        searcher.Execute();
        return found;
    }

    // A recursive search of every file below the roots (relative to the tree).
    Paths FindAll(TFindFile& searcher, const Paths& roots)
    {
        searcher.Recurse = true;
        searcher.SetFilters({"*.*"});
        searcher.Folders.clear();
        for (const std::string& root : roots) {
            searcher.Folders.push_back(Root + root);
        }
        return Found(searcher);
    }

    Paths Relative(const std::set<std::string>& folders) const
    {
        Paths result;
        for (const std::string& folder : folders) {
            result.push_back(Rel(folder));
        }
        return result;
    }
};

} // namespace

TEST_F(FindFileTest, ExtensionPatternsSelectFilesByLowerCaseExtension)
{
    for (const char* name : {"a.txt", "b.TXT", "c.jpg", "noext", ".bashrc", "d.tar.gz"}) {
        Tree.AddFile(std::string("r/") + name, "x");
    }
    const struct {
        Paths Filters;
        Paths Expected;
    } cases[] = {
        {{}, {}},
        {{"*.*"}, {"r/.bashrc", "r/a.txt", "r/b.TXT", "r/c.jpg", "r/d.tar.gz", "r/noext"}},
        {{"*"}, {"r/.bashrc", "r/noext"}},
        {{"*.txt"}, {"r/a.txt", "r/b.TXT"}},
        {{"*.TXT", "*.txt"}, {"r/a.txt", "r/b.TXT"}},
        {{"*.jpg", "*.gz"}, {"r/c.jpg", "r/d.tar.gz"}},
        {{"*.tar.gz"}, {}},
    };
    for (const auto& c : cases) {
        TFindFile searcher(TreeFolders());
        searcher.SetFilters(c.Filters);
        searcher.Folders = {Root + "r/"};
        EXPECT_EQ(Found(searcher), c.Expected) << ::testing::PrintToString(c.Filters);
    }
}

TEST_F(FindFileTest, AttributesDecideWhetherHiddenFilesAreTakenAndFoldersNeverAre)
{
    Tree.AddFile("r/.hidden", "x");
    Tree.AddFile("r/plain", "x");
    Tree.AddFile("r/.dir/inner", "x");
    Tree.AddFolder("r/.emptydir");
    constexpr TAttrOptions noHidden = DefaultAttributes & ~AttrOptionBit(ffHidden);
    constexpr TAttrOptions withFolders = DefaultAttributes | AttrOptionBit(ffDirectory);
    const struct {
        TAttrOptions Attributes;
        Paths Expected;
    } cases[] = {
        {DefaultAttributes, {"r/.hidden", "r/plain", "r/.dir/inner"}},
        // Hidden folders are still walked: the mask applies to the files of a folder.
        {noHidden, {"r/plain", "r/.dir/inner"}},
        {withFolders, {"r/.hidden", "r/plain", "r/.dir/inner"}},
        {AttrOptionBit(ffReadOnly), {"r/plain", "r/.dir/inner"}},
    };
    for (const auto& c : cases) {
        TFindFile searcher(TreeFolders());
        searcher.Attributes = c.Attributes;
        EXPECT_EQ(FindAll(searcher, {"r/"}), c.Expected) << int(c.Attributes);
    }
}

TEST_F(FindFileTest, ZeroSizeFilesAreSkippedOnlyWhenAsked)
{
    Tree.AddFile("r/empty", "");
    Tree.AddFile("r/full", "x");
    const struct {
        bool Skip;
        Paths Expected;
    } cases[] = {
        {false, {"r/empty", "r/full"}},
        {true, {"r/full"}},
    };
    for (const auto& c : cases) {
        TFindFile searcher(TreeFolders());
        searcher.SkipZeroSizeFiles = c.Skip;
        EXPECT_EQ(FindAll(searcher, {"r/"}), c.Expected) << c.Skip;
    }
}

TEST_F(FindFileTest, OnlyRegularFilesAreReportedAndAFifoDoesNotBlock)
{
    Tree.AddFile("r/file", "x");
    Tree.AddSymlink("r/link-to-file", Root + "r/file");
    Tree.AddSymlink("r/dangling", Root + "r/missing");
    Tree.AddFifo("r/fifo");
    Tree.AddFifo("r/sub/fifo.txt");
    Tree.AddFile("r/sub/after", "x");
    TFindFile searcher(TreeFolders());
    EXPECT_EQ(FindAll(searcher, {"r/"}), (Paths {"r/file", "r/sub/after"}));
}

TEST_F(FindFileTest, ShortcutsOnTheDesktopAreLeftOutOnlyWhenEveryFileIsWanted)
{
    Tree.AddFile("home/me/Desktop/App.LNK", "x");
    Tree.AddFile("home/me/Desktop/sub/b.lnk", "x");
    Tree.AddFile("home/me/Desktop/note.txt", "x");
    Tree.AddFile("home/me/other.lnk", "x");
    const struct {
        Paths Filters;
        std::string Desktop;
        Paths Expected;
    } cases[] = {
        {{"*.*"}, Root + "home/me/Desktop/", {"home/me/other.lnk", "home/me/Desktop/note.txt"}},
        {{"*.lnk"}, Root + "home/me/Desktop/",
            {"home/me/other.lnk", "home/me/Desktop/App.LNK", "home/me/Desktop/sub/b.lnk"}},
        // An unknown Desktop (or "/") switches the rule off.
        {{"*.*"}, "",
            {"home/me/other.lnk", "home/me/Desktop/App.LNK", "home/me/Desktop/note.txt",
                "home/me/Desktop/sub/b.lnk"}},
        {{"*.*"}, "/",
            {"home/me/other.lnk", "home/me/Desktop/App.LNK", "home/me/Desktop/note.txt",
                "home/me/Desktop/sub/b.lnk"}},
    };
    for (const auto& c : cases) {
        TSearchSpecialFolders folders = TreeFolders();
        folders.Desktop = c.Desktop;
        TFindFile searcher(folders);
        searcher.Recurse = true;
        searcher.SetFilters(c.Filters);
        searcher.Folders = {Root + "home/me/"};
        EXPECT_EQ(Found(searcher), c.Expected) << c.Desktop;
    }
}

TEST(FindFileSpecialFolders, TheDesktopRuleIsOffWhenTheDesktopIsTheHomeFolder)
{
    // Puts the sandbox's user folders back however the test ends.
    struct TRestoreUserDirs {
        ~TRestoreUserDirs()
        {
            TTestEnvironment::WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n"
                                            "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                                            "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
        }
    } restore;
    const std::string home = TTestEnvironment::Home();
    EXPECT_EQ(TFindFile::CurrentSpecialFolders().Desktop, home + "Desktop/");
    TTestEnvironment::WriteUserDirs("XDG_DESKTOP_DIR=\"$HOME\"\n");
    EXPECT_EQ(TFindFile::CurrentSpecialFolders().Desktop, "");
}

TEST(FindFileSpecialFolders, TheUsersOwnFoldersAndTheSystemAreClassifiedAsProtectedOrNot)
{
    const std::string home = TTestEnvironment::Home();
    TFindFile searcher;
    const struct {
        std::string Folder;
        bool System;
    } cases[] = {
        {home, false},
        {home + "Documents/", false},
        {home + ".config/", true},
        {home + ".local/share/x/", true},
        {home + ".cache/", true},
        {"/home/", true},
        {"/home/someone-else/", true},
        {"/usr/", true},
        {"/usr/share/doc/", true},
        {"/etc/", true},
        {"/var/lib/", true},
        {"/opt/app/", true},
        {"/usrdata/", false},
        {"/media/disk/", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(searcher.IsSystemFolder(c.Folder), c.System) << c.Folder;
    }
}

TEST(FindFileSpecialFolders, SystemFolderTestFollowsTheRulesAndRecordsWhatItProtects)
{
    TSearchSpecialFolders usual;
    usual.Protected.ProfilesRoot = "/home";
    usual.Protected.OwnProfile = "/home/me";
    usual.Protected.OtherProfiles = {"/root/"};
    usual.Protected.ApplicationData = {"/home/me/.config/", "/srv/xdg-data/"};
    usual.Protected.System = {"/usr/", "/var/"};
    // The own home below a system folder: the home is not protected, its data is.
    TSearchSpecialFolders homeInVar = usual;
    homeInVar.Protected.OwnProfile = "/var/lib/me/";
    homeInVar.Protected.ApplicationData = {"/var/lib/me/.config/"};
    // Unknown special folders switch their rules off instead of matching every path.
    TSearchSpecialFolders unknown;
    unknown.Protected.ProfilesRoot = "/";
    unknown.Protected.OtherProfiles = {"", "/"};
    unknown.Protected.ApplicationData = {""};
    unknown.Protected.System = {"/"};

    const struct {
        const TSearchSpecialFolders* Folders;
        std::string Folder;
        bool System;
    } cases[] = {
        {&usual, "/home/", true},
        {&usual, "/home/other/", true},
        {&usual, "/home/other/Documents/", true},
        {&usual, "/home/me/", false},
        {&usual, "/home/me/Documents/", false},
        {&usual, "/home/me/.config/", true},
        {&usual, "/home/me/.configs/", false},
        {&usual, "/home/meadow/", true},
        {&usual, "/srv/xdg-data/app/", true},
        {&usual, "/root/", true},
        {&usual, "/rooted/", false},
        {&usual, "/usr/lib/", true},
        {&usual, "/usr2/", false},
        {&usual, "/var/", true},
        {&usual, "/data/", false},
        {&homeInVar, "/var/lib/me/", false},
        {&homeInVar, "/var/lib/me/photos/", false},
        {&homeInVar, "/var/lib/me/.config/", true},
        {&homeInVar, "/var/lib/other/", true},
        {&homeInVar, "/home/me/", true},
        {&unknown, "/home/x/", false},
        {&unknown, "/usr/", false},
        {&unknown, "/root/", false},
    };
    for (const auto& c : cases) {
        TFindFile searcher(*c.Folders);
        EXPECT_EQ(searcher.IsSystemFolder(c.Folder), c.System) << c.Folder;
        const std::set<std::string> expected =
            c.System ? std::set<std::string> {c.Folder} : std::set<std::string> {};
        EXPECT_EQ(searcher.SkippedFolders, expected) << c.Folder;
    }
}

TEST_F(FindFileTest, ProtectionSkipsProtectedFoldersBelowARootButNeverTheRootItself)
{
    Tree.AddFile("home/top", "x");
    Tree.AddFile("home/me/doc", "x");
    Tree.AddFile("home/me/.config/app", "x");
    Tree.AddFile("home/other/secret", "x");
    Tree.AddFile("home/other/sub/deep", "x");
    Tree.AddFile("usr/bin-file", "x");
    Tree.AddFile("usr/lib/lib", "x");
    Tree.AddFile("data/d", "x");
    const struct {
        std::string Root;
        bool Recurse;
        bool Protect;
        Paths Expected;
        Paths Skipped;
    } cases[] = {
        {"", true, true, {"data/d", "home/me/doc"},
            {"home/", "home/me/.config/", "home/other/", "home/other/sub/", "usr/", "usr/lib/"}},
        {"", true, false,
            {"data/d", "home/top", "usr/bin-file", "home/me/doc", "home/other/secret",
                "usr/lib/lib", "home/me/.config/app", "home/other/sub/deep"},
            {}},
        // A protected root is searched; what is protected below it is not.
        {"home/", true, true, {"home/top", "home/me/doc"},
            {"home/me/.config/", "home/other/", "home/other/sub/"}},
        {"home/", false, true, {"home/top"}, {}},
        {"usr/", true, true, {"usr/bin-file"}, {"usr/lib/"}},
        {"home/other/", true, true, {"home/other/secret"}, {"home/other/sub/"}},
    };
    for (const auto& c : cases) {
        TFindFile searcher(TreeFolders());
        searcher.SkipSystemFolders = c.Protect;
        searcher.Recurse = c.Recurse;
        searcher.SetFilters({"*.*"});
        searcher.Folders = {Root + c.Root};
        EXPECT_EQ(Found(searcher), c.Expected) << c.Root << " " << c.Protect;
        EXPECT_EQ(Relative(searcher.SkippedFolders), c.Skipped) << c.Root << " " << c.Protect;
    }
}

TEST_F(FindFileTest, EachSearchStartsWithEmptyResultLists)
{
    Tree.AddFile("usr/lib/lib", "x");
    Tree.AddFile("data/d", "x");
    TFilter filter;
    filter.EnableFilter = true;
    filter.FiltFolders = {Root + "usr/"};
    TFindFile searcher(TreeFolders());
    searcher.SkipSystemFolders = true;
    searcher.Filter = &filter;
    searcher.Recurse = true;
    searcher.SetFilters({"*.*"});
    searcher.Folders = {Root + "usr/"};
    searcher.Execute();
    EXPECT_EQ(Relative(searcher.SkippedFolders), (Paths {"usr/lib/"}));

    searcher.SkipSystemFolders = false;
    searcher.Execute();
    EXPECT_TRUE(searcher.SkippedFolders.empty());
    EXPECT_EQ(Relative(searcher.FilteredFolders), (Paths {"usr/lib/"}));
    EXPECT_TRUE(searcher.Files.empty());

    searcher.Folders = {Root + "data/"};
    searcher.Execute();
    EXPECT_TRUE(searcher.FilteredFolders.empty());
    EXPECT_EQ(searcher.Files, (Paths {Root + "data/d"}));
}

TEST_F(FindFileTest, LinksAreFollowedOnlyWhereTheyCannotRepeatAFolder)
{
    const struct {
        const char* Name;
        std::function<void()> Build;
        Paths Roots;
        Paths Expected;
    } cases[] = {
        {"link to an ancestor",
            [&] {
                Tree.AddFile("r/a/f", "x");
                Tree.AddSymlink("r/a/up", Root + "r");
                Tree.AddSymlink("r/a/self", Root + "r/a");
            },
            {"r/"}, {"r/a/f"}},
        {"link to a folder outside every root, listed under the link's path",
            [&] {
                Tree.AddFile("r/f", "x");
                Tree.AddFile("o/g", "x");
                Tree.AddFile("o/sub/h", "x");
                Tree.AddSymlink("r/out", Root + "o");
            },
            {"r/"}, {"r/f", "r/out/g", "r/out/sub/h"}},
        {"two links to one folder",
            [&] {
                Tree.AddFile("o/g", "x");
                Tree.AddSymlink("r/l1", Root + "o");
                Tree.AddSymlink("r/l2", "../o");
                Tree.AddSymlink("r/deeper/l3", Root + "o/");
            },
            {"r/"}, {"r/l1/g"}},
        {"a link in a linked folder back into it",
            [&] {
                Tree.AddFile("o/g", "x");
                Tree.AddFile("o/sub/h", "x");
                Tree.AddSymlink("r/l", Root + "o");
                Tree.AddSymlink("o/sub/back", Root + "o");
            },
            {"r/"}, {"r/l/g", "r/l/sub/h"}},
        {"two linked folders that lead to each other",
            [&] {
                Tree.AddFile("o1/a", "x");
                Tree.AddFile("o2/b", "x");
                Tree.AddSymlink("o1/to2", Root + "o2");
                Tree.AddSymlink("o2/to1", Root + "o1");
                Tree.AddSymlink("r/l", Root + "o1");
            },
            {"r/"}, {"r/l/a", "r/l/to2/b"}},
        {"a link into another root",
            [&] {
                Tree.AddFile("r1/f", "x");
                Tree.AddFile("r2/sub/g", "x");
                Tree.AddSymlink("r1/into", Root + "r2/sub");
            },
            {"r1/", "r2/"}, {"r1/f", "r2/sub/g"}},
        {"a link into a deeper folder of its own root",
            [&] {
                Tree.AddFile("r/x/y/z/f", "x");
                Tree.AddSymlink("r/w/short", Root + "r/x/y/z");
            },
            {"r/"}, {"r/x/y/z/f"}},
        {"a link in one root to a folder that holds another root",
            [&] {
                Tree.AddFile("o/g", "x");
                Tree.AddFile("o/deep/f", "x");
                Tree.AddSymlink("r/link", Root + "o");
            },
            {"r/", "o/deep/"}, {"r/link/g", "o/deep/f"}},
        {"two roots that are one folder",
            [&] {
                Tree.AddFile("o/g", "x");
                Tree.AddSymlink("lo", Root + "o");
            },
            {"o/", "lo/"}, {"o/g"}},
        {"a link to a file",
            [&] {
                Tree.AddFile("o/g", "x");
                Tree.AddSymlink("r/file-link", Root + "o/g");
            },
            {"r/"}, {}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(Tree.Root());
        std::filesystem::create_directories(Tree.Root());
        c.Build();
        TFindFile searcher(TreeFolders());
        EXPECT_EQ(FindAll(searcher, c.Roots), c.Expected) << c.Name;
    }
}

TEST_F(FindFileTest, PseudoFileSystemsAreNeverEntered)
{
    if (!platform::IsPseudoFileSystem("/proc/")) {
        GTEST_SKIP() << "no proc file system here";
    }
    Tree.AddFile("r/f", "x");
    Tree.AddSymlink("r/p", "/proc/self");
    TFindFile searcher(TreeFolders());
    Paths folders;
    searcher.OnNewPath = [&](TFindFile&, const std::string& path, std::int32_t, bool&) {
        folders.push_back(Rel(path));
    };
    EXPECT_EQ(FindAll(searcher, {"r/"}), (Paths {"r/f"}));
    EXPECT_EQ(folders, (Paths {"r/"}));

    folders.clear();
    searcher.Folders = {"/proc/"};
    EXPECT_EQ(Found(searcher), Paths {});
    EXPECT_EQ(folders, Paths {});
}

TEST_F(FindFileTest, AFolderThatVanishesOrCannotBeReadIsPassedOver)
{
    Tree.AddFile("r/a/f", "x");
    Tree.AddFile("r/b/g", "x");
    Tree.AddFile("r/b/sub/h", "x");
    Tree.AddFile("r/c/i", "x");
    Tree.AddFile("r/top", "x");
    {
        // b vanishes after its parent has queued it.
        TFindFile searcher(TreeFolders());
        searcher.OnNewPath = [&](TFindFile&, const std::string& path, std::int32_t, bool&) {
            if (Rel(path) == "r/") {
                std::filesystem::remove_all(Root + "r/b");
            }
        };
        EXPECT_EQ(FindAll(searcher, {"r/"}), (Paths {"r/top", "r/a/f", "r/c/i"}));
    }
    Tree.AddFile("r/b/g", "x");
    Tree.AddFile("r/b/sub/h", "x");
    for (int error : {EACCES, EIO, ENOENT}) {
        TFailingFolderOpen failing;
        failing.FailingFolder = Root + "r/b";
        failing.Error = error;
        platform::TScopedSysCalls scope(failing);
        TFindFile searcher(TreeFolders());
        EXPECT_EQ(FindAll(searcher, {"r/"}), (Paths {"r/top", "r/a/f", "r/c/i"})) << error;
    }
}

TEST_F(FindFileTest, AbortEndsTheWalkAtTheNextFolder)
{
    Tree.AddFile("r1/f", "x");
    Tree.AddFile("r1/a/g", "x");
    Tree.AddFile("r1/b/h", "x");
    Tree.AddFile("r2/i", "x");
    const struct {
        std::string AbortAt; // the folder whose OnNewPath sets abort ("" none)
        bool AbortFirst; // Abort already set when Execute starts
        Paths Expected;
        Paths Announced;
    } cases[] = {
        {"", false, {"r1/f", "r1/a/g", "r1/b/h", "r2/i"}, {"r1/", "r1/a/", "r1/b/", "r2/"}},
        // Abort stays set: a later root is still opened but stops at its first folder.
        {"r1/", false, {}, {"r1/", "r2/"}},
        {"r1/a/", false, {"r1/f"}, {"r1/", "r1/a/", "r2/"}},
        {"r2/", false, {"r1/f", "r1/a/g", "r1/b/h"}, {"r1/", "r1/a/", "r1/b/", "r2/"}},
        {"", true, {}, {"r1/", "r2/"}},
    };
    for (const auto& c : cases) {
        TFindFile searcher(TreeFolders());
        searcher.Abort = c.AbortFirst;
        Paths announced;
        searcher.OnNewPath = [&](TFindFile& sender, const std::string& path, std::int32_t,
                                 bool& abort) {
            EXPECT_EQ(&sender, &searcher);
            announced.push_back(Rel(path));
            if (Rel(path) == c.AbortAt) {
                abort = true;
            }
        };
        EXPECT_EQ(FindAll(searcher, {"r1/", "r2/"}), c.Expected) << c.AbortAt;
        EXPECT_EQ(announced, c.Announced) << c.AbortAt;
    }
}

TEST_F(FindFileTest, TheSharedStopFlagEndsTheWalkAlsoInsideProtectedFolders)
{
    Tree.AddFile("usr/a/f", "x");
    Tree.AddFile("usr/b/g", "x");
    Tree.AddFile("zdata/h", "x");
    std::atomic<bool> stop {false};
    TFailingFolderOpen watching;
    Paths opened;
    watching.OnOpenFolder = [&](const std::string& folder) {
        opened.push_back(Rel(folder));
        if (Rel(folder) == "usr") {
            stop = true;
        }
    };
    platform::TScopedSysCalls scope(watching);
    TFindFile searcher(TreeFolders());
    searcher.SkipSystemFolders = true;
    searcher.AbortSignal = &stop;
    int announced = 0;
    searcher.OnNewPath = [&](TFindFile&, const std::string&, std::int32_t, bool&) { ++announced; };
    EXPECT_EQ(FindAll(searcher, {""}), Paths {});
    EXPECT_EQ(opened, (Paths {Root.substr(0, Root.size() - 1), "usr"}));
    EXPECT_EQ(announced, 1);
    EXPECT_TRUE(searcher.Abort);
}

TEST_F(FindFileTest, TheFilterLeavesFilesOutByItsModeAndRecordsExcludedFolders)
{
    Tree.AddFile("r/a.txt", "x");
    Tree.AddFile("r/a.tmp", "x");
    Tree.AddFile("r/skip/b.txt", "x");
    Tree.AddFile("r/skip/sub/c.txt", "x");
    Tree.AddFile("r/keep/d.txt", "x");
    Tree.AddFile("r/keep/e.tmp", "x");
    const struct {
        const char* Name;
        bool Enable;
        std::uint8_t Mode;
        Paths FiltFolders;
        std::string Ext;
        Paths Expected;
        Paths Filtered;
    } cases[] = {
        {"switched off", false, 0, {"r/skip/"}, "*.tmp",
            {"r/a.tmp", "r/a.txt", "r/keep/d.txt", "r/keep/e.tmp", "r/skip/b.txt",
                "r/skip/sub/c.txt"},
            {}},
        {"exclude a folder", true, 0, {"r/skip/"}, "",
            {"r/a.tmp", "r/a.txt", "r/keep/d.txt", "r/keep/e.tmp"}, {"r/skip/", "r/skip/sub/"}},
        // Only folders under a listed filter folder are recorded.
        {"exclude an extension", true, 0, {}, "*.tmp",
            {"r/a.txt", "r/keep/d.txt", "r/skip/b.txt", "r/skip/sub/c.txt"}, {}},
        {"include a folder", true, 1, {"r/keep/"}, "", {"r/keep/d.txt", "r/keep/e.tmp"}, {}},
        {"include a folder and an extension", true, 1, {"r/keep"}, "*.txt", {"r/keep/d.txt"}, {}},
    };
    for (const auto& c : cases) {
        TFilter filter;
        filter.EnableFilter = c.Enable;
        filter.FilterMode = c.Mode;
        for (const std::string& folder : c.FiltFolders) {
            filter.FiltFolders.push_back(Root + folder);
        }
        filter.SetExcludeExt(c.Ext);
        TFindFile searcher(TreeFolders());
        searcher.Filter = &filter;
        EXPECT_EQ(FindAll(searcher, {"r/"}), c.Expected) << c.Name;
        EXPECT_EQ(Relative(searcher.FilteredFolders), c.Filtered) << c.Name;
    }
}

TEST_F(FindFileTest, FilesComeBreadthFirstInByteOrderOfNames)
{
    for (const char* path : {"r/b", "r/a", "r/B", "r/\xC3\xA9", "r/a.d/x", "r/Z/y", "r/Z/A/deep",
             "r/a.d/w/deeper", "r/_/u"}) {
        Tree.AddFile(path, "x");
    }
    const Paths expected = {"r/B", "r/a", "r/b", "r/\xC3\xA9", "r/Z/y", "r/_/u", "r/a.d/x",
        "r/Z/A/deep", "r/a.d/w/deeper"};
    TFindFile searcher(TreeFolders());
    EXPECT_EQ(FindAll(searcher, {"r/"}), expected);
    EXPECT_EQ(FindAll(searcher, {"r/"}), expected);
}

TEST_F(FindFileTest, WithoutAFileHandlerFullPathsAreCollectedAndCountedPerFolder)
{
    Tree.AddFile("r/a", "x");
    Tree.AddFile("r/b", "x");
    Tree.AddFile("r/s/c", "x");
    Tree.AddFile("other/d", "x");
    const struct {
        bool Recurse;
        Paths Files;
        std::vector<std::int32_t> Counts;
    } cases[] = {
        {true, {"r/a", "r/b", "r/s/c", "other/d"}, {0, 2, 3}},
        {false, {"r/a", "r/b", "other/d"}, {0, 2}},
    };
    for (const auto& c : cases) {
        TFindFile searcher(TreeFolders());
        searcher.Recurse = c.Recurse;
        searcher.SetFilters({"*.*"});
        searcher.Directory = Root + "ignored-while-folders-are-listed/";
        searcher.Folders = {Root + "r", Root + "other"};
        std::vector<std::int32_t> counts;
        searcher.OnNewPath = [&](TFindFile&, const std::string&, std::int32_t count, bool&) {
            counts.push_back(count);
        };
        searcher.Execute();
        Paths files;
        for (const std::string& file : searcher.Files) {
            files.push_back(Rel(file));
        }
        EXPECT_EQ(files, c.Files) << c.Recurse;
        EXPECT_EQ(counts, c.Counts) << c.Recurse;
    }
}

TEST_F(FindFileTest, DirectoryIsTheRootWhenNoFoldersAreListed)
{
    Tree.AddFile("r/a", "x");
    Tree.AddFile("r/s/b", "x");
    Tree.AddFile("o/c", "x");
    Tree.AddSymlink("r/s/l", Root + "o");
    Tree.AddSymlink("r/s/t/back", Root + "r/s");
    TFindFile searcher(TreeFolders());
    searcher.Recurse = true;
    searcher.SetFilters({"*.*"});
    searcher.Directory = Root + "r";
    EXPECT_EQ(Found(searcher), (Paths {"r/a", "r/s/b", "r/s/l/c"}));
    EXPECT_TRUE(searcher.IsUnderRoot(Root + "r/s/"));
    EXPECT_FALSE(searcher.IsUnderRoot(Root + "r2/"));
}

TEST_F(FindFileTest, ListingAheadOnThreadsReportsTheSameFilesInTheSameOrder)
{
    // Wide and deep enough that the listing threads run ahead of the walk: links back into
    // the tree, a protected folder, an unreadable folder and a vanished link target included.
    for (int top = 0; top < 6; ++top) {
        for (int sub = 0; sub < 5; ++sub) {
            for (int file = 0; file < 3; ++file) {
                Tree.AddFile("r/t" + std::to_string(top) + "/s" + std::to_string(sub) + "/f" +
                        std::to_string(file),
                    "x");
            }
        }
    }
    Tree.AddFile("r/usr/lib/hidden-by-protection", "x");
    Tree.AddFile("r/locked/inside", "x");
    Tree.AddSymlink("r/t1/back-to-t0", Root + "r/t0");
    Tree.AddSymlink("r/t2/outside", Root + "elsewhere");
    Tree.AddFile("elsewhere/e", "x");
    Tree.AddSymlink("r/t3/gone", Root + "no-such-folder");

    TFailingFolderOpen calls;
    calls.FailingFolder = Root + "r/locked";
    platform::TScopedSysCalls scope(calls);
    TSearchSpecialFolders folders = TreeFolders();
    folders.Protected.System = {Root + "r/usr/"};
    auto search = [&](std::int32_t threads) {
        TFindFile searcher(folders);
        searcher.SkipSystemFolders = true;
        searcher.ListingThreads = threads;
        Paths found = FindAll(searcher, {"r/"});
        return std::make_pair(found, Relative(searcher.SkippedFolders));
    };
    const auto alone = search(0);
    EXPECT_EQ(alone.first.size(), 6u * 5u * 3u + 1u); // with elsewhere/e through the link
    EXPECT_EQ(alone.second, (Paths {"r/usr/", "r/usr/lib/"}));
    for (std::int32_t threads : {1, 3, 8}) {
        EXPECT_EQ(search(threads), alone) << threads << " listing threads";
    }
}

TEST_F(FindFileTest, AbortWhileListingAheadEndsTheWalkAndJoinsTheThreads)
{
    for (int folder = 0; folder < 40; ++folder) {
        Tree.AddFile("r/d" + std::to_string(folder) + "/f", "x");
    }
    TFindFile searcher(TreeFolders());
    searcher.ListingThreads = 4;
    searcher.OnNewPath = [](TFindFile& sender, const std::string& path, std::int32_t, bool& abort) {
        abort = sender.IsUnderRoot(path) && path.find("/d5/") != std::string::npos;
    };
    const Paths found = FindAll(searcher, {"r/"});
    // The folders before d5 in byte order (d0..d4, d10..d19, ...) are searched, none after.
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(std::count(found.begin(), found.end(), "r/d5/f"), 0);
    EXPECT_EQ(std::count(found.begin(), found.end(), "r/d6/f"), 0);
}
