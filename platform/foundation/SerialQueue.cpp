#include "foundation/SerialQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

namespace {

QPointer<QThreadPool> &worker() {
    static QPointer<QThreadPool> pool;
    return pool;
}

void finishWork() {
    if (QThreadPool *pool = worker())
        pool->waitForDone();
}

} // namespace

void runSerially(std::function<void()> work) {
    QPointer<QThreadPool> &pool = worker();
    if (!pool) {
        // One thread, first in first out: QThreadPool keeps start order among equal priorities.
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
        pool->setExpiryTimeout(-1);
        // Before the application object goes: queued completions then still find it.
        qAddPostRoutine(finishWork);
    }
    pool->start(std::move(work));
}
