#pragma once

#include <string>
#include <vector>

namespace platform {

// The user's folders, each ending with "/". They are looked up on every call (nothing is
// cached), from the environment and the XDG user-directory file.

// $HOME, else the home folder of the user database; empty when neither names an absolute
// folder.
std::string HomeFolder();

// The folder that $XDG_CONFIG_HOME/user-dirs.dirs configures for the key (e.g.
// "XDG_DOCUMENTS_DIR"), with "$HOME" expanded, when it exists; empty when it is not
// configured, is neither "$HOME/..." nor an absolute path, or does not exist.
std::string ConfiguredUserFolder(const std::string& key);

// Documents, Downloads and Desktop: the configured folder; else the folder of the usual
// name in the home folder ("Documents", "Downloads", "Desktop") when it exists; else the
// home folder. Never "/" alone: empty when the home folder is unknown or is "/".
std::string DocumentsFolder();
std::string DownloadsFolder();
std::string DesktopFolder();

// The XDG base folders: the variable when it holds an absolute path, else the default
// below the home folder (~/.config, ~/.local/share, ~/.cache); empty when neither is known.
std::string ConfigHome();
std::string DataHome();
std::string CacheHome();

// The folders that "protect system files and folders" keeps out of a scan. Every entry ends
// with "/"; a rule whose folder cannot be found is left empty (switched off) rather than
// matching everything.
struct TProtectedFolders {
    // The folder that holds the users' homes ("/home/") and the user's own home: a folder
    // below ProfilesRoot that is not below OwnProfile is another user's home. Both are
    // empty when the own home is unknown or is "/".
    std::string ProfilesRoot;
    std::string OwnProfile;
    // Other homes outside ProfilesRoot: "/root/" when it is not the user's own home.
    std::vector<std::string> OtherProfiles;
    // The user's application data: ~/.config/, ~/.local/, ~/.cache/ and the XDG base
    // folders where they are set elsewhere.
    std::vector<std::string> ApplicationData;
    // The installed system: /usr/, /etc/, /boot/, /bin/, /sbin/, /lib/, /lib32/, /lib64/,
    // /libx32/, /opt/, /var/, /srv/, /snap/.
    std::vector<std::string> System;
};

TProtectedFolders ProtectedFolders();

} // namespace platform
