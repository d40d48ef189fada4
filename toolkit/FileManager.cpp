#include "toolkit/FileManager.h"

#include "platform/FileIdentity.h"
#include "platform/PathText.h"
#include "toolkit/HelpLinks.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace {

const QString FileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString FileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString FileManagerInterface = QStringLiteral("org.freedesktop.FileManager1");

std::optional<QDBusConnection>& TestBus()
{
    static std::optional<QDBusConnection> bus;
    return bus;
}

QDBusConnection Bus()
{
    return TestBus() ? *TestBus() : QDBusConnection::sessionBus();
}

// Calls the file manager's method with the file's URI; notAnswered runs when the bus is not
// there, no file manager is on it, or it answers with an error.
void CallFileManager(const QString& method, const std::string& path, QObject* context,
    std::function<void()> notAnswered)
{
    QDBusConnection bus = Bus();
    if (!bus.isConnected()) {
        notAnswered();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        FileManagerService, FileManagerPath, FileManagerInterface, method);
    call << QStringList {FileUri(path)} << QString();
    // The watcher goes with the context, and with it the answer's handling.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
        [notAnswered = std::move(notAnswered)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            if (finished->isError()) {
                notAnswered();
            }
        });
}

} // namespace

QString FileUri(const std::string& path)
{
    return QStringLiteral("file://") + QString::fromLatin1(platform::PercentEncode(path));
}

QUrl FileUrl(const std::string& path)
{
    return QUrl(FileUri(path), QUrl::StrictMode);
}

bool OpensAsProgram(const std::string& path)
{
    std::string tail = path.substr(path.size() >= 8 ? path.size() - 8 : 0);
    std::transform(tail.begin(), tail.end(), tail.begin(),
        [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    if (tail == ".desktop") {
        return true;
    }
    platform::TFileIdentity identity;
    return platform::GetFileIdentity(path, true, identity) == 0 && identity.IsRegularFile() &&
        (identity.Mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

void OpenWithDefaultProgram(const std::string& path)
{
    OpenWebAddress(FileUrl(path));
}

void LocateInFileManager(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? path : path.substr(0, slash + 1);
    CallFileManager(
        QStringLiteral("ShowItems"), path, nullptr, [folder] { OpenWebAddress(FileUrl(folder)); });
}

void ShowPropertiesInFileManager(
    const std::string& path, QObject* context, std::function<void()> notAnswered)
{
    CallFileManager(QStringLiteral("ShowItemProperties"), path, context, std::move(notAnswered));
}

void SetFileManagerBus(std::optional<QDBusConnection> bus)
{
    TestBus() = std::move(bus);
}
