// Time from process start to first frame, and peak resident memory, of the app and of a blank
// Qt Quick window (the floor), alternated run by run in the same run; the side that goes first
// swaps each pair. Runs under a private Xvfb when one is installed, else offscreen (or on the
// display given with --display). Two more baselines give context: the blank window with one
// line of text (fontconfig and the first font cost several ms that a blank window never pays)
// and a QtQuick.Controls ApplicationWindow. With --phases, both sides also say when they reach
// each step of their start (QUELLNET_BENCH_PHASES) and the medians of those moments follow.
// --also PATH adds another build of the app to every round (an older one, say), so a change is
// measured against it in the same run: its figures and ratio come last, for context only.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
struct Sample {
    double milliseconds = 0;
    long peakKiB = 0;
    QList<std::pair<QByteArray, double>> phases;  // milliseconds from the launch, in order
    QList<std::pair<QByteArray, double>> threads; // processor milliseconds, summed by name
};

// Where the windows are shown: a display of this benchmark's own, so no desktop's compositor or
// other windows take part.
QString g_display;
bool g_phases = false;

qint64 monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

/** Starts Xvfb on a free display; empty (and no process) when it cannot. */
QString startXvfb(QProcess &xvfb) {
    // -displayfd: Xvfb picks a free display and writes its number once it accepts clients.
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1280x1024x24")});
    if (!xvfb.waitForStarted(5000))
        return {};
    QByteArray number;
    while (!number.contains('\n') && xvfb.waitForReadyRead(10000))
        number += xvfb.readAllStandardOutput();
    number = number.trimmed();
    if (number.isEmpty()) {
        xvfb.kill();
        xvfb.waitForFinished(5000);
        return {};
    }
    return u':' + QString::fromLatin1(number);
}

Sample launch(const QString &program, const QString &home, const QStringList &arguments = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUELLNET_BENCH_FIRST_FRAME"), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), home);
    if (g_phases)
        env.insert(QStringLiteral("QUELLNET_BENCH_PHASES"), QStringLiteral("1"));
    for (const char *xdg : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        env.remove(QString::fromLatin1(xdg));
    if (!g_display.isEmpty()) {
        env.insert(QStringLiteral("DISPLAY"), g_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    const qint64 launched = monotonicNanoseconds();
    timer.start();
    process.start(program, arguments);
    Sample sample;
    while (process.waitForReadyRead(30000)) {
        const QByteArray line = process.readLine();
        if (line.startsWith("first-frame ")) {
            sample.milliseconds = double(timer.nsecsElapsed()) / 1e6;
            sample.peakKiB = line.mid(12).trimmed().toLong();
            break;
        }
    }
    process.waitForFinished(30000);
    for (const QByteArray &line : process.readAllStandardError().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3)
            continue;
        if (fields.at(0) == "phase") {
            sample.phases.append(
                {fields.at(1), double(fields.at(2).toLongLong() - launched) / 1e6});
        } else if (fields.at(0) == "cpu") {
            const double milliseconds = double(fields.at(2).toLongLong()) / 1e6;
            auto same = std::find_if(sample.threads.begin(), sample.threads.end(),
                                     [&](const auto &t) { return t.first == fields.at(1); });
            if (same == sample.threads.end())
                sample.threads.append({fields.at(1), milliseconds});
            else
                same->second += milliseconds;
        }
    }
    return sample;
}

struct Summary {
    double min = 0, median = 0, max = 0;
    long peakKiB = 0;
};

/** The median of each named figure (a step's moment, a thread's time), in the first sample's
    order. */
void printMedians(const char *name, const QList<Sample> &samples,
                  QList<std::pair<QByteArray, double>> Sample::*figures) {
    std::printf("  %s\n", name);
    for (const auto &[figure, unused] : samples.constFirst().*figures) {
        QList<double> values;
        for (const Sample &sample : samples)
            for (const auto &[other, milliseconds] : sample.*figures)
                if (other == figure) {
                    values << milliseconds;
                    break;
                }
        std::sort(values.begin(), values.end());
        std::printf("    %-22s %7.1f ms\n", figure.constData(), values.at(values.size() / 2));
    }
}

Summary summarize(QList<Sample> samples) {
    std::sort(samples.begin(), samples.end(),
              [](const Sample &a, const Sample &b) { return a.milliseconds < b.milliseconds; });
    Summary s{samples.constFirst().milliseconds, samples.at(samples.size() / 2).milliseconds,
              samples.constLast().milliseconds, 0};
    for (const Sample &sample : samples)
        s.peakKiB = std::max(s.peakKiB, sample.peakKiB);
    return s;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    QProcess xvfb;
    const auto stopXvfb = qScopeGuard([&xvfb] {
        if (xvfb.state() != QProcess::NotRunning) {
            xvfb.terminate();
            xvfb.waitForFinished(5000);
        }
    });
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--display")); at >= 0) {
        g_display = arguments.value(at + 1);
        arguments.remove(at, std::min<qsizetype>(2, arguments.size() - at));
    } else {
        g_display = startXvfb(xvfb);
    }
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--phases")); at >= 0) {
        g_phases = true;
        arguments.remove(at);
    }
    QString also;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--also")); at >= 0) {
        also = arguments.value(at + 1);
        arguments.remove(at, std::min<qsizetype>(2, arguments.size() - at));
    }
    const int runs = arguments.isEmpty() ? 11 : std::max(9, arguments.constFirst().toInt());
    QTemporaryDir home;
    const QString minimal = QStringLiteral(MINIMAL_WINDOW_PATH);
    const QString quellnet = QStringLiteral(QUELLNET_APP_PATH);
    QList<Sample> appSamples, minimalSamples, textSamples, controlsSamples, alsoSamples;
    launch(quellnet, home.path()); // warm the file cache and make the store
    launch(minimal, home.path());
    for (int i = 0; i < runs; ++i) {
        if (i % 2 == 0) {
            minimalSamples << launch(minimal, home.path());
            appSamples << launch(quellnet, home.path());
        } else {
            appSamples << launch(quellnet, home.path());
            minimalSamples << launch(minimal, home.path());
        }
        textSamples << launch(minimal, home.path(), {QStringLiteral("text")});
        controlsSamples << launch(minimal, home.path(), {QStringLiteral("controls")});
        if (!also.isEmpty())
            alsoSamples << launch(also, home.path());
    }
    const auto missed = [](const QList<Sample> &samples) {
        return std::any_of(samples.cbegin(), samples.cend(),
                           [](const Sample &s) { return s.milliseconds <= 0; });
    };
    if (missed(appSamples) || missed(minimalSamples)) {
        std::fprintf(stderr, "a launch never reported its first frame\n");
        return 1;
    }
    const Summary a = summarize(appSamples), m = summarize(minimalSamples);
    const auto ratio = [](double x, double y) { return x / std::max(y, 0.001); };
    std::printf("start to first frame %s, %d alternated pairs, min/median/max\n",
                g_display.isEmpty() ? "offscreen"
                                    : qPrintable(QStringLiteral("on X display ") + g_display),
                runs);
    std::printf("  quellnet        %7.1f/%7.1f/%7.1f ms   peak RSS %7ld KiB\n", a.min, a.median,
                a.max, a.peakKiB);
    std::printf("  minimal window  %7.1f/%7.1f/%7.1f ms   peak RSS %7ld KiB\n", m.min, m.median,
                m.max, m.peakKiB);
    const double r = ratio(a.median, m.median);
    std::printf("  ratio of medians %6.2fx   memory %5.2fx   goal: within 1.3x, %s\n", r,
                ratio(double(a.peakKiB), double(m.peakKiB)), r <= 1.3 ? "met" : "NOT met");
    if (g_phases) {
        std::printf("median moment of each step from the launch:\n");
        printMedians("quellnet", appSamples, &Sample::phases);
        printMedians("minimal window", minimalSamples, &Sample::phases);
        // Threads of one name are summed: those that never name themselves share the
        // program's name with the main thread.
        std::printf("median processor time of each thread until the first frame:\n");
        printMedians("quellnet", appSamples, &Sample::threads);
        printMedians("minimal window", minimalSamples, &Sample::threads);
    }
    std::printf("context (quellnet against each):\n");
    for (const auto &[name, samples] : {std::pair{"window + text  ", &textSamples},
                                        std::pair{"controls window", &controlsSamples}}) {
        if (missed(*samples))
            continue;
        const Summary b = summarize(*samples);
        std::printf("  %s %7.1f/%7.1f/%7.1f ms   peak RSS %7ld KiB   ratio %.2fx, memory %.2fx\n",
                    name, b.min, b.median, b.max, b.peakKiB, ratio(a.median, b.median),
                    ratio(double(a.peakKiB), double(b.peakKiB)));
    }
    if (!also.isEmpty() && !missed(alsoSamples)) {
        const Summary b = summarize(alsoSamples);
        std::printf("also %s\n", qPrintable(also));
        std::printf("  %7.1f/%7.1f/%7.1f ms   peak RSS %7ld KiB   against the minimal window "
                    "%.2fx; quellnet against it %.2fx\n",
                    b.min, b.median, b.max, b.peakKiB, ratio(b.median, m.median),
                    ratio(a.median, b.median));
    }
    return 0;
}
