// The start-up benchmark's reports from the app: the first-frame line when asked, the steps of
// the start only when asked for them too, and not a word more otherwise.
#include "TestEnvironment.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

#ifndef QUELLNET_APP_PATH
#define QUELLNET_APP_PATH "" // the app is not built here: the test is skipped
#endif

namespace {
struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

/** Runs the app until its first frame with `variables` set to 1. */
Run runToFirstFrame(const QStringList &variables) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QUELLNET_BENCH_PHASES"_s);
    for (const QString &variable : variables)
        environment.insert(variable, u"1"_s);
    QProcess app;
    app.setProcessEnvironment(environment);
    app.start(QStringLiteral(QUELLNET_APP_PATH), QStringList());
    Run run;
    if (!app.waitForFinished(60000)) {
        app.kill();
        app.waitForFinished();
        return run;
    }
    run.exitCode = app.exitStatus() == QProcess::NormalExit ? app.exitCode() : -1;
    run.out = app.readAllStandardOutput();
    run.err = app.readAllStandardError();
    return run;
}

/** The "phase NAME NS" lines of `log`, in order. */
QList<std::pair<QByteArray, qint64>> phases(const QByteArray &log) {
    QList<std::pair<QByteArray, qint64>> found;
    for (const QByteArray &line : log.split('\n'))
        if (const QList<QByteArray> fields = line.split(' ');
            fields.size() == 3 && fields.at(0) == "phase")
            found.append({fields.at(1), fields.at(2).toLongLong()});
    return found;
}
} // namespace

class TestFirstFrameReport : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        if (QStringLiteral(QUELLNET_APP_PATH).isEmpty())
            QSKIP("the app is not built");
    }

    // Asked for the first frame alone, the app says only that; the steps stay silent.
    void firstFrameAlone() {
        const Run run = runToFirstFrame({u"QUELLNET_BENCH_FIRST_FRAME"_s});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith("first-frame ") && run.out.count('\n') == 1, run.out);
        QVERIFY2(phases(run.err).isEmpty(), run.err);
        QVERIFY2(!run.err.contains("\ncpu ") && !run.err.startsWith("cpu "), run.err);
    }

    // With the steps asked for too, they come in the order the start takes them, on one clock,
    // ending with the first frame, followed by each thread's processor time.
    void stepsInOrder() {
        const Run run =
            runToFirstFrame({u"QUELLNET_BENCH_FIRST_FRAME"_s, u"QUELLNET_BENCH_PHASES"_s});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith("first-frame "), run.out);
        const auto steps = phases(run.err);
        QByteArrayList names;
        for (const auto &[name, at] : steps)
            names << name;
        QCOMPARE(names,
                 QByteArrayList({"main", "single-instance", "gui-application", "app-constructed",
                                 "listening", "preload-started", "fonts-loaded", "qml-created",
                                 "first-sync", "first-render", "frame-swapped"}));
        for (qsizetype i = 1; i < steps.size(); ++i)
            QVERIFY2(steps.at(i).second >= steps.at(i - 1).second, steps.at(i).first);
        QVERIFY2(run.err.contains("\ncpu "), run.err);
    }
};

QTEST_GUILESS_MAIN(TestFirstFrameReport)
#include "tst_first_frame_report.moc"
