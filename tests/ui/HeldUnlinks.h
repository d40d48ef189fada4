#pragma once

#include "platform/SysCalls.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace testing_support {

// Holds every unlink until the test lets it go, so a run can be caught while it goes on.
class THeldUnlinks : public platform::TSysCalls {
public:
    int Unlink(const char* path) override
    {
        {
            std::unique_lock lock(FLock);
            ++FWaiting;
            FChanged.notify_all();
            FChanged.wait_for(lock, std::chrono::seconds(20), [this] { return FReleased; });
        }
        return TSysCalls::Unlink(path);
    }
    void Release()
    {
        std::lock_guard guard(FLock);
        FReleased = true;
        FChanged.notify_all();
    }
    // The unlinks that have come so far.
    int WaitingNow()
    {
        std::lock_guard guard(FLock);
        return FWaiting;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    int FWaiting = 0;
    bool FReleased = false;
};

} // namespace testing_support
