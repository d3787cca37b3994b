#include "offthread.h"

#include "callwait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <memory>

void runOffThread(const std::function<void()>& work) {
    const std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    // The windows answer as often as they do while a call into the office waits.
    while (!thread->wait(QDeadlineTimer(CallWait::LookInterval)))
        QCoreApplication::processEvents();
}
