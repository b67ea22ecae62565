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

TEST(WindowPlacement, ACascadeStaysOnTheScreen) {
    // Progress windows of 720x480 with xfwm4's frame, from a settings window whose frame
    // stands at (300, 200) on a 1280x800 screen with a panel of 30 at the top.
    const QRect area(0, 30, 1280, 770);
    const QMargins frame(5, 29, 5, 5);
    const QSize client(720, 480);
    EXPECT_EQ(cascadePosition({300, 200}, 1, client, frame, area), QPoint(340, 240));
    for (int n = 1; n <= 30; ++n) {
        const QPoint at = cascadePosition({300, 200}, n, client, frame, area);
        EXPECT_TRUE(area.contains(QRect(at, client.grownBy(frame)))) << n;
    }
    // The first that would leave it starts again at the top-left corner.
    EXPECT_EQ(cascadePosition({300, 200}, 3, client, frame, area), QPoint(120, 150));
    // A window larger than the area stays at its corner.
    EXPECT_EQ(cascadePosition({0, 0}, 4, QSize(2000, 900), frame, area), QPoint(0, 30));
}

} // namespace
