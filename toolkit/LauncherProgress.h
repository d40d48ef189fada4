#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QString>
#include <QVariantMap>

#include <functional>

// What the launcher shows of a progress bar: a share from 0 to 1, or nothing.
struct TLauncherProgress {
    bool Visible = false;
    double Progress = 0.0;

    friend bool operator==(const TLauncherProgress&, const TLauncherProgress&) = default;
};

// The launcher's view of a bar with this range and value: nothing while the bar is busy
// without a value (a minimum equal to its maximum) or stands at its minimum, else the share
// of the range reached, kept between 0 and 1.
TLauncherProgress LauncherProgressOf(int minimum, int maximum, int value);

// The properties of a launcher-entry update for it ("progress", "progress-visible").
QVariantMap LauncherEntryProperties(const TLauncherProgress& progress);

// Progress on the program's entry in the desktop's dock or task manager: it mirrors a progress
// bar of the main window. The desktop learns of it through the launcher-entry signal on the
// session bus (com.canonical.Unity.LauncherEntry, which docks and Plasma's task manager
// listen to), sent for the program's desktop entry whenever what it shows changes. Where
// there is no session bus, or nobody listens, nothing happens. Runs on the main thread.
class TTaskbarListProgress : public QObject {
    Q_OBJECT

public:
    explicit TTaskbarListProgress(QObject* parent = nullptr);
    ~TTaskbarListProgress() override;

    // The bar to mirror (null: none). Its value changes are followed at once.
    void SetProgressBar(QProgressBar* bar);
    QProgressBar* ProgressBar() const { return FBar; }
    // Shows the bar's present state on the launcher entry (sent only when it changed).
    void UpdateProgress();
    // What the entry shows now.
    TLauncherProgress Shown() const { return FShown; }

    // The address of the program's desktop entry that the signal names.
    static QString DesktopEntryUri();

    // Tests see every update here instead of on the bus; null sends them on the bus again.
    using TSender = std::function<void(const QVariantMap&)>;
    static void SetSenderForTests(TSender sender);

private:
    void Send(const TLauncherProgress& progress);

    QPointer<QProgressBar> FBar;
    TLauncherProgress FShown;
};
