#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <utility>

/**
 * Runs `work` later on the GUI thread, never inside the caller. Every platform completion goes
 * through here so that apps and tests meet the same ordering.
 */
template<typename F> void dispatchToMain(F &&work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(work),
                              Qt::QueuedConnection);
}
