#include "platform/Process.h"

#include "platform/SysCalls.h"

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace platform {

namespace {

void WaitForExit(pid_t pid)
{
    int status = 0;
    while (Sys().WaitPid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Spawn attributes that give the child a clean signal state: nothing blocked, and SIGPIPE
// at its default even when this process ignores it.
class TSpawnAttributes {
public:
    TSpawnAttributes() { FValid = ::posix_spawnattr_init(&FAttributes) == 0; }
    ~TSpawnAttributes()
    {
        if (FValid) {
            ::posix_spawnattr_destroy(&FAttributes);
        }
    }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;

    const posix_spawnattr_t* Get()
    {
        if (!FValid) {
            return nullptr;
        }
        sigset_t none;
        sigset_t defaults;
        ::sigemptyset(&none);
        ::sigemptyset(&defaults);
        ::sigaddset(&defaults, SIGPIPE);
        ::posix_spawnattr_setsigmask(&FAttributes, &none);
        ::posix_spawnattr_setsigdefault(&FAttributes, &defaults);
        ::posix_spawnattr_setflags(&FAttributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        return &FAttributes;
    }

private:
    posix_spawnattr_t FAttributes{};
    bool FValid = false;
};

} // namespace

bool StartProcess(const std::string& program, const std::vector<std::string>& args, bool wait)
{
    if (program.empty()) {
        return false;
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    TSpawnAttributes attributes;
    pid_t pid = 0;
    if (Sys().PosixSpawnp(&pid, program.c_str(), nullptr, attributes.Get(), argv.data(),
                          environ) != 0) {
        return false;
    }
    if (wait) {
        WaitForExit(pid);
        return true;
    }
    // Reap the child when it ends so that it does not linger as a zombie while we run.
    try {
        std::thread(WaitForExit, pid).detach();
    } catch (...) {
        // Without a thread the child stays a zombie until the program ends; it still runs.
    }
    return true;
}

} // namespace platform
