#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <utility>

/**
 * Runs `work` later on the GUI thread, never inside the caller. Every platform completion goes
 * through here so that apps and tests meet the same ordering. Safe to call from the platform's
 * worker thread; work posted while the application object is gone is dropped.
 */
template<typename F> void dispatchToMain(F &&work) {
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::forward<F>(work), Qt::QueuedConnection);
}
