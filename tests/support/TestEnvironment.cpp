#include "tests/support/TestEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace testing_support {

namespace {
std::string& RootText()
{
    static std::string root;
    return root;
}
} // namespace

void TTestEnvironment::SetUp()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/pairloom-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        throw std::runtime_error("cannot create the test sandbox " + pattern);
    }
    RootText() = std::string(buffer.data()) + "/";
    const std::string& root = RootText();
    for (const char* folder : {"home", "home/.config", "home/.local/share", "home/.cache",
                               "home/Documents", "home/Downloads", "home/Desktop", "tmp",
                               "runtime"}) {
        fs::create_directories(root + folder);
    }
    ::chmod((root + "runtime").c_str(), 0700);
    ::setenv("HOME", (root + "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "home/.config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "home/.local/share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root + "home/.cache").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root + "runtime").c_str(), 1);
    ::setenv("TMPDIR", (root + "tmp").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Date and number texts in the tests are written for this locale and zone unless a test
    // changes them itself.
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n"
                  "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                  "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
}

void TTestEnvironment::TearDown()
{
    if (RootText().empty()) {
        return;
    }
    std::error_code ec;
    fs::remove_all(RootText(), ec);
}

const std::string& TTestEnvironment::Root()
{
    return RootText();
}

std::string TTestEnvironment::Home()
{
    return RootText() + "home/";
}

std::string TTestEnvironment::ConfigHome()
{
    return RootText() + "home/.config/";
}

std::string TTestEnvironment::DataHome()
{
    return RootText() + "home/.local/share/";
}

void TTestEnvironment::WriteUserDirs(const std::string& lines)
{
    std::string path = ConfigHome() + "user-dirs.dirs";
    if (lines.empty()) {
        std::error_code ec;
        fs::remove(path, ec);
        return;
    }
    std::ofstream(path, std::ios::trunc) << lines;
}

} // namespace testing_support
