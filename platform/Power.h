#pragma once

#include <string>

namespace platform {

// The outcome of a power action: success, or the reason it failed.
struct TPowerResult {
    bool Succeeded = false;
    std::string ErrorText;
};

// The machine's power actions and the end of the user's session, through the login manager
// (systemd-logind) on the system bus. Where there is no system bus or no login manager
// (containers, build machines) every action is unavailable and fails with its reason; no
// call waits longer than a few seconds for an answer.
//
// Later code calls the actions through PowerService(); tests derive from this class and
// install their replacement with TScopedPowerService.
class TPowerService {
public:
    virtual ~TPowerService() = default;

    // Whether the action is offered to this user: allowed outright or after the login
    // manager's own authorisation check.
    virtual bool CanPowerOff();
    virtual bool CanSuspend();
    virtual bool CanHibernate();
    // Whether the session this program runs in can be found.
    virtual bool CanLogOff();

    virtual TPowerResult PowerOff();
    virtual TPowerResult Suspend();
    virtual TPowerResult Hibernate();
    // Ends the session this program runs in (and with it this program).
    virtual TPowerResult LogOff();
};

// The service in force.
TPowerService& PowerService();

// Installs a replacement for the lifetime of the object and restores the previous one.
class TScopedPowerService {
public:
    explicit TScopedPowerService(TPowerService& replacement);
    ~TScopedPowerService();
    TScopedPowerService(const TScopedPowerService&) = delete;
    TScopedPowerService& operator=(const TScopedPowerService&) = delete;

private:
    TPowerService* FPrevious;
};

// Whether this user may shut the machine down: power-off is available.
bool HasShutdownRights();

// Symbolic links need no special rights on Linux.
constexpr bool CanCreateSymlinks()
{
    return true;
}

} // namespace platform
