// The Domains screen until the frame is drawn: one add (with its save), one delete (with its
// save) and one search keystroke, at 150 and 199 records, against the floor: a QML TextField
// and a ListView over a QSortFilterProxyModel of the same strings, written with bare SQLite.
// The real window is built exactly as tst_qml_smoke builds it (Main.qml over an AppView, the
// Domains tab selected); both windows are drawn offscreen in software and a frame counts as
// drawn when grabWindow() returns it. Each pair alternates which side runs first.
#include "AppWindowSetup.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "screens/AppView.h"
#include "screens/DomainsView.h"
#include "screens/RowListModel.h"
#include "screens/ScenePhase.h"

#include <QAnimationDriver>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSortFilterProxyModel>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <QtQml/qqmlextensionplugin.h>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

namespace {
// Transitions move only when stepped: after each timed run they are run to their end, so no run
// starts while the previous one still animates.
class SteppedAnimations : public QAnimationDriver {
public:
    SteppedAnimations() { install(); }
    ~SteppedAnimations() override { uninstall(); }
    qint64 elapsed() const override { return m_elapsed; }
    void finish() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::sendPostedEvents();
        for (int i = 0; i < 40 && isRunning(); ++i) {
            m_elapsed += 250;
            advance();
            QCoreApplication::sendPostedEvents();
        }
    }

private:
    qint64 m_elapsed = 0;
};

// The floor's store: one table, the same journal and sync settings as the app's store.
class BareSqlite {
public:
    explicit BareSqlite(const QString &path) {
        sqlite3_open(QFile::encodeName(path).constData(), &m_db);
        sqlite3_exec(m_db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "CREATE TABLE domains (id TEXT PRIMARY KEY, name TEXT NOT NULL)",
                     nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(m_db, "INSERT INTO domains VALUES (?1, ?2)", -1, &m_insert, nullptr);
        sqlite3_prepare_v2(m_db, "DELETE FROM domains WHERE name = ?1", -1, &m_delete, nullptr);
    }
    ~BareSqlite() {
        sqlite3_finalize(m_insert);
        sqlite3_finalize(m_delete);
        sqlite3_close(m_db);
    }
    BareSqlite(const BareSqlite &) = delete;
    BareSqlite &operator=(const BareSqlite &) = delete;

    bool insert(const QString &name) {
        const QByteArray id = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        const QByteArray utf8 = name.toUtf8();
        sqlite3_bind_text(m_insert, 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m_insert, 2, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        const bool done = sqlite3_step(m_insert) == SQLITE_DONE;
        sqlite3_reset(m_insert);
        return done;
    }
    bool remove(const QString &name) {
        const QByteArray utf8 = name.toUtf8();
        sqlite3_bind_text(m_delete, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        const bool done = sqlite3_step(m_delete) == SQLITE_DONE;
        sqlite3_reset(m_delete);
        return done;
    }

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_delete = nullptr;
};

constexpr auto floorQml = R"(
import QtQuick
import QtQuick.Controls
Window {
    visible: true
    ListView {
        anchors.fill: parent
        model: floorRows
        header: TextField {
            objectName: "searchField"
            width: ListView.view.width
            height: 52
            placeholderText: "Search"
            focus: true
            onTextEdited: floorRows.setFilterFixedString(text)
        }
        delegate: Text {
            required property string display
            width: ListView.view.width
            height: 44
            leftPadding: 16
            verticalAlignment: Text.AlignVCenter
            font.pixelSize: 17
            text: display
        }
    }
}
)";

QQuickItem *findItem(QQuickItem *at, const QString &objectName) {
    if (at->objectName() == objectName && at->isVisible())
        return at;
    for (QQuickItem *child : at->childItems())
        if (QQuickItem *found = findItem(child, objectName))
            return found;
    return nullptr;
}

struct Stats {
    double min, median, max;
};

Stats stats(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples.front(), samples[samples.size() / 2], samples.back()};
}

double timed(const std::function<void()> &step) {
    QElapsedTimer timer;
    timer.start();
    step();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Where one window's frames go, from the window's own signals, for a change followed by a grab:
// the change itself, polishing (layout, delegates made), syncing the scene graph, painting, and
// the rest of the grab (mostly the window's image copied). Listened to only while it exists.
class FrameSplit {
public:
    enum Phase { change, polish, sync, paint, rest, phases };
    explicit FrameSplit(QQuickWindow *window)
        : m_window(window) {
        const auto mark = [this](int at) {
            return [this, at] { m_marks[at] = m_clock.nsecsElapsed(); };
        };
        m_connections = {
            QObject::connect(window, &QQuickWindow::beforeSynchronizing, window, mark(0),
                             Qt::DirectConnection),
            QObject::connect(window, &QQuickWindow::afterSynchronizing, window, mark(1),
                             Qt::DirectConnection),
            QObject::connect(window, &QQuickWindow::beforeRendering, window, mark(2),
                             Qt::DirectConnection),
            QObject::connect(window, &QQuickWindow::afterRendering, window, mark(3),
                             Qt::DirectConnection),
        };
    }
    ~FrameSplit() {
        for (const QMetaObject::Connection &c : m_connections)
            QObject::disconnect(c);
    }
    FrameSplit(const FrameSplit &) = delete;
    FrameSplit &operator=(const FrameSplit &) = delete;

    void run(int kind, const std::function<void()> &changeStep) {
        m_marks.fill(-1);
        m_clock.start();
        changeStep();
        const qint64 changed = m_clock.nsecsElapsed();
        m_window->grabWindow();
        const qint64 end = m_clock.nsecsElapsed();
        if (std::find(m_marks.cbegin(), m_marks.cend(), -1) != m_marks.cend())
            return; // no frame rendered: nothing to split
        const auto ms = [](qint64 ns) { return double(ns) / 1e6; };
        m_samples[kind].push_back({ms(changed), ms(m_marks[0] - changed),
                                   ms(m_marks[1] - m_marks[0]), ms(m_marks[3] - m_marks[2]),
                                   ms(end - m_marks[3] + m_marks[2] - m_marks[1])});
    }
    void print(const char *side, int kind) const {
        const std::vector<std::array<double, phases>> &samples = m_samples[kind];
        if (samples.empty())
            return;
        std::array<double, phases> median{};
        for (int p = 0; p < phases; ++p) {
            std::vector<double> one;
            for (const auto &sample : samples)
                one.push_back(sample[p]);
            median[p] = stats(one).median;
        }
        std::printf(
            "    %-6s change %.2f  polish %.2f  sync %.2f  paint %.2f  rest of the grab %.2f ms\n",
            side, median[change], median[polish], median[sync], median[paint], median[rest]);
    }

private:
    QQuickWindow *m_window;
    QElapsedTimer m_clock;
    std::array<qint64, 4> m_marks{};
    std::array<std::vector<std::array<double, phases>>, 2> m_samples;
    QList<QMetaObject::Connection> m_connections;
};

void report(const char *what, int records, const std::vector<double> &real,
            const std::vector<double> &floor, double goal) {
    const Stats r = stats(real), f = stats(floor);
    const double ratio = r.median / std::max(f.median, 1e-6);
    std::printf("%-9s at %3d records  screen %6.2f/%6.2f/%6.2f ms  floor %6.2f/%6.2f/%6.2f ms"
                "  ratio %5.2fx  goal %.1fx  %s\n",
                what, records, r.min, r.median, r.max, f.min, f.median, f.max, ratio, goal,
                ratio <= goal ? "met" : "NOT met");
}
} // namespace

int main(int argc, char *argv[]) {
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
                             "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, home.path().toUtf8());
    // Drawn in software, as the offscreen platform has no GPU context.
    qputenv("QT_QUICK_BACKEND", "software");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setOrganizationName(u"Quellnet"_s);
    QCoreApplication::setApplicationName(u"Quellnet"_s);
    QGuiApplication app(argc, argv);
    const int pairs = argc > 1 ? std::max(9, atoi(argv[1])) : 15;

    // The real window, as tst_qml_smoke builds it.
    setUpAsTheApp();
    BlocklistStore store(home.path() + u"/domains.sqlite"_s);
    ScenePhaseSource phase;
    AppView appView(&store, &phase,
                    AppServices{.dnsSettings = &NEDNSSettingsManager::sharedManager(),
                                .requestReview = {},
                                .promoteApp = {}});
    auto engine = std::make_unique<QQmlApplicationEngine>();
    engine->addImportPath(u"qrc:/qt/qml"_s);
    engine->setInitialProperties({{u"appView"_s, QVariant::fromValue(&appView)}});
    engine->load(QUrl(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s));
    auto *window = qobject_cast<QQuickWindow *>(engine->rootObjects().value(0));
    if (!window)
        return 2;
    appView.select(AppView::domains);
    auto *screen = qobject_cast<DomainsView *>(appView.screen(AppView::domains));
    if (!screen)
        return 2;

    // The floor.
    BareSqlite bare(home.path() + u"/floor.sqlite"_s);
    QStringListModel strings;
    QSortFilterProxyModel floorRows;
    floorRows.setSourceModel(&strings);
    floorRows.setFilterCaseSensitivity(Qt::CaseInsensitive);
    QQmlApplicationEngine floorEngine;
    floorEngine.rootContext()->setContextProperty(u"floorRows"_s, &floorRows);
    floorEngine.loadData(floorQml);
    auto *floorWindow = qobject_cast<QQuickWindow *>(floorEngine.rootObjects().value(0));
    if (!floorWindow)
        return 3;
    floorWindow->resize(window->size());

    SteppedAnimations animations;
    const auto activate = [](QQuickWindow *w) {
        if (QGuiApplication::focusWindow() == w)
            return true;
        w->requestActivate();
        return QTest::qWaitForWindowActive(w);
    };
    if (!activate(window) || !activate(floorWindow))
        return 4;
    const auto settle = [&] {
        animations.finish();
        window->grabWindow();
        floorWindow->grabWindow();
        animations.finish();
    };

    // The records both sides hold. The floor lists the strings of the screen's rows in the same
    // order and takes the added name at the row the screen shows it at, so both draw the same
    // rows in view (with this many suggestions, a new entry lands below the fold on both).
    const auto filler = [](int i) {
        return u"host%1.example-%2.com"_s.arg(i, 3, 10, QChar(u'0')).arg(i % 7);
    };
    const QString added = u"aaa-added.example"_s;
    int records = 0;
    const QString word = u"adsrvr"_s;
    std::printf("Domains screen until the frame is drawn, %d pairs, min/median/max\n", pairs);
    for (const int size : {150, 199}) {
        for (; records < size; ++records) {
            store.insert(std::make_shared<Domain>(filler(records), QUuid::createUuid()));
            bare.insert(filler(records));
        }
        store.save();
        screen->setSearchText({});
        settle();
        QStringList texts;
        for (int i = 0; i < screen->rows()->rowCount(); ++i)
            texts << screen->rows()->rowAt(i).text;
        strings.setStringList(texts);
        int addedRow = -1;
        screen->setDomain(added);
        screen->submitDomain();
        for (int i = 0; i < screen->rows()->rowCount() && addedRow < 0; ++i)
            if (screen->rows()->rowAt(i).text == added)
                addedRow = i;
        screen->deleteDomains({0}); // the added name sorts first
        if (addedRow < 0 || store.domains()->count() != size)
            return 5;
        settle();

        std::vector<double> realAdd, floorAdd, realDelete, floorDelete, realKey, floorKey;
        // The screen's part before the frame (model, rows and save), to show where a gap lies.
        std::vector<double> realAddModel, realDeleteModel;
        const auto realAddOnce = [&] {
            screen->setDomain(added);
            QElapsedTimer model;
            realAdd.push_back(timed([&] {
                model.start();
                screen->submitDomain();
                store.save();
                realAddModel.push_back(double(model.nsecsElapsed()) / 1e6);
                window->grabWindow();
            }));
            settle();
        };
        const auto floorAddOnce = [&] {
            floorAdd.push_back(timed([&] {
                bare.insert(added);
                strings.insertRows(addedRow, 1);
                strings.setData(strings.index(addedRow), added);
                floorWindow->grabWindow();
            }));
            settle();
        };
        const auto realDeleteOnce = [&] {
            const QList<DomainRef> stored = store.domains()->records();
            const auto at = std::find_if(stored.cbegin(), stored.cend(),
                                         [&](const DomainRef &d) { return d->domain() == added; });
            const int position = int(at - stored.cbegin());
            QElapsedTimer model;
            realDelete.push_back(timed([&] {
                model.start();
                screen->deleteDomains({position});
                realDeleteModel.push_back(double(model.nsecsElapsed()) / 1e6);
                window->grabWindow();
            }));
            settle();
        };
        const auto floorDeleteOnce = [&] {
            floorDelete.push_back(timed([&] {
                bare.remove(added);
                strings.removeRows(addedRow, 1);
                floorWindow->grabWindow();
            }));
            settle();
        };
        for (int pair = 0; pair < pairs; ++pair) {
            if (pair % 2 == 0) {
                realAddOnce(), floorAddOnce(), realDeleteOnce(), floorDeleteOnce();
            } else {
                floorAddOnce(), realAddOnce(), floorDeleteOnce(), realDeleteOnce();
            }
        }
        if (store.domains()->count() != size || strings.rowCount() != texts.size())
            return 5;

        // Typing "adsrvr" and erasing it, a key per pair: rows come and go on both sides.
        const auto keyOnce = [&](QQuickWindow *w, std::vector<double> &into, int pair) {
            if (!activate(w))
                return false;
            QQuickItem *field = findItem(w->contentItem(), u"searchField"_s);
            if (!field)
                return false;
            field->forceActiveFocus();
            const int phase = pair % (2 * int(word.size()));
            into.push_back(timed([&] {
                if (phase < word.size())
                    QTest::keyClick(w, word.at(phase).toLatin1());
                else
                    QTest::keyClick(w, Qt::Key_Backspace);
                w->grabWindow();
            }));
            settle();
            return true;
        };
        // Whole words, so both end with an empty search.
        const int keys =
            ((pairs + 2 * int(word.size()) - 1) / (2 * int(word.size()))) * 2 * int(word.size());
        for (int pair = 0; pair < keys; ++pair) {
            const bool ok =
                pair % 2 == 0
                    ? keyOnce(window, realKey, pair) && keyOnce(floorWindow, floorKey, pair)
                    : keyOnce(floorWindow, floorKey, pair) && keyOnce(window, realKey, pair);
            if (!ok)
                return 6;
        }
        if (!screen->searchText().isEmpty())
            return 7;

        // The frames split into their phases, in pairs of their own after the timed ones (the
        // windows' signals are listened to only here): add (0) and delete (1). The floor's phases
        // show what any frame costs; the screen's, where its gap lies.
        FrameSplit realSplit(window), floorSplit(floorWindow);
        for (int pair = 0; pair < pairs; ++pair) {
            screen->setDomain(added);
            realSplit.run(0, [&] {
                screen->submitDomain();
                store.save();
            });
            settle();
            floorSplit.run(0, [&] {
                bare.insert(added);
                strings.insertRows(addedRow, 1);
                strings.setData(strings.index(addedRow), added);
            });
            settle();
            const QList<DomainRef> stored = store.domains()->records();
            const int position =
                int(std::find_if(stored.cbegin(), stored.cend(),
                                 [&](const DomainRef &d) { return d->domain() == added; }) -
                    stored.cbegin());
            realSplit.run(1, [&] { screen->deleteDomains({position}); });
            settle();
            floorSplit.run(1, [&] {
                bare.remove(added);
                strings.removeRows(addedRow, 1);
            });
            settle();
        }
        if (store.domains()->count() != size || strings.rowCount() != texts.size())
            return 5;

        report("add", size, realAdd, floorAdd, 2.0);
        report("delete", size, realDelete, floorDelete, 2.0);
        report("keystroke", size, realKey, floorKey, 1.2);
        std::printf("  of the screen's median add %.2f ms and delete %.2f ms, before the frame "
                    "(rows and save): %.2f ms and %.2f ms\n",
                    stats(realAdd).median, stats(realDelete).median, stats(realAddModel).median,
                    stats(realDeleteModel).median);
        for (const int kind : {0, 1}) {
            std::printf("  %s at %d records, phases (medians):\n", kind == 0 ? "add" : "delete",
                        size);
            realSplit.print("screen", kind);
            floorSplit.print("floor", kind);
        }
        std::fflush(stdout);
    }
    engine.reset(); // the window goes before the models it draws
    return 0;
}
