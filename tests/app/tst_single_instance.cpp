// One running copy per program, its lock and socket in a folder only this account controls.
#include "TestEnvironment.h"
#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

#ifndef QUELLNET_APP_PATH
#define QUELLNET_APP_PATH "" // the app is not built here: the test is skipped
#endif

namespace {

/** Starts the app with `environment` and `token` (NAME=VALUE), logging its decisions. */
void launch(QProcess &app, const QString &token = {},
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment()) {
    environment.insert(u"QT_LOGGING_RULES"_s, u"quellnet.instance.info=true"_s);
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

void stop(QProcess &app) {
    app.kill();
    app.waitForFinished();
}

bool makeFolder(const QString &path, QFile::Permissions permissions) {
    return QDir().mkpath(path) && QFile::setPermissions(path, permissions);
}

const QString listening = u"Listening for later launches on (\\S+)"_s;
const QString activated = u"Activation requested by a later launch \\(token: (.*)\\)"_s;
constexpr auto privateMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    QProcess m_first;
    QString m_socket;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        if (QStringLiteral(QUELLNET_APP_PATH).isEmpty())
            QSKIP("the app is not built");
    }
    void cleanupTestCase() { stop(m_first); }

    // Another name is another program: it does not reach the first.
    void otherNameIsOtherProgram() {
        SingleInstance first(u"window-a"_s);
        QCOMPARE(first.handOver("unused"), SingleInstance::Launch::first);
        first.listen([](const QByteArray &) { QFAIL("reached by another program"); });
        SingleInstance other(u"window-b"_s);
        QCOMPARE(other.handOver("x"), SingleInstance::Launch::first);
    }

    void secondLaunchHandsOver() {
        launch(m_first);
        m_socket = waitForLine(m_first, listening);
        QVERIFY2(m_socket.startsWith(m_env.root() + u"/runtime/"_s), qPrintable(m_socket));
        QProcess second;
        launch(second, u"XDG_ACTIVATION_TOKEN=wayland-token_1"_s);
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitCode(), 0);
        // It left before opening the store or the display: its only words are the handover.
        QCOMPARE(second.readAllStandardError(),
                 QByteArray("quellnet.instance: Handed over to the running copy\n"));
        QCOMPARE(waitForLine(m_first, activated), u"wayland-token_1"_s);
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

    // A killed copy's socket is left behind; the next launch answers on it itself.
    void staleSocketReplaced() {
        m_first.kill();
        QVERIFY(m_first.waitForFinished(30000) && QFileInfo::exists(m_socket));
        launch(m_first);
        QCOMPARE(waitForLine(m_first, listening), m_socket);
    }

    // A lock planted as a link is refused by that name, not reported as a missing file.
    void lockLinkRefused() {
        const QString runtime = m_env.root() + u"/runtime-link"_s;
        QVERIFY(makeFolder(runtime, privateMode));
        const QString lock = runtime + u'/' + QFileInfo(m_socket).completeBaseName() + u".lock"_s;
        QVERIFY(QFile::link(m_env.root() + u"/elsewhere"_s, lock));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        QProcess app;
        launch(app, {}, environment);
        const QString said = waitForLine(app, u"No lock for a single running copy at \\S+: (.*)"_s);
        stop(app);
        QCOMPARE(said, u"it is a link and is refused"_s);
        QVERIFY(!QFileInfo::exists(m_env.root() + u"/elsewhere"_s));
    }

    // Runtime folders another account made or can enter are refused with the reason logged,
    // and the hand-over still works through a folder in this account's own files.
    void unsafeRuntimeFolderRefused_data() {
        QTest::addColumn<bool>("runtimeSet");
        QTest::addColumn<bool>("otherOwner");
        QTest::addColumn<bool>("link");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no XDG_RUNTIME_DIR, temp folder another account's")
            << false << true << false << u"it belongs to uid 65534"_s;
        QTest::newRow("no XDG_RUNTIME_DIR, temp folder open to all")
            << false << false << false << u"its mode is 0777, not 0700"_s;
        QTest::newRow("XDG_RUNTIME_DIR another account's")
            << true << true << false << u"it belongs to uid 65534"_s;
        QTest::newRow("XDG_RUNTIME_DIR a link to a private folder")
            << true << false << true << u"it is a link"_s;
    }
    void unsafeRuntimeFolderRefused() {
        QFETCH(bool, runtimeSet);
        QFETCH(bool, otherOwner);
        QFETCH(bool, link);
        QFETCH(QString, reason);
        QTemporaryDir scratch(m_env.root() + u"/row-XXXXXX"_s);
        const QString temp = scratch.path() + u"/tmp"_s;
        QVERIFY(makeFolder(temp, privateMode));
        // Without XDG_RUNTIME_DIR the next choice is Qt's own, then one in this account's files.
        const QString tempRuntime =
            temp + u"/runtime-"_s + QString::fromLocal8Bit(getpwuid(geteuid())->pw_name);
        const QString planted = runtimeSet ? scratch.path() + u"/xdg-runtime"_s : tempRuntime;
        const QString expected = runtimeSet ? tempRuntime : scratch.path() + u"/cache/runtime"_s;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, temp);
        environment.insert(u"XDG_CACHE_HOME"_s, scratch.path() + u"/cache"_s);
        if (runtimeSet)
            environment.insert(u"XDG_RUNTIME_DIR"_s, planted);
        else
            environment.remove(u"XDG_RUNTIME_DIR"_s);
        if (link) {
            QVERIFY(makeFolder(scratch.path() + u"/private"_s, privateMode));
            QVERIFY(QFile::link(scratch.path() + u"/private"_s, planted));
        } else {
            QVERIFY(makeFolder(planted, otherOwner ? privateMode : QFile::Permissions(0x7777)));
        }
        if (otherOwner && ::chown(QFile::encodeName(planted).constData(), 65534, 65534) != 0)
            QSKIP("another account's folder needs root to make");
        QProcess first;
        const auto stopFirst = qScopeGuard([&first] { stop(first); });
        launch(first, {}, environment);
        const QString refused = waitForLine(
            first, u"The folder (\\S+) is refused for the lock of a single running copy"_s);
        const QString socket = waitForLine(first, listening);
        QCOMPARE(refused, planted);
        QVERIFY2(socket.startsWith(expected + u'/'), qPrintable(socket));
        QProcess second;
        launch(second, u"XDG_ACTIVATION_TOKEN=row"_s, environment);
        QVERIFY(second.waitForFinished(60000));
        const QByteArray said = second.readAllStandardError();
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(said.contains(reason.toUtf8()), said.constData());
        QVERIFY2(said.endsWith("Handed over to the running copy\n"), said.constData());
        QCOMPARE(waitForLine(first, activated), u"row"_s);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
