#include "platform/SpecialFolders.h"
#include "platform/PathText.h"

#include "platform/SysCalls.h"
#include "platform/TextFile.h"

#include <pwd.h>

#include <cstdlib>
#include <string_view>

namespace platform {

namespace {

// An environment variable that holds an absolute path, else empty (the XDG rules ignore a
// relative one).
std::string AbsoluteFromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (value && value[0] == '/') {
        return value;
    }
    return {};
}

bool IsFolder(const std::string& path)
{
    struct statx facts {};
    return Sys().Statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &facts) == 0 &&
           S_ISDIR(facts.stx_mode);
}

// A home folder that the user folders may fall back to: known and not the root.
bool IsUsableHome(const std::string& home)
{
    return !home.empty() && home != "/";
}

bool StartsWithFolder(const std::string& path, const std::string& folder)
{
    return path.compare(0, folder.size(), folder) == 0;
}

// The value of one line of user-dirs.dirs, written as in a shell: "..." with backslash
// escapes, or a bare word.
std::string UnquoteValue(std::string_view value)
{
    std::string result;
    if (value.empty() || value.front() != '"') {
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
            value.remove_suffix(1);
        }
        return std::string(value);
    }
    for (std::size_t i = 1; i < value.size(); ++i) {
        char c = value[i];
        if (c == '"') {
            break;
        }
        if (c == '\\' && i + 1 < value.size()) {
            c = value[++i];
        }
        result += c;
    }
    return result;
}

// The value configured for key in user-dirs.dirs, "$HOME" expanded, without a trailing "/";
// empty when the key is missing or its value is neither "$HOME/..." nor absolute.
std::string ReadUserDirsValue(const std::string& key, const std::string& home)
{
    std::string configHome = ConfigHome();
    if (configHome.empty()) {
        return {};
    }
    std::string text;
    if (ReadTextFile(configHome + "user-dirs.dirs", text, 256 * 1024)) {
        return {};
    }
    std::string found;
    std::string_view rest(text);
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || line.substr(0, equals) != key) {
            continue;
        }
        // A later line overrides an earlier one, as the shell would read the file.
        found = UnquoteValue(line.substr(equals + 1));
    }
    if (found.rfind("$HOME", 0) == 0 && (found.size() == 5 || found[5] == '/')) {
        if (!IsUsableHome(home)) {
            return {};
        }
        return WithoutTrailingSlashes(WithoutTrailingSlashes(home) + found.substr(5));
    }
    if (!found.empty() && found.front() == '/') {
        return WithoutTrailingSlashes(found);
    }
    return {};
}

std::string UserFolder(const char* key, const char* usualName)
{
    std::string configured = ConfiguredUserFolder(key);
    if (!configured.empty()) {
        return configured;
    }
    std::string home = HomeFolder();
    if (!IsUsableHome(home)) {
        return {};
    }
    std::string usual = home + usualName;
    if (IsFolder(usual)) {
        return usual + "/";
    }
    return home;
}

std::string BaseFolder(const char* variable, const char* belowHome)
{
    std::string folder = AbsoluteFromEnvironment(variable);
    if (!folder.empty()) {
        return WithTrailingSlash(folder);
    }
    std::string home = HomeFolder();
    if (home.empty()) {
        return {};
    }
    return home + belowHome;
}

} // namespace

std::string HomeFolder()
{
    std::string home = AbsoluteFromEnvironment("HOME");
    if (home.empty()) {
        struct passwd entry {};
        struct passwd* result = nullptr;
        char buffer[4096];
        if (::getpwuid_r(Sys().GetEuid(), &entry, buffer, sizeof buffer, &result) == 0 &&
            result && result->pw_dir && result->pw_dir[0] == '/') {
            home = result->pw_dir;
        }
    }
    return WithTrailingSlash(WithoutTrailingSlashes(home));
}

std::string ConfiguredUserFolder(const std::string& key)
{
    std::string folder = ReadUserDirsValue(key, HomeFolder());
    if (folder.empty() || !IsFolder(folder)) {
        return {};
    }
    return WithTrailingSlash(folder);
}

std::string DocumentsFolder()
{
    return UserFolder("XDG_DOCUMENTS_DIR", "Documents");
}

std::string DownloadsFolder()
{
    return UserFolder("XDG_DOWNLOAD_DIR", "Downloads");
}

std::string DesktopFolder()
{
    return UserFolder("XDG_DESKTOP_DIR", "Desktop");
}

std::string ConfigHome()
{
    return BaseFolder("XDG_CONFIG_HOME", ".config/");
}

std::string DataHome()
{
    return BaseFolder("XDG_DATA_HOME", ".local/share/");
}

std::string CacheHome()
{
    return BaseFolder("XDG_CACHE_HOME", ".cache/");
}

TProtectedFolders ProtectedFolders()
{
    TProtectedFolders folders;
    std::string home = HomeFolder();
    if (IsUsableHome(home)) {
        folders.ProfilesRoot = "/home/";
        folders.OwnProfile = home;
        if (home != "/root/") {
            folders.OtherProfiles.push_back("/root/");
        }
        for (const char* below : {".config/", ".local/", ".cache/"}) {
            folders.ApplicationData.push_back(home + below);
        }
    }
    // The XDG base folders where they are moved elsewhere; one that is "/", the home folder
    // or a folder above it would cover everything and is left out.
    for (const std::string& base : {ConfigHome(), DataHome(), CacheHome()}) {
        if (base.empty() || base == "/" || (!home.empty() && StartsWithFolder(home, base))) {
            continue;
        }
        bool covered = false;
        for (const std::string& known : folders.ApplicationData) {
            covered = covered || StartsWithFolder(base, known);
        }
        if (!covered) {
            folders.ApplicationData.push_back(base);
        }
    }
    folders.System = {"/usr/",   "/etc/",    "/boot/", "/bin/", "/sbin/", "/lib/", "/lib32/",
                      "/lib64/", "/libx32/", "/opt/",  "/var/", "/srv/",  "/snap/"};
    return folders;
}

} // namespace platform
