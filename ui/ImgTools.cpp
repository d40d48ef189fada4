#include "ui/ImgTools.h"

#include "toolkit/ProgramIcons.h"

#include <QPixmap>
#include <QRgb>

#include <algorithm>
#include <cstdio>

QIcon TImageList::Icon(int index) const
{
    return index >= 0 && index < Count() ? Images[std::size_t(index)] : QIcon();
}

int TImageList::Add(const QIcon& icon)
{
    Images.push_back(icon);
    return Count() - 1;
}

int BrightenChannel(int channel)
{
    return std::min(channel + 20, 255);
}

void GreyBitmap(QImage& image)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const int r = BrightenChannel(qRed(pixel));
            const int g = BrightenChannel(qGreen(pixel));
            const int b = BrightenChannel(qBlue(pixel));
            const int grey = (77 * r + 150 * g + 29 * b) >> 8;
            line[x] = qRgba(grey, grey, grey, qAlpha(pixel));
        }
    }
}

TImageList CreateDisabledImageList(const TImageList& source)
{
    TImageList grey(source.Size);
    for (const QIcon& icon : source.Images) {
        if (icon.isNull()) {
            grey.Add(QIcon());
            continue;
        }
        QImage image = icon.pixmap(source.Size, source.Size).toImage();
        GreyBitmap(image);
        grey.Add(QIcon(QPixmap::fromImage(image)));
    }
    return grey;
}

QIcon WithDisabledImage(const QIcon& icon, const QIcon& grey, const std::vector<int>& sizes)
{
    if (icon.isNull()) {
        return icon;
    }
    QIcon combined;
    for (int size : sizes) {
        combined.addPixmap(icon.pixmap(size, size, QIcon::Normal), QIcon::Normal);
        combined.addPixmap(icon.pixmap(size, size, QIcon::Active), QIcon::Active);
        if (!grey.isNull()) {
            combined.addPixmap(grey.pixmap(size, size), QIcon::Disabled);
        }
    }
    return combined;
}

int AddIconResource(int size, const QString& resourceName, TImageList& list)
{
    (void)size; // the list's size is the size the pictures are drawn at
    const QIcon icon = ProgramIcon(resourceName);
    if (icon.isNull()) {
        std::fprintf(stderr, "Icon resource not found: %s\n", qPrintable(resourceName));
    }
    return list.Add(icon);
}
