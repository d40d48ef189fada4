#include "platform/Power.h"

#include "platform/SysCalls.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>
#include <QString>
#include <QVariant>

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace platform {

namespace {

// How long any call to the login manager may take. Its answers come at once; a missing or
// stuck service must not hold the program up.
constexpr int CallTimeoutMs = 3000;

const QString LoginService = QStringLiteral("org.freedesktop.login1");
const QString ManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString ManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString SessionInterface = QStringLiteral("org.freedesktop.login1.Session");

// The value of a D-Bus address, with its %xx escapes decoded.
std::string DecodeAddressValue(std::string_view value)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && hex(value[i + 1]) >= 0 &&
            hex(value[i + 2]) >= 0) {
            result += char(hex(value[i + 1]) * 16 + hex(value[i + 2]));
            i += 2;
        } else {
            result += value[i];
        }
    }
    return result;
}

// False when every entry of the system bus address is a socket file that does not exist,
// so that no connection is even tried; true when a connection may succeed.
bool SystemBusMayBeReachable()
{
    const char* variable = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    std::string_view address = variable && *variable
                                   ? std::string_view(variable)
                                   : std::string_view("unix:path=/var/run/dbus/system_bus_socket");
    while (!address.empty()) {
        std::size_t end = address.find(';');
        std::string_view entry = address.substr(0, end);
        address = end == std::string_view::npos ? std::string_view() : address.substr(end + 1);
        if (entry.empty()) {
            continue;
        }
        constexpr std::string_view UnixPath = "unix:path=";
        if (entry.substr(0, UnixPath.size()) != UnixPath) {
            return true;
        }
        std::string_view value = entry.substr(UnixPath.size());
        value = value.substr(0, value.find(','));
        std::string path = DecodeAddressValue(value);
        struct statx facts {};
        if (Sys().Statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &facts) == 0) {
            return true;
        }
    }
    return false;
}

// One call to the login manager; the reply, or an error message whose text says why.
class TLogin {
public:
    TLogin()
    {
        if (!SystemBusMayBeReachable()) {
            FError = "The system bus is not available.";
            return;
        }
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected()) {
            FError = "The system bus is not available.";
            return;
        }
        FConnected = true;
    }

    // The reply's arguments, or false with the error kept.
    bool Call(const QString& path, const QString& interface, const QString& method,
              const QList<QVariant>& arguments, QList<QVariant>& results)
    {
        results.clear();
        if (!FConnected) {
            return false;
        }
        QDBusMessage message =
            QDBusMessage::createMethodCall(LoginService, path, interface, method);
        message.setArguments(arguments);
        message.setAutoStartService(false);
        QDBusMessage reply =
            QDBusConnection::systemBus().call(message, QDBus::Block, CallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            QString text = reply.errorMessage().isEmpty() ? reply.errorName()
                                                          : reply.errorMessage();
            if (text.isEmpty()) {
                text = QStringLiteral("The login manager (systemd-logind) gave no answer.");
            }
            FError = text.toStdString();
            return false;
        }
        results = reply.arguments();
        return true;
    }

    bool CallManager(const QString& method, const QList<QVariant>& arguments,
                     QList<QVariant>& results)
    {
        return Call(ManagerPath, ManagerInterface, method, arguments, results);
    }

    // "yes" or "challenge" (allowed after authorisation) make the action available.
    bool IsOffered(const QString& method)
    {
        QList<QVariant> results;
        if (!CallManager(method, {}, results) || results.isEmpty()) {
            return false;
        }
        QString answer = results.first().toString();
        return answer == QLatin1String("yes") || answer == QLatin1String("challenge");
    }

    TPowerResult Act(const QString& method)
    {
        QList<QVariant> results;
        // Not interactive: the action runs unattended and must not wait for a password.
        if (CallManager(method, {QVariant(false)}, results)) {
            return {true, {}};
        }
        return {false, FError};
    }

    // The object path of the session this program runs in; empty when it cannot be found.
    QString SessionPath()
    {
        QList<QVariant> results;
        auto pathOf = [&results]() {
            return results.isEmpty() ? QString()
                                     : qvariant_cast<QDBusObjectPath>(results.first()).path();
        };
        auto pid = static_cast<uint>(QCoreApplication::applicationPid());
        if (CallManager(QStringLiteral("GetSessionByPID"), {QVariant::fromValue(pid)},
                        results) &&
            !pathOf().isEmpty()) {
            return pathOf();
        }
        // A program started by the user's service manager runs outside the session's own
        // processes; the session it was started from is then named by the environment, or
        // found by the login manager as the user's graphical session.
        const char* id = std::getenv("XDG_SESSION_ID");
        for (const QString& name : {id && *id ? QString::fromUtf8(id) : QString(),
                                    QStringLiteral("auto")}) {
            if (!name.isEmpty() &&
                CallManager(QStringLiteral("GetSession"), {QVariant(name)}, results) &&
                !pathOf().isEmpty()) {
                return pathOf();
            }
        }
        return {};
    }

    bool IsConnected() const { return FConnected; }
    const std::string& Error() const { return FError; }

private:
    bool FConnected = false;
    std::string FError;
};

std::atomic<TPowerService*> CurrentService{nullptr};

TPowerService& DefaultService()
{
    static TPowerService service;
    return service;
}

} // namespace

bool TPowerService::CanPowerOff()
{
    return TLogin().IsOffered(QStringLiteral("CanPowerOff"));
}

bool TPowerService::CanSuspend()
{
    return TLogin().IsOffered(QStringLiteral("CanSuspend"));
}

bool TPowerService::CanHibernate()
{
    return TLogin().IsOffered(QStringLiteral("CanHibernate"));
}

bool TPowerService::CanLogOff()
{
    return !TLogin().SessionPath().isEmpty();
}

TPowerResult TPowerService::PowerOff()
{
    return TLogin().Act(QStringLiteral("PowerOff"));
}

TPowerResult TPowerService::Suspend()
{
    return TLogin().Act(QStringLiteral("Suspend"));
}

TPowerResult TPowerService::Hibernate()
{
    return TLogin().Act(QStringLiteral("Hibernate"));
}

TPowerResult TPowerService::LogOff()
{
    TLogin login;
    QString session = login.SessionPath();
    if (session.isEmpty()) {
        return {false, login.IsConnected() ? std::string("The login session was not found.")
                                           : login.Error()};
    }
    QList<QVariant> results;
    if (login.Call(session, SessionInterface, QStringLiteral("Terminate"), {}, results)) {
        return {true, {}};
    }
    return {false, login.Error()};
}

TPowerService& PowerService()
{
    TPowerService* service = CurrentService.load(std::memory_order_acquire);
    return service ? *service : DefaultService();
}

TScopedPowerService::TScopedPowerService(TPowerService& replacement)
    : FPrevious(CurrentService.exchange(&replacement, std::memory_order_acq_rel))
{
}

TScopedPowerService::~TScopedPowerService()
{
    CurrentService.store(FPrevious, std::memory_order_release);
}

bool HasShutdownRights()
{
    return PowerService().CanPowerOff();
}

} // namespace platform
