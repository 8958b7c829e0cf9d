// The desktop window around the screens: its state file must survive any content a disk can
// hold without losing or following anything, a saved geometry must open on today's screens,
// and light or dark must follow the desktop's palette and its settings portal.
#include "TestEnvironment.h"

#include "app/AppIdentity.h"
#include "screens/Appearance.h"
#include "screens/WindowState.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QTest>
#include <QWindow>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
const QByteArray validState =
    R"({"version": 1, "x": 40, "y": 30, "width": 800, "height": 600, "maximized": true})";

bool writeFile(const QString &path, const QByteArray &data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QPalette paletteOf(const QColor &window, const QColor &text) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

/** What the settings portal answers to Read: the value in two variants, as the real one does. */
class FakeSettingsPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint colorScheme = Appearance::preferDark;

public Q_SLOTS:
    QDBusVariant Read(const QString &group, const QString &key) {
        if (group != u"org.freedesktop.appearance"_s || key != u"color-scheme"_s)
            return QDBusVariant(QVariant::fromValue(QDBusVariant(QString())));
        return QDBusVariant(QVariant::fromValue(QDBusVariant(colorScheme)));
    }
};
} // namespace

class DesktopWindowTest : public QObject {
    Q_OBJECT
    TestEnvironment m_env;

    QString statePath() const { return m_env.stateHome() + u"/Quellnet/window-state.json"_s; }
    void clearStateFolder() {
        QDir(m_env.stateHome() + u"/Quellnet"_s).removeRecursively();
        QVERIFY(QDir().mkpath(m_env.stateHome() + u"/Quellnet"_s));
    }

private Q_SLOTS:
    void initTestCase() {
        installAppIdentity();
        QCOMPARE(WindowStateFile::defaultPath(), statePath());
    }

    void readingNeverChangesTheFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("status");
        const int ok = int(WindowStateFile::Status::ok);
        const int damaged = int(WindowStateFile::Status::damaged);
        const int refused = int(WindowStateFile::Status::refused);
        QTest::newRow("saved") << u"file"_s << validState << ok;
        QTest::newRow("empty") << u"file"_s << QByteArray() << damaged;
        QTest::newRow("not JSON") << u"file"_s << QByteArray("x=40\ny=30\n") << damaged;
        QTest::newRow("cut short") << u"file"_s << validState.left(40) << damaged;
        QTest::newRow("no height")
            << u"file"_s << QByteArray(R"({"version":1,"x":0,"y":0,"width":9,"maximized":false})")
            << damaged;
        QTest::newRow("size as text")
            << u"file"_s
            << QByteArray(R"({"version":1,"x":0,"y":0,"width":"9","height":9,"maximized":false})")
            << damaged;
        QTest::newRow("fraction")
            << u"file"_s
            << QByteArray(R"({"version":1,"x":0.5,"y":0,"width":9,"height":9,"maximized":false})")
            << damaged;
        QTest::newRow("no width")
            << u"file"_s
            << QByteArray(R"({"version":1,"x":0,"y":0,"width":0,"height":9,"maximized":false})")
            << damaged;
        QTest::newRow("beyond X11")
            << u"file"_s
            << QByteArray(R"({"version":1,"x":1e9,"y":0,"width":9,"height":9,"maximized":false})")
            << damaged;
        QTest::newRow("later version")
            << u"file"_s
            << QByteArray(R"({"version":2,"x":0,"y":0,"width":9,"height":9,"maximized":false})")
            << damaged;
        QTest::newRow("maximized as text")
            << u"file"_s
            << QByteArray(R"({"version":1,"x":0,"y":0,"width":9,"height":9,"maximized":"no"})")
            << damaged;
        QTest::newRow("huge") << u"file"_s << QByteArray(5000, ' ') + validState << refused;
        QTest::newRow("link to a valid file") << u"link"_s << validState << refused;
        QTest::newRow("folder") << u"folder"_s << QByteArray() << refused;
        QTest::newRow("FIFO, nothing written to it") << u"fifo"_s << QByteArray() << refused;
    }
    void readingNeverChangesTheFile() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(int, status);
        clearStateFolder();
        const QString path = statePath();
        const QString target = m_env.root() + u"/elsewhere.json"_s;
        if (kind == u"file"_s)
            QVERIFY(writeFile(path, content));
        else if (kind == u"link"_s)
            QVERIFY(writeFile(target, content) && QFile::link(target, path));
        else if (kind == u"folder"_s)
            QVERIFY(QDir().mkpath(path));
        else
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

        WindowStateFile file(path);
        const WindowStateFile::ReadResult result = file.read();
        QCOMPARE(int(result.status), status);
        QCOMPARE(result.geometry.has_value(), status == int(WindowStateFile::Status::ok));
        if (result.geometry)
            QCOMPARE(*result.geometry, (WindowGeometry{QRect(40, 30, 800, 600), true}));
        QCOMPARE(result.message.isEmpty(), status == int(WindowStateFile::Status::ok));
        if (kind == u"file"_s)
            QCOMPARE(readFile(path), content);
        QCOMPARE(QDir(m_env.stateHome() + u"/Quellnet"_s)
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{u"window-state.json"_s});
    }

    // Saving over what reading found: nothing there, a damaged file (set aside intact), or
    // something that is not ours to replace (left as it is).
    void writingLosesNothing_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("first save") << u"none"_s << QByteArray() << true << false;
        QTest::newRow("over a saved state") << u"file"_s << validState << true << false;
        QTest::newRow("over a damaged file") << u"file"_s << QByteArray("{garbage") << true << true;
        QTest::newRow("over a link") << u"link"_s << validState << false << false;
        QTest::newRow("over a huge file") << u"file"_s << QByteArray(5000, 'x') << false << false;
    }
    void writingLosesNothing() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(bool, written);
        QFETCH(bool, setAside);
        QDir(m_env.stateHome() + u"/Quellnet"_s).removeRecursively();
        const QString path = statePath();
        const QString target = m_env.root() + u"/elsewhere.json"_s;
        if (kind != u"none"_s)
            QVERIFY(QDir().mkpath(m_env.stateHome() + u"/Quellnet"_s));
        if (kind == u"file"_s)
            QVERIFY(writeFile(path, content));
        else if (kind == u"link"_s)
            QVERIFY(writeFile(target, content) && QFile::link(target, path));

        WindowStateFile file(path);
        const WindowGeometry geometry{QRect(-300, 20, 500, 700), false};
        QString error;
        QCOMPARE(file.write(geometry, &error), written);
        QCOMPARE(error.isEmpty(), written);
        if (written)
            QCOMPARE(file.read().geometry, geometry);
        else if (kind == u"link"_s)
            QVERIFY(QFileInfo(path).isSymLink() && readFile(target) == content);
        else
            QCOMPARE(readFile(path), content);
        const QStringList aside = QDir(m_env.stateHome() + u"/Quellnet"_s)
                                      .entryList({u"window-state.json.corrupt-*"_s}, QDir::Files);
        QCOMPARE(aside.size(), setAside ? 1 : 0);
        if (setAside)
            QCOMPARE(readFile(m_env.stateHome() + u"/Quellnet/"_s + aside.first()), content);
    }

    void savedGeometryOpensOnTodaysScreens_data() {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("position"); // (0, 0): left to the window manager
        const QList<QRect> laptop{QRect(0, 0, 1920, 1040)};
        const QList<QRect> twoScreens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        QTest::newRow("where it was")
            << QRect(100, 80, 800, 600) << laptop << QSize(800, 600) << QPoint(100, 80);
        QTest::newRow("larger than the screen")
            << QRect(10, 10, 3000, 2000) << laptop << QSize(1920, 1040) << QPoint(10, 10);
        QTest::newRow("its screen unplugged")
            << QRect(2500, 100, 800, 600) << laptop << QSize(800, 600) << QPoint();
        QTest::newRow("top edge above the screen")
            << QRect(100, -200, 800, 600) << laptop << QSize(800, 600) << QPoint();
        QTest::newRow("a sliver on the screen")
            << QRect(1900, 100, 800, 600) << laptop << QSize(800, 600) << QPoint();
        QTest::newRow("on the second, smaller screen")
            << QRect(2000, 100, 1600, 900) << twoScreens << QSize(1280, 900) << QPoint(2000, 100);
        QTest::newRow("unplugged, the largest screen left takes it")
            << QRect(5000, 0, 2000, 1100) << twoScreens << QSize(1920, 1080) << QPoint();
        QTest::newRow("no screen known")
            << QRect(5000, 0, 2000, 1100) << QList<QRect>() << QSize(2000, 1100) << QPoint();
    }
    void savedGeometryOpensOnTodaysScreens() {
        QFETCH(QRect, saved);
        QFETCH(QList<QRect>, screens);
        QFETCH(QSize, size);
        QFETCH(QPoint, position);
        for (const bool maximized : {false, true}) {
            const WindowPlacement placement = placeWindow({saved, maximized}, screens);
            QCOMPARE(placement.size, size);
            QCOMPARE(placement.position.value_or(QPoint()), position);
            QCOMPARE(placement.position.has_value(), !position.isNull());
            QCOMPARE(placement.maximized, maximized);
        }
    }

    // A real window: resized and moved, the keeper saves it; the next run opens it there.
    void keeperSavesWhatTheNextRunOpens() {
        clearStateFolder();
        {
            WindowStateKeeper keeper(statePath());
            QVERIFY(!keeper.placement());
            QWindow window;
            window.setGeometry(10, 20, 390, 844);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            keeper.follow(&window);
            window.setGeometry(50, 60, 500, 400);
            QTRY_VERIFY(QFile::exists(statePath()));
            QCOMPARE(WindowStateFile(statePath()).read().geometry,
                     (WindowGeometry{QRect(50, 60, 500, 400), false}));
            window.setWindowState(Qt::WindowMaximized);
            QTRY_VERIFY(WindowStateFile(statePath()).read().geometry->maximized);
        }
        WindowStateKeeper next(statePath());
        const std::optional<WindowPlacement> placement = next.placement();
        QVERIFY(placement);
        QCOMPARE(placement->size, QSize(500, 400));
        QCOMPARE(placement->maximized, true);
    }

    void paletteOrPortalChoosesDark_data() {
        QTest::addColumn<int>("portal"); // -1: no answer
        QTest::addColumn<QColor>("window");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<bool>("dark");
        const QColor light(0xef, 0xef, 0xef), dark(0x2a, 0x2a, 0x2e);
        QTest::newRow("light palette") << -1 << light << QColor(Qt::black) << false;
        QTest::newRow("dark palette") << -1 << dark << QColor(Qt::white) << true;
        QTest::newRow("portal: no preference") << 0 << dark << QColor(Qt::white) << true;
        QTest::newRow("portal prefers dark") << 1 << light << QColor(Qt::black) << true;
        QTest::newRow("portal prefers light") << 2 << dark << QColor(Qt::white) << false;
        QTest::newRow("portal value of a later version") << 7 << dark << QColor(Qt::white) << true;
        QTest::newRow("grey on grey") << -1 << QColor(Qt::gray) << QColor(Qt::gray) << false;
    }
    void paletteOrPortalChoosesDark() {
        QFETCH(int, portal);
        QFETCH(QColor, window);
        QFETCH(QColor, text);
        QFETCH(bool, dark);
        const std::optional<uint> answer = portal < 0 ? std::nullopt : std::optional(uint(portal));
        QCOMPARE(Appearance::prefersDark(answer, paletteOf(window, text)), dark);
    }

    void portalRepliesUnwrapped_data() {
        QTest::addColumn<QVariant>("reply");
        QTest::addColumn<int>("value"); // -1: none
        const auto wrap = [](const QVariant &v) { return QVariant::fromValue(QDBusVariant(v)); };
        QTest::newRow("ReadOne") << wrap(1u) << 1;
        QTest::newRow("Read") << wrap(wrap(2u)) << 2;
        QTest::newRow("bare") << QVariant(0u) << 0;
        QTest::newRow("signed") << wrap(1) << -1;
        QTest::newRow("text") << wrap(u"prefer-dark"_s) << -1;
        QTest::newRow("nothing") << QVariant() << -1;
        QTest::newRow("too deep") << wrap(wrap(wrap(wrap(1u)))) << -1;
    }
    void portalRepliesUnwrapped() {
        QFETCH(QVariant, reply);
        QFETCH(int, value);
        QCOMPARE(Appearance::portalValue(reply),
                 value < 0 ? std::nullopt : std::optional(uint(value)));
    }

    // Through a session bus of its own with a stand-in portal: the first answer and a change.
    void appearanceAsksAndFollowsThePortal() {
        QProcess bus;
        bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        if (!bus.waitForStarted())
            QSKIP("dbus-daemon is not installed (Debian package dbus)");
        QVERIFY(bus.waitForReadyRead());
        const QByteArray address = bus.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        QDBusConnection service =
            QDBusConnection::connectToBus(QString::fromUtf8(address), u"portal"_s);
        QVERIFY(service.isConnected());
        FakeSettingsPortal portal;
        QVERIFY(service.registerObject(u"/org/freedesktop/portal/desktop"_s, &portal,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(u"org.freedesktop.portal.Desktop"_s));

        const QPalette before = QGuiApplication::palette();
        QGuiApplication::setPalette(paletteOf(Qt::white, Qt::black));
        {
            Appearance appearance;
            appearance.followDesktopPortal();
            QTRY_VERIFY(appearance.isDark());

            QDBusMessage changed = QDBusMessage::createSignal(u"/org/freedesktop/portal/desktop"_s,
                                                              u"org.freedesktop.portal.Settings"_s,
                                                              u"SettingChanged"_s);
            changed << u"org.freedesktop.appearance"_s << u"color-scheme"_s
                    << QVariant::fromValue(QDBusVariant(uint(Appearance::preferLight)));
            QVERIFY(service.send(changed));
            QTRY_VERIFY(!appearance.isDark());
        }
        QGuiApplication::setPalette(before);
        QDBusConnection::disconnectFromBus(u"portal"_s);
        bus.terminate();
        QVERIFY(bus.waitForFinished());
    }
};

QTEST_MAIN(DesktopWindowTest)
#include "tst_desktopwindow.moc"
