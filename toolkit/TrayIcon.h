#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QMenu;
class QSystemTrayIcon;

// Whether the desktop shows a system tray. Tests can answer for it (nothing: ask the desktop).
bool IsSystemTrayAvailable();
void SetSystemTrayAvailableForTests(std::optional<bool> available);

// The frames of the busy animation: the icon with a small dot that runs round its corner,
// one frame per step.
std::vector<QIcon> MakeTrayAnimationFrames(const QIcon& base, int frameCount);

// The program's icon in the system tray: a still image or an animation of frames, a hint, a
// pop-up menu and balloon messages. Visible only while it is set visible and the desktop has a
// tray. Double-clicking it emits DblClick, and so does a single click (many Linux trays deliver
// no double click). Runs on the main thread.
class TTrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TTrayIcon(QObject* parent = nullptr);
    ~TTrayIcon() override;

    void SetIcon(const QIcon& icon);
    void SetFrames(std::vector<QIcon> frames);
    // Runs the animation through the frames every AnimateInterval milliseconds; off shows the
    // still image again.
    void SetAnimate(bool animate);
    bool Animate() const { return FTimer.isActive(); }
    void SetAnimateInterval(int milliseconds);
    int AnimateInterval() const { return FTimer.interval(); }
    void SetHint(const QString& hint);
    QString Hint() const { return FHint; }
    void SetPopupMenu(QMenu* menu);
    void SetVisible(bool visible);
    bool Visible() const { return FVisible; }
    // An information balloon beside the icon.
    void ShowBalloon(const QString& title, const QString& text);
    QString BalloonTitle() const { return FBalloonTitle; }
    QString BalloonText() const { return FBalloonText; }

    // The tray's own icon object (for the desktop); null until first shown.
    QSystemTrayIcon* SystemTrayIcon() const { return FIcon.get(); }

Q_SIGNALS:
    void DblClick();

private:
    void NextFrame();
    void ShowImage(const QIcon& icon);
    QSystemTrayIcon& Icon();

    std::unique_ptr<QSystemTrayIcon> FIcon;
    QIcon FStill;
    std::vector<QIcon> FFrames;
    std::size_t FFrame = 0;
    QTimer FTimer;
    QString FHint;
    QPointer<QMenu> FMenu;
    bool FVisible = false;
    QString FBalloonTitle;
    QString FBalloonText;
};
