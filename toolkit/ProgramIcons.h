#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

#include <vector>

// The program's pictures by their resource names ("P_NEW", "P_OPEN", ...). Each is looked up
// in this order: the desktop's icon theme under the freedesktop name of the same meaning,
// then the style's standard icon of that meaning, then the program's own picture in its
// resources (":/icons/<name>.svg"). A name that none of them knows gives a null icon; nothing
// here ever fails. Everything here runs on the main thread.

// Where an icon was found.
enum TIconSource { isNone, isTheme, isStyle, isResource };

struct TIconLookup {
    QIcon Icon;
    TIconSource Source = isNone;
};

// Looks the picture up; see above.
TIconLookup FindProgramIcon(const QString& resourceName);
// The picture, or a null icon.
QIcon ProgramIcon(const QString& resourceName);
// The program's own picture only (no theme, no style): its resource, else a null icon.
QIcon ResourceIcon(const QString& resourceName);

// The resource names the program's windows use, for the check that each has a picture.
std::vector<QString> ProgramIconNames();

// The program's own icon (the windows' and the tray's), from its resource "MAINICON".
QIcon MainIcon();
// The splitter grip, the small bitmap resource "WSPLITTER"; a null pixmap when missing.
QPixmap SplitterGripBitmap();

// Tests (and bare systems) can switch the theme and style lookups off, so that the program's
// own pictures are used; true restores the normal order.
void SetThemeIconsEnabled(bool enabled);
