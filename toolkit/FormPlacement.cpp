#include "toolkit/FormPlacement.h"

#include "engine/RegistryAccess.h"
#include "engine/ZYGlobals.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <vector>

namespace {

QRect VirtualScreen()
{
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->virtualGeometry() : QRect();
}

} // namespace

void RestoreFormPlacement(QWidget& form, const std::string& formName)
{
    RestoreFormPlacement(form, formName, formName);
}

bool StoreFormPlacement(const QWidget& form, const std::string& formName)
{
    return StoreFormPlacement(form, formName, formName);
}

void RestoreFormPlacement(QWidget& form, const std::string& section, const std::string& valueName)
{
    TFormPlacement placement;
    placement.Bounds = form.isMaximized() ? form.normalGeometry() : form.geometry();
    placement.Maximized = false;
    LoadFormPlacement(valueName, RegistryRoot + section, VirtualScreen(), placement);
    if (placement.Maximized) {
        if (form.isVisible()) {
            form.showMaximized();
        } else {
            form.setWindowState(form.windowState() | Qt::WindowMaximized);
        }
        return;
    }
    form.setWindowState(form.windowState() & ~Qt::WindowMaximized);
    form.setGeometry(placement.Bounds);
}

bool StoreFormPlacement(
    const QWidget& form, const std::string& section, const std::string& valueName)
{
    TFormPlacement placement;
    placement.Bounds = form.geometry();
    placement.Maximized = form.isMaximized();
    return SaveFormPlacement(valueName, RegistryRoot + section, placement);
}

bool PullOntoMonitor(QWidget& form)
{
    std::vector<QRect> monitors;
    for (QScreen* screen : QGuiApplication::screens()) {
        monitors.push_back(screen->geometry());
    }
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary || LiesOnAnyMonitor(form.frameGeometry(), monitors)) {
        return false;
    }
    if (form.isMaximized()) {
        return false;
    }
    form.setGeometry(CenterOnWorkArea(form.geometry(), primary->availableGeometry()));
    return true;
}
