#include "platform/Power.h"

#include "tests/support/TempTree.h"

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

using testing_support::TTempTree;

namespace {

class TScopedBusAddress {
public:
    explicit TScopedBusAddress(const std::string& address)
    {
        if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
            FOld = old;
        }
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    ~TScopedBusAddress()
    {
        if (FOld) {
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", FOld->c_str(), 1);
        } else {
            ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        }
    }
    TScopedBusAddress(const TScopedBusAddress&) = delete;
    TScopedBusAddress& operator=(const TScopedBusAddress&) = delete;

private:
    std::optional<std::string> FOld;
};

void ExpectEverythingUnavailable()
{
    platform::TPowerService& power = platform::PowerService();
    EXPECT_FALSE(power.CanPowerOff());
    EXPECT_FALSE(power.CanSuspend());
    EXPECT_FALSE(power.CanHibernate());
    EXPECT_FALSE(power.CanLogOff());
    EXPECT_FALSE(platform::HasShutdownRights());
    for (platform::TPowerResult result :
         {power.PowerOff(), power.Suspend(), power.Hibernate(), power.LogOff()}) {
        EXPECT_FALSE(result.Succeeded);
        EXPECT_FALSE(result.ErrorText.empty());
    }
}

} // namespace

TEST(Power, WithoutASystemBusEveryActionIsUnavailableAndFailsWithItsReason)
{
    TTempTree tree;
    {
        TScopedBusAddress address("unix:path=" + tree.Path("no%20such-socket"));
        ExpectEverythingUnavailable();
        EXPECT_EQ(platform::PowerService().PowerOff().ErrorText,
                  "The system bus is not available.");
    }
    {
        // A path that exists but is no bus: the connection is refused at once.
        tree.AddFile("not-a-socket", "");
        TScopedBusAddress address("unix:path=" + tree.Path("not-a-socket"));
        ExpectEverythingUnavailable();
    }
}
