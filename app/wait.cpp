#include "wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace rfid {

namespace {
// Blocks until the next event arrives or `remainingMs` pass. A precise
// single-shot timer bounds the sleep: a coarse timer may fire early and then the
// wait would last until some unrelated event.
void sleepUntilEventOr(qint64 remainingMs) {
    if (remainingMs <= 0)
        return;
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(int(remainingMs));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void processPending() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
} // namespace

void Delay(int ms, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        processPending();
        processPending();
        const qint64 elapsed = clock.elapsed();
        processPending();
        processPending();
        if ((done && done()) || elapsed >= ms)
            return;
        sleepUntilEventOr(ms - clock.elapsed());
    }
}

void Delayy(int ms) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        processPending();
        if (clock.elapsed() >= ms)
            return;
        sleepUntilEventOr(ms - clock.elapsed());
    }
}

} // namespace rfid
