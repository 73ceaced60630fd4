#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace vardelo {

// Runs a real event loop until the condition holds or the time is up; the
// browser engine is driven by the loop, so polling with short sleeps slows it.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(10);
    loop.exec();
    return condition();
}

// The timer's period ends now: its tick runs at once, as when its time is
// up, whether it runs or not.
inline void timeUp(QTimer* timer) {
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

// Handles every event posted so far, so that what they would change has
// happened; for checking that something did not happen.
inline void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace vardelo
