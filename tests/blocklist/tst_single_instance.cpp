// Two launches of the real app on one blocklist: the second hands its activation token to the
// first and exits without opening the store; a socket left by a killed copy is replaced.
#include "TestEnvironment.h"

#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/** Starts the app with the test's folders and `token` (NAME=VALUE, if any), logging its
    single-instance decisions. */
void launch(QProcess &app, const QString &token = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_LOGGING_RULES"_s, u"quellnet.app.info=true"_s);
    environment.remove(u"XDG_ACTIVATION_TOKEN"_s);
    environment.remove(u"DESKTOP_STARTUP_ID"_s);
    if (!token.isEmpty())
        environment.insert(token.section(u'=', 0, 0), token.section(u'=', 1));
    app.setProcessEnvironment(environment);
    app.setReadChannel(QProcess::StandardError);
    app.start(QStringLiteral(QUELLNET_APP_PATH), QStringList());
}

/** Reads `app`'s log until a line matches `pattern`: its first capture, or the log read. */
QString waitForLine(QProcess &app, const QString &pattern) {
    const QRegularExpression expression(pattern);
    QString seen;
    for (;;) {
        while (app.canReadLine()) {
            seen += QString::fromUtf8(app.readLine());
            if (const auto match = expression.match(seen.section(u'\n', -2)); match.hasMatch())
                return match.captured(1);
        }
        if (!app.waitForReadyRead(60000))
            return u"not logged; the log: "_s + seen;
    }
}

const QString listening = u"Listening for later launches on (\\S+)"_s;
const QString activated = u"Activation requested by a later launch \\(token: (.*)\\)"_s;

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
        m_socket = waitForLine(m_first, listening);
        QVERIFY2(m_socket.startsWith(m_env.root() + u"/runtime/"_s), qPrintable(m_socket));
    }
    void cleanupTestCase() {
        m_first.kill();
        m_first.waitForFinished();
    }

    void secondLaunchHandsOver_data() {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("token");
        QTest::newRow("Wayland") << u"XDG_ACTIVATION_TOKEN=wayland-token_1"_s
                                 << u"wayland-token_1"_s;
        QTest::newRow("no token") << QString() << u"none"_s;
    }
    void secondLaunchHandsOver() {
        QFETCH(QString, environment);
        QFETCH(QString, token);
        QProcess second;
        launch(second, environment);
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitCode(), 0);
        // It left before opening the store or the display: its only words are the handover.
        QCOMPARE(second.readAllStandardError(),
                 QByteArray("quellnet.app: Handed over to the running copy\n"));
        QCOMPARE(waitForLine(m_first, activated), token);
    }

    // Another program's token with anything but printable ASCII is not passed on.
    void controlCharacterTokenDropped() {
        QLocalSocket socket;
        socket.connectToServer(m_socket);
        QVERIFY(socket.waitForConnected(30000));
        socket.write("activate a\x01z\n");
        QVERIFY(socket.waitForDisconnected(30000));
        QCOMPARE(socket.readAll(), QByteArray("ok\n"));
        QCOMPARE(waitForLine(m_first, activated), u"none"_s);
    }

    // A copy killed outright leaves its socket behind; the next launch finds no one answering
    // there and becomes the running copy itself.
    void staleSocketReplaced() {
        m_first.kill();
        QVERIFY(m_first.waitForFinished(30000) && QFileInfo::exists(m_socket));
        launch(m_first);
        QCOMPARE(waitForLine(m_first, listening), m_socket);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
