#pragma once

#include <QIcon>
#include <QMimeDatabase>

#include <string>
#include <unordered_map>

// The small icons of files by extension, for the results grid: the icon of the extension's
// file type from the desktop's icon theme (QMimeDatabase names the type and its icon), else
// the theme's icon of the type's generic kind, else a plain file icon. Each extension is looked
// up once and kept for the life of the cache. Main thread only.
class TFileIconCache {
public:
    // The icon for files with the extension (lower case with its dot; empty for a file that
    // has none). Never a null icon.
    const QIcon& IconFor(const std::string& extension);
    // How many extensions have been looked up.
    std::size_t Count() const { return FIcons.size(); }

private:
    QIcon LookUp(const std::string& extension) const;

    std::unordered_map<std::string, QIcon> FIcons;
    QMimeDatabase FMimeTypes;
};
