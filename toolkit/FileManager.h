#pragma once

#include <QDBusConnection>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <string>

// The desktop's file manager and default programs, as the results grid's commands use them.
// The file manager is asked over D-Bus (org.freedesktop.FileManager1 on the session bus) with
// the file's URI as an argument: no command line is ever built from a file name. The calls
// return at once; the answer, and the fallback when no file manager answers, come from the
// event loop. Main thread only.

// The file: URI of a path: "file://" and the path's bytes, percent-encoded except for letters,
// digits, "-", ".", "_", "~" and "/" (bytes that are not UTF-8 stay exact).
QString FileUri(const std::string& path);
QUrl FileUrl(const std::string& path);

// True when opening the file may run it rather than show it: a regular file with an execute
// bit, or a desktop entry (a name ending with ".desktop" in any letter case).
bool OpensAsProgram(const std::string& path);

// Opens the file in the desktop's program for its type (through the opener of HelpLinks, so
// tests record it instead).
void OpenWithDefaultProgram(const std::string& path);

// The file manager shows the file selected in its folder (ShowItems); when none answers, the
// folder opens in the desktop's program for folders.
void LocateInFileManager(const std::string& path);

// The file manager shows the file's properties (ShowItemProperties); when none answers,
// notAnswered runs, unless context (not null) is gone by then.
void ShowPropertiesInFileManager(
    const std::string& path, QObject* context, std::function<void()> notAnswered);

// The bus the file manager is asked on: tests give a bus of their own; nullopt restores the
// session bus.
void SetFileManagerBus(std::optional<QDBusConnection> bus);
