#include "toolkit/LauncherProgress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProgressBar>

#include <algorithm>

namespace {

const QString EntryInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");
const QString EntryPath = QStringLiteral("/com/canonical/unity/launcherentry/pairloom");

TTaskbarListProgress::TSender& TestSender()
{
    static TTaskbarListProgress::TSender sender;
    return sender;
}

} // namespace

TLauncherProgress LauncherProgressOf(int minimum, int maximum, int value)
{
    if (maximum <= minimum || value <= minimum) {
        return {};
    }
    const double share = double(value - minimum) / double(maximum - minimum);
    return {true, std::clamp(share, 0.0, 1.0)};
}

QVariantMap LauncherEntryProperties(const TLauncherProgress& progress)
{
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), progress.Progress);
    properties.insert(QStringLiteral("progress-visible"), progress.Visible);
    return properties;
}

TTaskbarListProgress::TTaskbarListProgress(QObject* parent)
    : QObject(parent)
{ }

TTaskbarListProgress::~TTaskbarListProgress()
{
    // The entry must not keep a bar of a program that has gone.
    if (FShown.Visible) {
        Send({});
    }
}

void TTaskbarListProgress::SetProgressBar(QProgressBar* bar)
{
    if (FBar) {
        disconnect(FBar, nullptr, this, nullptr);
    }
    FBar = bar;
    if (bar != nullptr) {
        connect(bar, &QProgressBar::valueChanged, this, &TTaskbarListProgress::UpdateProgress);
    }
    UpdateProgress();
}

void TTaskbarListProgress::UpdateProgress()
{
    TLauncherProgress progress;
    if (FBar) {
        progress = LauncherProgressOf(FBar->minimum(), FBar->maximum(), FBar->value());
    }
    if (progress == FShown) {
        return;
    }
    FShown = progress;
    Send(progress);
}

QString TTaskbarListProgress::DesktopEntryUri()
{
    return QStringLiteral("application://pairloom.desktop");
}

void TTaskbarListProgress::SetSenderForTests(TSender sender)
{
    TestSender() = std::move(sender);
}

void TTaskbarListProgress::Send(const TLauncherProgress& progress)
{
    const QVariantMap properties = LauncherEntryProperties(progress);
    if (TestSender()) {
        TestSender()(properties);
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage update =
        QDBusMessage::createSignal(EntryPath, EntryInterface, QStringLiteral("Update"));
    update << DesktopEntryUri() << properties;
    bus.send(update);
}
