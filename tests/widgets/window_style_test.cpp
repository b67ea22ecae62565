#include "widgets/window_style.h"

#include <gtest/gtest.h>

namespace {

// The frame's outer edges, for a client area placed at `client` with these frame widths.
QRect outer(QPoint client, QSize size, QMargins frame) {
    return QRect(client, size).marginsAdded(frame);
}

TEST(WindowPlacement, TheFrameStandsCentredNotTheClientArea) {
    // Xfwm4's frame: 5 pixels round, a title bar of 29 (the settings window on 1024x768 stood
    // 17 pixels low when its client area was centred instead).
    const QRect screen(0, 0, 1024, 768);
    const QMargins xfwm4(5, 29, 5, 5);
    const QPoint client = centredPosition(QSize(631, 452), xfwm4, screen);
    const QRect frame = outer(client, QSize(631, 452), xfwm4);
    EXPECT_LE(std::abs(frame.left() - (screen.right() - frame.right())), 1);
    EXPECT_LE(std::abs(frame.top() - (screen.bottom() - frame.bottom())), 1);
    EXPECT_EQ(client, QPoint(196, 170));
}

TEST(WindowPlacement, WithoutAFrameTheClientAreaIsCentredOnTheWorkArea) {
    // A work area that does not start at the origin (a panel on the left and at the top).
    const QRect workArea(40, 30, 1240, 994);
    const QPoint client = centredPosition(QSize(629, 450), QMargins(), workArea);
    EXPECT_EQ(QRect(client, QSize(629, 450)).center(), workArea.center());
}

} // namespace
