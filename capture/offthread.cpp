#include "offthread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <memory>

namespace {
// How long the events wait at most while the work runs.
constexpr int kLookMs = 10;
} // namespace

void runOffThread(const std::function<void()>& work) {
    const std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    while (!thread->wait(QDeadlineTimer(kLookMs)))
        QCoreApplication::processEvents();
}
