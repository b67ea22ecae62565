#pragma once

#include <QFont>
#include <QRect>

// Layout is given in twips, 1/1440 inch: 15 twips are one device-independent pixel at 96 dpi.
// Qt scales device-independent pixels with the screen, so the windows grow with its dpi.
constexpr int TwipsPerPixel = 15;

constexpr int twips(int value) {
    return value / TwipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// The proportional Japanese Gothic used on both windows, at a size in points. The first
// available family of the list wins; a single name alone would fall back to a Latin face.
QFont gothicFont(double points);
