// Median time from process start to first frame, and peak resident memory, of the app and of a
// minimal Qt Quick window, measured in the same run. Runs offscreen unless a display is set.
// Two more baselines give context: the minimal window with one line of text (fontconfig and
// the first font cost several ms that a blank window never pays) and a QtQuick.Controls
// ApplicationWindow.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {
struct Sample {
    double milliseconds = 0;
    long peakKiB = 0;
};

Sample launch(const QString &program, const QString &home, const QStringList &arguments = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUELLNET_BENCH_FIRST_FRAME"), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), home);
    for (const char *xdg : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        env.remove(QString::fromLatin1(xdg));
    if (!env.contains(QStringLiteral("DISPLAY")) &&
        !env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
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
    return sample;
}

Sample median(QList<Sample> samples) {
    std::sort(samples.begin(), samples.end(),
              [](const Sample &a, const Sample &b) { return a.milliseconds < b.milliseconds; });
    Sample m = samples.at(samples.size() / 2);
    long peak = 0;
    for (const Sample &s : samples)
        peak = std::max(peak, s.peakKiB);
    m.peakKiB = peak;
    return m;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;
    QTemporaryDir home;
    const QString minimal = QStringLiteral(MINIMAL_WINDOW_PATH);
    QList<Sample> appSamples, minimalSamples, textSamples, controlsSamples;
    launch(QStringLiteral(QUELLNET_APP_PATH), home.path()); // warm the file cache and the store
    for (int i = 0; i < runs; ++i) {
        minimalSamples << launch(minimal, home.path());
        appSamples << launch(QStringLiteral(QUELLNET_APP_PATH), home.path());
        textSamples << launch(minimal, home.path(), {QStringLiteral("text")});
        controlsSamples << launch(minimal, home.path(), {QStringLiteral("controls")});
    }
    const Sample a = median(appSamples), m = median(minimalSamples);
    const auto ratio = [](double x, double y) { return x / std::max(y, 0.001); };
    std::printf("start to first frame, median of %d runs\n", runs);
    std::printf("  quellnet        %8.1f ms   peak RSS %7ld KiB\n", a.milliseconds, a.peakKiB);
    std::printf("  minimal window  %8.1f ms   peak RSS %7ld KiB\n", m.milliseconds, m.peakKiB);
    std::printf("  ratio           %8.2f x    memory   %7.2f x   (aim: within 1.5x)\n",
                ratio(a.milliseconds, m.milliseconds), ratio(a.peakKiB, m.peakKiB));
    std::printf("context (quellnet against each):\n");
    for (const auto &[name, samples] : {std::pair{"window + text  ", &textSamples},
                                        std::pair{"controls window", &controlsSamples}}) {
        const Sample b = median(*samples);
        std::printf("  %s %8.1f ms   peak RSS %7ld KiB   ratio %.2f x, memory %.2f x\n", name,
                    b.milliseconds, b.peakKiB, ratio(a.milliseconds, b.milliseconds),
                    ratio(a.peakKiB, b.peakKiB));
    }
    return 0;
}
