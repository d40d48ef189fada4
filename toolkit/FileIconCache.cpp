#include "toolkit/FileIconCache.h"

#include <QApplication>
#include <QMimeType>
#include <QStyle>

const QIcon& TFileIconCache::IconFor(const std::string& extension)
{
    const auto found = FIcons.find(extension);
    if (found != FIcons.end()) {
        return found->second;
    }
    return FIcons.emplace(extension, LookUp(extension)).first->second;
}

QIcon TFileIconCache::LookUp(const std::string& extension) const
{
    if (!extension.empty()) {
        const QList<QMimeType> types = FMimeTypes.mimeTypesForFileName(
            QStringLiteral("file") + QString::fromStdString(extension));
        for (const QMimeType& type : types) {
            QIcon icon = QIcon::fromTheme(type.iconName());
            if (icon.isNull()) {
                icon = QIcon::fromTheme(type.genericIconName());
            }
            if (!icon.isNull()) {
                return icon;
            }
        }
    }
    QIcon generic = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (generic.isNull()) {
        generic = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    }
    return generic;
}
