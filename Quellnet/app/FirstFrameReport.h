#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QQuickWindow>

#include <cstdio>

/**
 * When QUELLNET_BENCH_FIRST_FRAME is set, prints the peak resident memory at the first frame
 * and quits, so a benchmark can time process start to first frame from outside.
 */
inline void reportFirstFrameIfAsked(QQuickWindow *window) {
    if (!window || qEnvironmentVariableIsEmpty("QUELLNET_BENCH_FIRST_FRAME"))
        return;
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            QFile status(QStringLiteral("/proc/self/status"));
            QByteArray peak = "0";
            if (status.open(QIODevice::ReadOnly))
                for (const QByteArray &line : status.readAll().split('\n'))
                    if (line.startsWith("VmHWM:"))
                        peak = line.mid(6).trimmed().split(' ').value(0);
            std::printf("first-frame %s\n", peak.constData());
            std::fflush(stdout);
            QCoreApplication::exit(0);
        },
        Qt::SingleShotConnection);
}
