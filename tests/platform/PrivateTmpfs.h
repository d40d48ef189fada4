#pragma once

// Runs a check on a file system of its own: a forked child enters a private mount namespace
// (a user namespace as well when not root), mounts a fresh tmpfs on a folder and runs the
// check there, so the test sees a real second file system and leaves no mount behind.

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

inline bool WriteWholeFile(const char* path, const std::string& text)
{
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// The text the check returned: empty when all was well, else what failed; "SKIP: " and the
// reason when the system refused the namespace or the mount.
inline std::string RunWithPrivateTmpfs(
    const std::string& mountPoint, const std::function<std::string()>& check)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        return std::string("SKIP: pipe: ") + std::strerror(errno);
    }
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        return std::string("SKIP: fork: ") + std::strerror(errno);
    }
    if (child == 0) {
        ::close(channel[0]);
        std::string result;
        auto refused = [&result](const char* step) {
            result = std::string("SKIP: ") + step + ": " + std::strerror(errno);
        };
        if (uid != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
                refused("unshare");
            } else if (!WriteWholeFile("/proc/self/setgroups", "deny") ||
                !WriteWholeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
                !WriteWholeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
                refused("user namespace map");
            }
        } else if (::unshare(CLONE_NEWNS) != 0) {
            refused("unshare");
        }
        if (result.empty() && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            refused("private mounts");
        }
        if (result.empty() &&
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64m,mode=0777") != 0) {
            refused("mount tmpfs");
        }
        if (result.empty()) {
            result = check();
        }
        std::size_t done = 0;
        while (done < result.size()) {
            ssize_t written = ::write(channel[1], result.data() + done, result.size() - done);
            if (written <= 0) {
                break;
            }
            done += static_cast<std::size_t>(written);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[4096];
    for (;;) {
        ssize_t count = ::read(channel[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        result.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "the child running the check did not end normally";
    }
    return result;
}

} // namespace testing_support
