#include "platform/engine/ticker.h"

#include <QApplication>
#include <QTimer>

namespace {

QTimer *ticker = nullptr;
bool ticking = false;

} // namespace

void StartTicker(int intervalMilliseconds, TickFunction tick) {
    StopTicker();
    if (!QCoreApplication::instance() || !tick)
        return;
    ticker = new QTimer(QCoreApplication::instance());
    QObject::connect(ticker, &QTimer::timeout, [tick] {
        // The tick may open pop-ups, whose own loops would run it again; and it waits for the
        // user to close any modal pop-up before it acts.
        if (ticking || QApplication::activeModalWidget() != nullptr)
            return;
        ticking = true;
        tick();
        ticking = false;
    });
    ticker->start(intervalMilliseconds);
}

void StopTicker(void) {
    delete ticker;
    ticker = nullptr;
}
