#include "widgets/palette.h"

#include <gtest/gtest.h>

namespace {

// The sixteen colours by number, as the labels and the flash use them.
TEST(Palette, TheSixteenColoursByNumber) {
    const QColor expected[] = {{0, 0, 0},       {0, 0, 128},   {0, 128, 0},   {0, 128, 128},
                               {128, 0, 0},     {128, 0, 128}, {128, 128, 0}, {192, 192, 192},
                               {128, 128, 128}, {0, 0, 255},   {0, 255, 0},   {0, 255, 255},
                               {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};
    for (int n = 0; n < 16; ++n)
        EXPECT_EQ(paletteColor(n), expected[n]) << n;
    EXPECT_EQ(paletteColor(16), expected[0]); // numbers outside wrap into the range
    EXPECT_EQ(paletteColor(LightRed), QColor(255, 0, 0));
}

} // namespace
