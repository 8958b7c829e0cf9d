// Two launches of the real app on one blocklist: the second hands its activation token to the
// first and exits without opening the store; a socket left by a killed copy is replaced.
#include "TestEnvironment.h"

#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/** Starts the app with the test's folders, logging its single-instance decisions. */
void launch(QProcess &app, const QStringList &extraEnvironment = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"QT_LOGGING_RULES"_s, u"quellnet.app.info=true"_s);
    environment.remove(u"XDG_ACTIVATION_TOKEN"_s);
    environment.remove(u"DESKTOP_STARTUP_ID"_s);
    for (const QString &setting : extraEnvironment)
        environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    app.setProcessEnvironment(environment);
    app.setReadChannel(QProcess::StandardError);
    app.start(QStringLiteral(QUELLNET_APP_PATH), QStringList());
}

/** Reads `app`'s log until a line matches `pattern`; returns the match, or an empty one. */
QRegularExpressionMatch waitForLine(QProcess &app, const QRegularExpression &pattern,
                                    QByteArray *seen) {
    for (;;) {
        while (app.canReadLine()) {
            const QByteArray line = app.readLine();
            *seen += line;
            if (auto match = pattern.match(QString::fromUtf8(line)); match.hasMatch())
                return match;
        }
        if (!app.waitForReadyRead(60000))
            return {};
    }
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    QProcess m_first;
    QString m_socket;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        launch(m_first);
        QByteArray seen;
        const auto listening = waitForLine(
            m_first, QRegularExpression(u"Listening for later launches on (\\S+)"_s), &seen);
        QVERIFY2(listening.hasMatch(), seen.constData());
        m_socket = listening.captured(1);
        QVERIFY(m_socket.startsWith(m_env.root() + u"/runtime/"_s));
    }
    void cleanupTestCase() {
        m_first.kill();
        m_first.waitForFinished();
    }

    void secondLaunchHandsOver_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("token");
        QTest::newRow("Wayland activation token")
            << QStringList{u"XDG_ACTIVATION_TOKEN=wayland-token_1"_s} << u"wayland-token_1"_s;
        QTest::newRow("X11 startup id") << QStringList{u"DESKTOP_STARTUP_ID=x11-startup_2_TIME42"_s}
                                        << u"x11-startup_2_TIME42"_s;
        QTest::newRow("no token") << QStringList() << u"none"_s;
    }
    void secondLaunchHandsOver() {
        QFETCH(QStringList, environment);
        QFETCH(QString, token);
        QProcess second;
        launch(second, environment);
        QVERIFY(second.waitForFinished(60000));
        const QByteArray log = second.readAllStandardError();
        QVERIFY2(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0,
                 log.constData());
        // It left before opening the store or the display: its only words are the handover.
        QCOMPARE(log, QByteArray("quellnet.app: Handed over to the running copy\n"));
        QByteArray seen;
        const auto activated = waitForLine(
            m_first,
            QRegularExpression(u"Activation requested by a later launch \\(token: (.*)\\)"_s),
            &seen);
        QVERIFY2(activated.hasMatch(), seen.constData());
        QCOMPARE(activated.captured(1), token);
    }

    // What other programs may send on the socket: answered only when it is a request to come
    // forward, and a token with anything but printable ASCII is not passed on.
    void oddRequests_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("answered");
        QTest::newRow("control character") << QByteArray("activate a\x01z\n") << true;
        QTest::newRow("unknown request") << QByteArray("quit\n") << false;
        QTest::newRow("no end of line") << QByteArray(4000, 'a') << false;
    }
    void oddRequests() {
        QFETCH(QByteArray, request);
        QFETCH(bool, answered);
        QLocalSocket socket;
        socket.connectToServer(m_socket);
        QVERIFY(socket.waitForConnected(30000));
        socket.write(request);
        QVERIFY(socket.waitForDisconnected(30000));
        QCOMPARE(socket.readAll(), answered ? QByteArray("ok\n") : QByteArray());
        if (!answered)
            return;
        QByteArray seen;
        QVERIFY2(waitForLine(m_first, QRegularExpression(u"\\(token: none\\)"_s), &seen).hasMatch(),
                 seen.constData());
    }

    // A copy killed outright leaves its socket behind; the next launch finds no one answering
    // there and becomes the running copy itself.
    void staleSocketReplaced() {
        m_first.kill();
        QVERIFY(m_first.waitForFinished(30000));
        QVERIFY(QFileInfo(m_socket).exists());
        QProcess next;
        launch(next);
        QByteArray seen;
        const auto listening = waitForLine(
            next, QRegularExpression(u"Listening for later launches on (\\S+)"_s), &seen);
        QVERIFY2(listening.hasMatch(), seen.constData());
        QCOMPARE(listening.captured(1), m_socket);
        next.kill();
        QVERIFY(next.waitForFinished(30000));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
