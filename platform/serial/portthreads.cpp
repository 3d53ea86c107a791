// Threads for port work over QThread, which gives each thread the event dispatcher that a
// serial port's notifiers register with; the jobs never run its event loop.
#include "platform/serial/portthreads.h"

#include <QThread>

#include <memory>
#include <vector>

int RunOnPortThreads(int count, void (*job)(int index, void *context), void *context) {
    std::vector<std::unique_ptr<QThread>> threads;
    int started = 0;
    for (int index = 0; index < count; index++) {
        std::unique_ptr<QThread> thread(QThread::create(job, index, context));
        thread->start();
        started += thread->isRunning() || thread->isFinished() ? 1 : 0;
        threads.push_back(std::move(thread));
    }
    for (const auto &thread : threads)
        thread->wait();
    return started == count ? 0 : -1;
}
