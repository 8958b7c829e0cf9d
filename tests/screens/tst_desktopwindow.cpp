// The desktop window around the screens: its state file must survive any content a disk can
// hold without losing or following anything, a saved geometry must open on today's screens,
// and light or dark must follow the desktop's palette and its settings portal's replies.
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "app/AppIdentity.h"
#include "screens/Appearance.h"
#include "screens/WindowState.h"

#include <QDBusVariant>
#include <QDir>
#include <QPalette>
#include <QTest>
#include <QWindow>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Status = WindowStateFile::Status;
Q_DECLARE_METATYPE(Status)

namespace {
const QByteArray validState =
    R"({"version": 1, "x": 40, "y": 30, "width": 800, "height": 600, "maximized": true})";

QPalette paletteOf(const QColor &window, const QColor &text) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

QVariant wrapped(const QVariant &value, int times = 1) {
    return times == 0 ? value : wrapped(QVariant::fromValue(QDBusVariant(value)), times - 1);
}
} // namespace

class DesktopWindowTest : public QObject {
    Q_OBJECT
    TestEnvironment m_env;

    QString statePath() const { return m_env.stateHome() + u"/Quellnet/window-state.json"_s; }

private Q_SLOTS:
    void initTestCase() { installAppIdentity(); }

    // Every shape of damage reads as damaged, anything not a small plain file is refused, and
    // reading leaves the folder as it was. Saving then sets a damaged file aside intact and
    // leaves what it refused as it is.
    void stateFileLosesNothing_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Status>("status");
        const QByteArray v1 = R"({"version":1,"x":0,"y":0,"width":9,"height":9,"maximized":false})";
        const auto damaged = [](const char *name, const QByteArray &content) {
            QTest::newRow(name) << u"file"_s << content << Status::damaged;
        };
        QTest::newRow("nothing saved") << u"none"_s << QByteArray() << Status::absent;
        QTest::newRow("saved") << u"file"_s << validState << Status::ok;
        damaged("empty", {});
        damaged("not JSON", "x=40\ny=30\n");
        damaged("later version", QByteArray(v1).replace(":1,", ":2,"));
        damaged("no height", QByteArray(v1).replace(R"(,"height":9)", ""));
        damaged("fraction", QByteArray(v1).replace("0,", "0.5,"));
        damaged("no width", QByteArray(v1).replace(":9,", ":0,"));
        damaged("beyond X11", QByteArray(v1).replace(":0,", ":1e9,"));
        damaged("maximized as text", QByteArray(v1).replace("false", "\"no\""));
        QTest::newRow("huge") << u"file"_s << QByteArray(5000, ' ') + validState << Status::refused;
        QTest::newRow("link to a valid file") << u"link"_s << validState << Status::refused;
        QTest::newRow("folder") << u"folder"_s << QByteArray() << Status::refused;
        QTest::newRow("FIFO, nothing written to it")
            << u"fifo"_s << QByteArray() << Status::refused;
    }
    void stateFileLosesNothing() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(Status, status);
        const QString folder = m_env.stateHome() + u"/Quellnet"_s, path = statePath();
        const QString target = m_env.root() + u"/elsewhere.json"_s;
        QVERIFY(QDir(folder).removeRecursively() && QDir().mkpath(folder));
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
        QCOMPARE(result.status, status);
        QCOMPARE(result.geometry, status == Status::ok
                                      ? std::optional(WindowGeometry{QRect(40, 30, 800, 600), true})
                                      : std::nullopt);
        QCOMPARE(result.message.isEmpty(), status == Status::ok || status == Status::absent);
        QCOMPARE(entries(), before);

        const WindowGeometry geometry{QRect(-300, 20, 500, 700), false};
        QString error;
        QCOMPARE(file.write(geometry, &error), status != Status::refused);
        QCOMPARE(error.isEmpty(), status != Status::refused);
        if (status != Status::refused)
            QCOMPARE(file.read().geometry, geometry);
        else if (kind != u"folder"_s && kind != u"fifo"_s)
            QCOMPARE(fileBytes(kind == u"link"_s ? target : path), content);
        QVERIFY(kind != u"link"_s || QFileInfo(path).isSymLink());
        const QStringList aside = QDir(folder).entryList({u"window-state.json.corrupt-*"_s});
        QCOMPARE(aside.size(), status == Status::damaged ? 1 : 0);
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
        row("on the second, smaller screen", {2000, 100, 1600, 900}, two, {1280, 900}, {2000, 100});
        row("unplugged, the largest left takes it", {5000, 0, 2000, 1100}, two, {1920, 1080}, {});
        row("no screen known", {5000, 0, 2000, 1100}, {}, {2000, 1100}, {});
    }
    void savedGeometryOpensOnTodaysScreens() {
        QFETCH(QRect, saved);
        QFETCH(QList<QRect>, screens);
        QFETCH(QSize, size);
        QFETCH(QPoint, position);
        const std::optional<QPoint> at = position.isNull() ? std::nullopt : std::optional(position);
        for (const bool maximized : {false, true})
            QCOMPARE(placeWindow({saved, maximized}, screens),
                     (WindowPlacement{size, at, maximized}));
    }

    // A real window: resized and moved, then maximized, the keeper saves it; the next run opens
    // it there.
    void keeperSavesWhatTheNextRunOpens() {
        QFile::remove(statePath());
        {
            WindowStateKeeper keeper(statePath());
            QWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            keeper.follow(&window);
            window.setGeometry(50, 60, 500, 400);
            QTRY_COMPARE(WindowStateFile(statePath()).read().geometry,
                         (WindowGeometry{QRect(50, 60, 500, 400), false}));
            window.setWindowState(Qt::WindowMaximized);
            QTRY_VERIFY(WindowStateFile(statePath()).read().geometry->maximized);
        }
        const std::optional<WindowPlacement> placement = WindowStateKeeper(statePath()).placement();
        QVERIFY(placement && placement->size == QSize(500, 400) && placement->maximized);
    }

    // The portal's answer arrives wrapped once (ReadOne) or twice (Read); anything else is none.
    // A stated preference wins over the palette; otherwise the palette's text lighter than its
    // window is dark.
    void paletteOrPortalChoosesDark_data() {
        QTest::addColumn<QVariant>("reply");
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<bool>("dark");
        const QPalette light = paletteOf(QColor(0xef, 0xef, 0xef), Qt::black);
        const QPalette dark = paletteOf(QColor(0x2a, 0x2a, 0x2e), Qt::white);
        QTest::newRow("no answer, light palette") << QVariant() << light << false;
        QTest::newRow("no answer, dark palette") << QVariant() << dark << true;
        QTest::newRow("no preference") << wrapped(0u) << dark << true;
        QTest::newRow("prefers dark, as Read") << wrapped(1u, 2) << light << true;
        QTest::newRow("prefers light, as ReadOne") << wrapped(2u) << dark << false;
        QTest::newRow("unwrapped, as a change") << QVariant(1u) << light << true;
        QTest::newRow("value of a later version") << wrapped(7u) << dark << true;
        QTest::newRow("text") << wrapped(u"prefer-dark"_s) << light << false;
        QTest::newRow("wrapped too deep") << wrapped(1u, 4) << light << false;
    }
    void paletteOrPortalChoosesDark() {
        QFETCH(QVariant, reply);
        QFETCH(QPalette, palette);
        QFETCH(bool, dark);
        QCOMPARE(Appearance::prefersDark(Appearance::portalValue(reply), palette), dark);
    }
};

QTEST_MAIN(DesktopWindowTest)
#include "tst_desktopwindow.moc"
