#include "widgets/pause.h"

#include <QEventLoop>
#include <QTimer>
#include <cmath>

void Pause(float seconds) {
    if (!(seconds > 0))
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::lround(std::min(seconds, 86400.0f) * 1000)));
    loop.exec();
}
