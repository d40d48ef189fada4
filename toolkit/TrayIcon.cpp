#include "toolkit/TrayIcon.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <cmath>
#include <numbers>

namespace {

std::optional<bool>& TrayOverride()
{
    static std::optional<bool> available;
    return available;
}

} // namespace

bool IsSystemTrayAvailable()
{
    if (TrayOverride()) {
        return *TrayOverride();
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SetSystemTrayAvailableForTests(std::optional<bool> available)
{
    TrayOverride() = available;
}

std::vector<QIcon> MakeTrayAnimationFrames(const QIcon& base, int frameCount)
{
    std::vector<QIcon> frames;
    constexpr int Size = 32;
    for (int k = 0; k < frameCount; ++k) {
        QPixmap frame(Size, Size);
        frame.fill(Qt::transparent);
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::Antialiasing);
        base.paint(&painter, QRect(0, 0, Size, Size));
        const double angle = 2.0 * std::numbers::pi * k / frameCount;
        const QPointF centre(Size - 8.0, Size - 8.0);
        const QPointF dot = centre + QPointF(5.0 * std::sin(angle), -5.0 * std::cos(angle));
        painter.setPen(QPen(QColor(0x1f, 0x4f, 0x8a), 1.0));
        painter.setBrush(QColor(0xe8, 0x93, 0x2a));
        painter.drawEllipse(dot, 3.2, 3.2);
        painter.end();
        frames.emplace_back(frame);
    }
    return frames;
}

TTrayIcon::TTrayIcon(QObject* parent)
    : QObject(parent)
{
    FTimer.setInterval(200);
    connect(&FTimer, &QTimer::timeout, this, &TTrayIcon::NextFrame);
}

TTrayIcon::~TTrayIcon() = default;

QSystemTrayIcon& TTrayIcon::Icon()
{
    if (!FIcon) {
        FIcon = std::make_unique<QSystemTrayIcon>();
        FIcon->setIcon(FStill);
        FIcon->setToolTip(FHint);
        if (FMenu) {
            FIcon->setContextMenu(FMenu);
        }
        connect(FIcon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
                    Q_EMIT DblClick();
                }
            });
    }
    return *FIcon;
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    FStill = icon;
    if (!Animate()) {
        ShowImage(icon);
    }
}

void TTrayIcon::SetFrames(std::vector<QIcon> frames)
{
    FFrames = std::move(frames);
    FFrame = 0;
}

void TTrayIcon::SetAnimate(bool animate)
{
    if (animate && !FFrames.empty()) {
        FTimer.start();
        return;
    }
    FTimer.stop();
    ShowImage(FStill);
}

void TTrayIcon::SetAnimateInterval(int milliseconds)
{
    FTimer.setInterval(milliseconds);
}

void TTrayIcon::SetHint(const QString& hint)
{
    FHint = hint;
    if (FIcon) {
        FIcon->setToolTip(hint);
    }
}

void TTrayIcon::SetPopupMenu(QMenu* menu)
{
    FMenu = menu;
    if (FIcon) {
        FIcon->setContextMenu(menu);
    }
}

void TTrayIcon::SetVisible(bool visible)
{
    FVisible = visible;
    if (visible && IsSystemTrayAvailable() && QSystemTrayIcon::isSystemTrayAvailable()) {
        Icon().show();
    } else if (FIcon) {
        FIcon->hide();
    }
}

void TTrayIcon::ShowBalloon(const QString& title, const QString& text)
{
    FBalloonTitle = title;
    FBalloonText = text;
    if (FVisible && FIcon && FIcon->isVisible()) {
        FIcon->showMessage(title, text, QSystemTrayIcon::Information);
    }
}

void TTrayIcon::NextFrame()
{
    if (FFrames.empty()) {
        return;
    }
    FFrame = (FFrame + 1) % FFrames.size();
    ShowImage(FFrames[FFrame]);
}

void TTrayIcon::ShowImage(const QIcon& icon)
{
    if (FIcon) {
        FIcon->setIcon(icon);
    }
}
