#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

#include <vector>

// Image lists of the main window and the grey pictures of disabled tool buttons.

// A list of pictures of one size, addressed by their index in the order they were added.
class TImageList {
public:
    explicit TImageList(int size)
        : Size(size)
    { }

    int Count() const { return int(Images.size()); }
    // The picture at the index, or a null icon outside the list.
    QIcon Icon(int index) const;
    // Appends the picture; returns its index.
    int Add(const QIcon& icon);

    int Size;
    std::vector<QIcon> Images;
};

// A colour channel made lighter: 20 more, at most 255.
int BrightenChannel(int channel);
// The image in grey, channel by channel brightened first: grey = (77 r + 150 g + 29 b) >> 8 in
// every colour channel, the alpha of each pixel kept as it is (so transparent and half-
// transparent parts stay so). The image becomes 32-bit ARGB.
void GreyBitmap(QImage& image);

// The grey copy of every picture of the list, at the list's size and in the same order.
TImageList CreateDisabledImageList(const TImageList& source);

// The picture with its disabled form replaced by the grey image, at the given sizes; the
// normal and active forms stay the icon's own.
QIcon WithDisabledImage(const QIcon& icon, const QIcon& grey, const std::vector<int>& sizes);

// Adds the picture of the resource name to the list (the desktop theme's picture of the same
// meaning, else the style's, else the program's own; see ProgramIcons.h) and returns its
// index. A name with no picture at all adds an empty picture, so that the indexes of the
// pictures after it stay right; it never fails.
int AddIconResource(int size, const QString& resourceName, TImageList& list);
