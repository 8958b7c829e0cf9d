// The Settings window's pages as plain C++: the way to the DNS page and back, one switch per
// stored configuration saying what the platform says, switching on the worker (busy meanwhile,
// never twice at once), refusals in words with the switch left as stored, and following changes
// made by others. Its drawing and keys are in tst_settings_window_qml.
#include "FakeDnsBackend.h"
#include "SettingsPages.h"
#include "SettingsTestSupport.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace FakeDns;

namespace {

const Screen::Row *rowOf(const ScreenModel &page, const QString &key) {
    const int i = const_cast<ScreenModel &>(page).rows()->indexOfKey(key);
    return i < 0 ? nullptr : &const_cast<ScreenModel &>(page).rows()->rowAt(i);
}

QStringList texts(ScreenModel &page) {
    QStringList out;
    for (int i = 0; i < page.rows()->rowCount(); ++i)
        out << page.rows()->rowAt(i).text;
    return out;
}

bool loadOnce(DnsPage &page) {
    QSignalSpy reloaded(&page, &DnsPage::reloaded);
    page.reload();
    return reloaded.wait(5000);
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

    ScenePhaseSource m_phase;

private Q_SLOTS:
    // Settings > General > VPN > DNS by the rows' own presses, and back down one page at a
    // time; a press of a row not on the page shown (raced by a back) does nothing.
    void navigationGoesDownAndBack() {
        auto backend = std::make_shared<FakeBackend>();
        SettingsNavigator nav(backend, &m_phase);
        QSignalSpy changed(&nav, &SettingsNavigator::pageChanged);
        QCOMPARE(nav.page()->navigationTitle(), u"Settings"_s);
        QVERIFY(!nav.canGoBack());
        nav.back();
        QCOMPARE(changed.size(), 0);

        const std::pair<QString, QString> road[] = {{SettingsNavigator::generalKey, u"General"_s},
                                                    {SettingsNavigator::vpnKey, u"VPN"_s},
                                                    {SettingsNavigator::dnsKey, u"DNS"_s}};
        QString previous = u"Settings"_s;
        for (const auto &[key, title] : road) {
            QCOMPARE(texts(*nav.page()), QStringList{title});
            const Screen::Row *row = rowOf(*nav.page(), key);
            QVERIFY(row);
            QCOMPARE(row->kind, Screen::RowKind::button);
            nav.open(SettingsNavigator::dnsKey == key ? u"general"_s : u"dns"_s); // not here
            QCOMPARE(nav.page()->navigationTitle(), previous);
            nav.page()->activate(key);
            QTRY_COMPARE(nav.page()->navigationTitle(), title);
            QCOMPARE(nav.backTitle(), previous);
            previous = title;
        }
        QCOMPARE(nav.page(), nav.dnsPage());
        QCOMPARE(nav.depth(), 4);
        // Coming into view reads the configurations.
        QTRY_VERIFY(nav.dnsPage()->isLoaded());

        for (const QString &title : {u"VPN"_s, u"General"_s, u"Settings"_s}) {
            nav.back();
            QCOMPARE(nav.page()->navigationTitle(), title);
        }
        QVERIFY(!nav.canGoBack());
        QCOMPARE(nav.backTitle(), QString());
    }

    // One switch per configuration, named by its display name (the identifier where it has
    // none), at its stored position, with the platform's sentence under it; an unreadable file
    // offers no switch; nothing stored and nothing listable each say so.
    void rowsSayWhatThePlatformSays() {
        auto backend = std::make_shared<FakeBackend>();
        backend->list = {
            entry(u"net.quellnet.Quellnet"_s, u"Quellnet"_s, true, State::blocking,
                  u"On: 2 names are blocked on this computer."_s),
            entry(u"org.other"_s, QString(), false, State::off, u"Off."_s),
            entry(u"org.newer"_s, u"Newer"_s, false, State::unreadable,
                  u"Written by a newer version; left as it is."_s),
        };
        DnsPage page(backend, &m_phase);
        QVERIFY(!page.isLoaded());
        QCOMPARE(page.rows()->rowCount(), 0); // no switch before the truth is known
        QVERIFY(loadOnce(page));

        QCOMPARE(texts(page), (QStringList{u"Quellnet"_s, u"org.other"_s, u"Newer"_s}));
        const Screen::Row *ours = rowOf(page, DnsPage::rowKey(u"net.quellnet.Quellnet"_s));
        QVERIFY(ours);
        QCOMPARE(ours->kind, Screen::RowKind::toggle);
        QVERIFY(ours->checked);
        QVERIFY(ours->enabled);
        QCOMPARE(ours->detail, u"On: 2 names are blocked on this computer."_s);
        QVERIFY(!rowOf(page, DnsPage::rowKey(u"org.other"_s))->checked);
        const Screen::Row *newer = rowOf(page, DnsPage::rowKey(u"org.newer"_s));
        QVERIFY(!newer->enabled);
        page.activate(DnsPage::rowKey(u"org.newer"_s));
        QVERIFY(!rowOf(page, DnsPage::rowKey(u"org.newer"_s))->busy);

        backend->setList({});
        QVERIFY(loadOnce(page));
        QCOMPARE(page.rows()->rowCount(), 1);
        QCOMPARE(page.rows()->rowAt(0).kind, Screen::RowKind::label);

        {
            QMutexLocker lock(&backend->mutex);
            backend->listed = false;
            backend->listError = u"cannot read the folder: permission denied"_s;
        }
        QVERIFY(loadOnce(page));
        QCOMPARE(page.rows()->rowCount(), 1);
        QCOMPARE(page.rows()->rowAt(0).detail, u"cannot read the folder: permission denied"_s);
    }

    // The switch runs on the worker: the page answers at once, shows the row busy, takes no
    // second press meanwhile, and shows the new stored state once the platform is done.
    void switchingIsBusyUntilDone() {
        auto backend = std::make_shared<FakeBackend>();
        QSemaphore gate;
        backend->gate = &gate;
        backend->list = {entry(u"q"_s, u"Quellnet"_s, false, State::off, u"Off."_s),
                         entry(u"o"_s, u"Other"_s, true, State::blocking, u"On."_s)};
        DnsPage page(backend, &m_phase);
        QVERIFY(loadOnce(page));
        QSignalSpy switched(&page, &DnsPage::switched);

        page.activate(DnsPage::rowKey(u"q"_s));
        const Screen::Row *row = rowOf(page, DnsPage::rowKey(u"q"_s));
        QVERIFY(row->busy);
        QVERIFY(!row->checked); // not on before the platform says so
        QCOMPARE(row->detail, u"Switching on…"_s);
        page.activate(DnsPage::rowKey(u"q"_s));
        QTRY_COMPARE(backend->switches.size(), 1); // reached the worker, once

        gate.release();
        QVERIFY(switched.wait(5000));
        QCOMPARE(switched.first().at(1).toInt(), int(Outcome::done));
        // The read that follows shows the one switched on and the other off.
        QTRY_VERIFY(rowOf(page, DnsPage::rowKey(u"q"_s))->checked);
        QVERIFY(!rowOf(page, DnsPage::rowKey(u"q"_s))->busy);
        QVERIFY(!rowOf(page, DnsPage::rowKey(u"o"_s))->checked);
        QCOMPARE(backend->switches.first(), std::pair(u"q"_s, true));

        gate.release();
        page.activate(DnsPage::rowKey(u"q"_s));
        QVERIFY(switched.wait(5000));
        QTRY_VERIFY(!rowOf(page, DnsPage::rowKey(u"q"_s))->checked);
        QCOMPARE(backend->switches.last(), std::pair(u"q"_s, false));
    }

    // A switch that did not happen leaves the row at its stored position with the platform's
    // reason under it, until the next press or a change made elsewhere.
    void refusalsAreShownInWords_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancelled")
            << int(Outcome::cancelled) << u"The password prompt was cancelled; it stays Off."_s;
        QTest::newRow("system part missing")
            << int(Outcome::refused)
            << u"The system part is not installed; run: sudo device-settings system install"_s;
        QTest::newRow("another account")
            << int(Outcome::refused) << u"Another account's list is in force (uid 1001)."_s;
        QTest::newRow("failed") << int(Outcome::failed) << u"cannot write the file"_s;
    }
    void refusalsAreShownInWords() {
        QFETCH(int, status);
        QFETCH(QString, message);
        auto backend = std::make_shared<FakeBackend>();
        backend->list = {entry(u"q"_s, u"Quellnet"_s, false, State::off, u"Off."_s)};
        backend->next = {Outcome::Status(status), message, {}, {}, false};
        DnsPage page(backend, &m_phase);
        QVERIFY(loadOnce(page));
        QSignalSpy switched(&page, &DnsPage::switched);
        QSignalSpy reloaded(&page, &DnsPage::reloaded);

        page.activate(DnsPage::rowKey(u"q"_s));
        QVERIFY(switched.wait(5000));
        QVERIFY(reloaded.wait(5000));
        const Screen::Row *row = rowOf(page, DnsPage::rowKey(u"q"_s));
        QVERIFY(!row->checked);
        QVERIFY(!row->busy);
        QCOMPARE(row->detail, message);

        // Still said after a read that finds nothing new.
        QVERIFY(loadOnce(page));
        QCOMPARE(rowOf(page, DnsPage::rowKey(u"q"_s))->detail, message);
        // Switched on elsewhere: the row tells the new truth instead.
        backend->setList({entry(u"q"_s, u"Quellnet"_s, true, State::blocking, u"On."_s)});
        QVERIFY(loadOnce(page));
        QCOMPARE(rowOf(page, DnsPage::rowKey(u"q"_s))->detail, u"On."_s);
        QVERIFY(rowOf(page, DnsPage::rowKey(u"q"_s))->checked);
    }

    // Changes in a watched folder, a watched file replaced by renames (which drops it from a
    // watcher until it is watched anew), the window becoming active again: each reads again.
    // Reads asked for while one runs are folded into one more.
    void followsChangesMadeElsewhere() {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"blocked"_s);
        const QString folder = dir.filePath(u"store"_s);
        QVERIFY(QDir().mkpath(folder));
        const auto replace = [&](const QByteArray &bytes) {
            QSaveFile save(file);
            QVERIFY(save.open(QIODevice::WriteOnly));
            save.write(bytes);
            QVERIFY(save.commit());
        };
        replace("one");
        auto backend = std::make_shared<FakeBackend>();
        backend->watched = {file, folder, dir.filePath(u"later/not-yet"_s)};
        ScenePhaseSource phase;
        DnsPage page(backend, &phase);
        QVERIFY(loadOnce(page));
        QSignalSpy reloaded(&page, &DnsPage::reloaded);

        for (const QByteArray bytes : {"two", "three"}) {
            replace(bytes);
            QVERIFY2(reloaded.wait(5000), bytes.constData());
        }
        QFile created(folder + u"/net.quellnet.Quellnet.json"_s);
        QVERIFY(created.open(QIODevice::WriteOnly));
        created.close();
        QVERIFY(reloaded.wait(5000));
        // A path that does not exist yet is seen being made.
        QVERIFY(QDir().mkpath(dir.filePath(u"later"_s)));
        QVERIFY(reloaded.wait(5000));

        QTRY_VERIFY(!page.isReading());
        reloaded.clear();
        phase.setPhase(ScenePhase::inactive);
        phase.setPhase(ScenePhase::active);
        QVERIFY(reloaded.wait(5000));
        QTRY_VERIFY(!page.isReading());

        // Held at the first read, five more asks become one more read.
        QSemaphore readGate;
        backend->readGate = &readGate;
        const int before = backend->reads;
        reloaded.clear();
        for (int i = 0; i < 5; ++i)
            page.reload();
        readGate.release(2);
        QTRY_COMPARE(reloaded.size(), 2);
        QVERIFY(!page.isReading());
        QCOMPARE(backend->reads, before + 2);
        backend->readGate = nullptr;
    }

    // The page over the platform's own calls: a configuration the app stores, then switched by
    // "the command" (another writer of the same files), is followed without a press.
    void followsThePlatformsFiles() {
        TestEnvironment env;
        QVERIFY(env.isValid());
        DnsPage page(DnsSettingsBackend::platform(), &m_phase);
        QVERIFY(loadOnce(page));
        QCOMPARE(page.rows()->rowCount(), 1);
        QCOMPARE(page.rows()->rowAt(0).kind, Screen::RowKind::label); // nothing stored

        // What the app's save stores: a dead end for two names, switched off.
        DNSConfiguration saved;
        saved.identifier = TestSupport::appIdentifier;
        saved.displayName = u"Quellnet"_s;
        auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
        settings->setMatchDomains(QStringList{u"tracker.example"_s, u"ads.example"_s});
        saved.settings = settings;
        QString error;
        QVERIFY2(DNSConfigurationStore().write(saved, &error), qPrintable(error));
        const QString key = DnsPage::rowKey(TestSupport::appIdentifier);
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(page, key), 5000);
        QCOMPARE(rowOf(page, key)->text, u"Quellnet"_s);
        QVERIFY(!rowOf(page, key)->checked);
        QVERIFY(!rowOf(page, key)->detail.isEmpty());

        TestSupport::switchOn(true);
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(page, key) && rowOf(page, key)->checked, 5000);
        TestSupport::switchOn(false);
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(page, key) && !rowOf(page, key)->checked, 5000);
    }
};

QTEST_GUILESS_MAIN(SettingsWindowTest)
#include "tst_settings_window.moc"
