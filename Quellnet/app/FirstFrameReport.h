#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QQuickWindow>

#include <cstdio>
#include <ctime>

/** Whether QUELLNET_BENCH_PHASES asks for the start-up steps (read once). */
inline bool startupPhasesAsked() {
    static const bool asked = !qEnvironmentVariableIsEmpty("QUELLNET_BENCH_PHASES");
    return asked;
}

/**
 * When QUELLNET_BENCH_PHASES is set, writes "phase NAME NANOSECONDS" (CLOCK_MONOTONIC) to
 * standard error, so `startup_bench --phases` can say where the time to the first frame goes.
 * Otherwise it does nothing. Safe from any thread.
 */
inline void markStartupPhase(const char *phase) {
    if (!startupPhasesAsked())
        return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "phase %s %lld\n", phase,
                 static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
}

/** The processor time each thread used so far, as "cpu THREAD NANOSECONDS" lines. */
inline void reportThreadTimes() {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        QFile times(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!name.open(QIODevice::ReadOnly) || !times.open(QIODevice::ReadOnly))
            continue;
        std::fprintf(stderr, "cpu %s %s\n", name.read(64).trimmed().replace(' ', '_').constData(),
                     times.read(256).split(' ').value(0).constData());
    }
}

/**
 * When QUELLNET_BENCH_FIRST_FRAME is set, prints the peak resident memory at the first frame
 * and quits, so a benchmark can time process start to first frame from outside. With
 * QUELLNET_BENCH_PHASES it also marks the first synchronisation and rendering of the scene and,
 * at the first frame, each thread's processor time.
 */
inline void reportFirstFrameIfAsked(QQuickWindow *window) {
    if (!window || qEnvironmentVariableIsEmpty("QUELLNET_BENCH_FIRST_FRAME"))
        return;
    if (startupPhasesAsked()) {
        // Emitted on the render thread: marked there, as it happens.
        const auto onRenderThread =
            Qt::ConnectionType(Qt::DirectConnection | Qt::SingleShotConnection);
        QObject::connect(
            window, &QQuickWindow::beforeSynchronizing, window,
            [] { markStartupPhase("first-sync"); }, onRenderThread);
        QObject::connect(
            window, &QQuickWindow::beforeRendering, window,
            [] { markStartupPhase("first-render"); }, onRenderThread);
    }
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            markStartupPhase("frame-swapped");
            if (startupPhasesAsked())
                reportThreadTimes();
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
