// The desktop window around the screens: its state file must survive any content a disk can
// hold without losing or following anything, a saved geometry must open on today's screens,
// and light or dark must follow the desktop's palette and its settings portal.
#include "TestEnvironment.h"
#include "TestFiles.h"

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

    // Every shape of damage reads as damaged, anything not a small plain file is refused, and
    // reading leaves the folder as it was. Saving then sets a damaged file aside intact and
    // leaves what it refused as it is.
    void stateFileLosesNothing_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("status");
        const auto damaged = [](const char *name, const QByteArray &content) {
            QTest::newRow(name) << u"file"_s << content << int(WindowStateFile::Status::damaged);
        };
        const auto refused = [](const char *name, const QString &kind, const QByteArray &content) {
            QTest::newRow(name) << kind << content << int(WindowStateFile::Status::refused);
        };
        const QByteArray rest = R"(,"x":0,"y":0,"width":9,"height":9,"maximized":false})";
        QTest::newRow("nothing saved")
            << u"none"_s << QByteArray() << int(WindowStateFile::Status::absent);
        QTest::newRow("saved") << u"file"_s << validState << int(WindowStateFile::Status::ok);
        damaged("empty", {});
        damaged("not JSON", "x=40\ny=30\n");
        damaged("cut short", validState.left(40));
        damaged("later version", R"({"version":2)" + rest);
        damaged("no height", QByteArray(R"({"version":1)" + rest).replace(R"(,"height":9)", ""));
        damaged("size as text", QByteArray(R"({"version":1)" + rest).replace("9,", "\"9\","));
        damaged("fraction", QByteArray(R"({"version":1)" + rest).replace("0,", "0.5,"));
        damaged("no width", QByteArray(R"({"version":1)" + rest).replace(":9,", ":0,"));
        damaged("beyond X11", QByteArray(R"({"version":1)" + rest).replace(":0,", ":1e9,"));
        damaged("maximized as text",
                QByteArray(R"({"version":1)" + rest).replace("false", "\"no\""));
        refused("huge", u"file"_s, QByteArray(5000, ' ') + validState);
        refused("link to a valid file", u"link"_s, validState);
        refused("folder", u"folder"_s, {});
        refused("FIFO, nothing written to it", u"fifo"_s, {});
    }
    void stateFileLosesNothing() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(int, status);
        const QString folder = m_env.stateHome() + u"/Quellnet"_s;
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(folder));
        const QString path = statePath();
        const QString target = m_env.root() + u"/elsewhere.json"_s;
        if (kind == u"file"_s)
            QVERIFY(putFile(path, content));
        else if (kind == u"link"_s)
            QVERIFY(putFile(target, content) && QFile::link(target, path));
        else if (kind == u"folder"_s)
            QVERIFY(QDir().mkpath(path));
        else if (kind == u"fifo"_s)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        const auto entries = [&] {
            return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        };
        const QStringList before = entries();

        WindowStateFile file(path);
        const WindowStateFile::ReadResult result = file.read();
        QCOMPARE(int(result.status), status);
        const bool ok = status == int(WindowStateFile::Status::ok);
        QCOMPARE(result.geometry,
                 ok ? std::optional(WindowGeometry{QRect(40, 30, 800, 600), true}) : std::nullopt);
        QCOMPARE(result.message.isEmpty(), ok || kind == u"none"_s);
        QCOMPARE(entries(), before);
        if (kind == u"file"_s)
            QCOMPARE(fileBytes(path), content);

        const bool refused = status == int(WindowStateFile::Status::refused);
        const WindowGeometry geometry{QRect(-300, 20, 500, 700), false};
        QString error;
        QCOMPARE(file.write(geometry, &error), !refused);
        QCOMPARE(error.isEmpty(), !refused);
        if (!refused)
            QCOMPARE(file.read().geometry, geometry);
        else if (kind == u"link"_s)
            QVERIFY(QFileInfo(path).isSymLink() && fileBytes(target) == content);
        else if (kind == u"file"_s)
            QCOMPARE(fileBytes(path), content);
        const QStringList aside = QDir(folder).entryList({u"window-state.json.corrupt-*"_s});
        QCOMPARE(aside.size(), status == int(WindowStateFile::Status::damaged) ? 1 : 0);
        if (!aside.isEmpty())
            QCOMPARE(fileBytes(folder + u'/' + aside.first()), content);
    }

    void savedGeometryOpensOnTodaysScreens_data() {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("position"); // (0, 0): left to the window manager
        const QList<QRect> one{QRect(0, 0, 1920, 1040)};
        const QList<QRect> two{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        const auto row = [](const char *name, QRect saved, const QList<QRect> &screens, QSize size,
                            QPoint position) {
            QTest::newRow(name) << saved << screens << size << position;
        };
        row("where it was", {100, 80, 800, 600}, one, {800, 600}, {100, 80});
        row("larger than the screen", {10, 10, 3000, 2000}, one, {1920, 1040}, {10, 10});
        row("its screen unplugged", {2500, 100, 800, 600}, one, {800, 600}, {});
        row("top edge above the screen", {100, -200, 800, 600}, one, {800, 600}, {});
        row("a sliver on the screen", {1900, 100, 800, 600}, one, {800, 600}, {});
        row("on the second, smaller screen", {2000, 100, 1600, 900}, two, {1280, 900}, {2000, 100});
        row("unplugged, the largest left takes it", {5000, 0, 2000, 1100}, two, {1920, 1080}, {});
        row("no screen known", {5000, 0, 2000, 1100}, {}, {2000, 1100}, {});
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
        const QColor light(0xef, 0xef, 0xef), dark(0x2a, 0x2a, 0x2e), black(Qt::black),
            white(Qt::white), grey(Qt::gray);
        QTest::newRow("light palette") << -1 << light << black << false;
        QTest::newRow("dark palette") << -1 << dark << white << true;
        QTest::newRow("portal: no preference") << 0 << dark << white << true;
        QTest::newRow("portal prefers dark") << 1 << light << black << true;
        QTest::newRow("portal prefers light") << 2 << dark << white << false;
        QTest::newRow("portal value of a later version") << 7 << dark << white << true;
        QTest::newRow("grey on grey") << -1 << grey << grey << false;
    }
    void paletteOrPortalChoosesDark() {
        QFETCH(int, portal);
        QFETCH(QColor, window);
        QFETCH(QColor, text);
        QFETCH(bool, dark);
        const std::optional<uint> answer = portal < 0 ? std::nullopt : std::optional(uint(portal));
        QCOMPARE(Appearance::prefersDark(answer, paletteOf(window, text)), dark);
    }

    // The portal's answer arrives wrapped once (ReadOne) or twice (Read); anything else is none.
    void portalRepliesUnwrapped() {
        const auto wrap = [](const QVariant &v) { return QVariant::fromValue(QDBusVariant(v)); };
        QCOMPARE(Appearance::portalValue(wrap(1u)), std::optional(1u));
        QCOMPARE(Appearance::portalValue(wrap(wrap(2u))), std::optional(2u));
        QCOMPARE(Appearance::portalValue(QVariant(0u)), std::optional(0u));
        for (const QVariant &none :
             {wrap(1), wrap(u"prefer-dark"_s), QVariant(), wrap(wrap(wrap(wrap(1u))))})
            QCOMPARE(Appearance::portalValue(none), std::nullopt);
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
