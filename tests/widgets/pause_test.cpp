#include "widgets/pause.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(Pause, WaitsWhileEventsKeepArriving) {
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    QElapsedTimer elapsed;
    elapsed.start();
    Pause(0.1f);
    EXPECT_GE(elapsed.elapsed(), 95);
    EXPECT_TRUE(fired);
}

TEST(Pause, ZeroOrNegativeReturnsAtOnceWithoutProcessingEvents) {
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    Pause(0);
    Pause(-1);
    EXPECT_FALSE(fired);
    QCoreApplication::processEvents();
    EXPECT_TRUE(fired);
}

} // namespace
