#pragma once

#include <QColor>

// The classic 16-colour palette: colour numbers 0..15.
enum PaletteColor : int {
    Black = 0,
    Blue = 1,
    Green = 2,
    Cyan = 3,
    Red = 4,
    Magenta = 5,
    Yellow = 6,
    White = 7,
    Grey = 8,
    LightBlue = 9,
    LightGreen = 10,
    LightCyan = 11,
    LightRed = 12,
    LightMagenta = 13,
    LightYellow = 14,
    BrightWhite = 15,
};

// The colour of a palette number; numbers outside 0..15 wrap into the range.
QColor paletteColor(int number);
