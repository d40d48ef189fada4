#pragma once

// A message bus of the test's own (a dbus-daemon on a socket in a temporary folder, with no
// services that the bus could start), and a file manager on it that only records what it is
// asked to show.

#include "tests/support/TempTree.h"

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <string>
#include <vector>

namespace testing_support {

class TPrivateSessionBus {
public:
    TPrivateSessionBus()
    {
        const std::string config = FTree.AddFile("bus.conf",
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n"
            "  <type>session</type>\n"
            "  <listen>unix:dir=" +
                FTree.AddFolder("socket") +
                "</listen>\n"
                "  <policy context=\"default\">\n"
                "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                "    <allow eavesdrop=\"true\"/>\n"
                "    <allow own=\"*\"/>\n"
                "  </policy>\n"
                "</busconfig>\n");
        FDaemon.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--config-file=") + QString::fromStdString(config),
                QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        const QDeadlineTimer deadline(20000);
        while (!FDaemon.canReadLine() && !deadline.hasExpired() &&
            FDaemon.state() != QProcess::NotRunning) {
            FDaemon.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
        }
        Address = QString::fromUtf8(FDaemon.readLine()).trimmed();
    }
    ~TPrivateSessionBus()
    {
        for (const QString& name : FNames) {
            QDBusConnection::disconnectFromBus(name);
        }
        FDaemon.terminate();
        FDaemon.waitForFinished(10000);
    }
    TPrivateSessionBus(const TPrivateSessionBus&) = delete;
    TPrivateSessionBus& operator=(const TPrivateSessionBus&) = delete;

    // A new connection to the bus under the name.
    QDBusConnection Connect(const QString& name)
    {
        FNames.push_back(name);
        return QDBusConnection::connectToBus(Address, name);
    }

    // The bus's address; empty when the daemon did not start.
    QString Address;

private:
    TTempTree FTree;
    QProcess FDaemon;
    std::vector<QString> FNames;
};

// The desktop's file manager as the bus offers it, recording each request as
// "Method uri1 uri2 ...".
class TFakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    // Takes the file manager's name and object on the connection; false when it could not.
    bool Serve(QDBusConnection& bus)
    {
        return bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), this,
                   QDBusConnection::ExportAllSlots) &&
            bus.registerService(QStringLiteral("org.freedesktop.FileManager1"));
    }

    std::vector<QString> Requests;

public Q_SLOTS:
    void ShowFolders(const QStringList& uris, const QString& startupId)
    {
        Record(QStringLiteral("ShowFolders"), uris, startupId);
    }
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Record(QStringLiteral("ShowItems"), uris, startupId);
    }
    void ShowItemProperties(const QStringList& uris, const QString& startupId)
    {
        Record(QStringLiteral("ShowItemProperties"), uris, startupId);
    }

private:
    void Record(const QString& method, const QStringList& uris, const QString&)
    {
        Requests.push_back(method + QLatin1Char(' ') + uris.join(QLatin1Char(' ')));
    }
};

} // namespace testing_support
