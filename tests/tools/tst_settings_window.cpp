// The Settings window's pages as models over a fake computer, then the window for real,
// offscreen, over the platform's own DNS settings in a test folder, failing on any QML warning:
// the road by keys (Enter, Space, Tab, Escape, Alt+Left), the switch checked and unchecked
// through its accessibility toggle, and dark as asked.
#include "QmlWindow.h"
#include "SettingsPages.h"
#include "TestEnvironment.h"
#include "screens/Appearance.h"
#include "screens/QmlTypes.h"

#include <QAccessible>
#include <QDir>
#include <QMutex>
#include <QQuickItem>
#include <QSaveFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)
Q_IMPORT_QML_PLUGIN(QuellnetSettingsPlugin)

using namespace Qt::StringLiterals;
using State = DeviceDNSSettings::State;
using Outcome = DeviceDNSSettings::Outcome;
using Entry = DeviceDNSSettings::Entry;

namespace {
Entry entry(const QString &id, const QString &name, bool on, State state = State::off) {
    return {id, name, {}, on, state, 0, {}, on ? u"On."_s : u"Off."_s};
}

/** The computer, steered by the test; `gate` holds a switch, `readGate` a read, on the worker. */
class FakeBackend final : public DnsSettingsBackend {
public:
    std::optional<QList<Entry>> entries(QString *error) override {
        if (readGate)
            readGate->acquire();
        QMutexLocker lock(&mutex);
        ++reads;
        *error = listError;
        return listError.isEmpty() ? std::optional(list) : std::nullopt;
    }
    Outcome setEnabled(const QString &id, bool on) override {
        if (gate)
            gate->acquire();
        QMutexLocker lock(&mutex);
        ++switches;
        for (Entry &e : list) // a switch done turns the others off, as the platform's does
            if (next.status == Outcome::done && (e.identifier == id || on))
                e.switchedOn = on && e.identifier == id;
        return next;
    }
    QStringList watchedPaths() override { return watched; }

    QMutex mutex;
    QList<Entry> list;
    QString listError;
    Outcome next;
    QStringList watched;
    QSemaphore *gate = nullptr;
    QSemaphore *readGate = nullptr;
    int reads = 0;
    int switches = 0;
};

const Screen::Row *rowOf(ScreenModel &page, const QString &id) {
    const int i = page.rows()->indexOfKey(DnsPage::rowKey(id));
    return i < 0 ? nullptr : &page.rows()->rowAt(i);
}
/** One read that starts now, after any read under way, and nothing after it. */
bool read(DnsPage &page) {
    if (!QTest::qWaitFor([&] { return !page.isReading(); }))
        return false;
    QSignalSpy reloaded(&page, &DnsPage::reloaded);
    page.reload();
    return reloaded.wait(5000) && QTest::qWaitFor([&] { return !page.isReading(); });
}
} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

    ScenePhaseSource m_phase;
    std::shared_ptr<FakeBackend> m_backend;
    // The window's own, over the platform in the test folder.
    TestEnvironment m_env;
    Appearance m_appearance;
    SettingsNavigator m_nav{DnsSettingsBackend::platform(), &m_phase};
    QmlWindow m_qml;

    QAccessibleInterface *focus() {
        QQuickItem *at = m_qml.window->activeFocusItem();
        return at ? QAccessible::queryAccessibleInterface(at) : nullptr;
    }
    QString focusName() { return focus() ? focus()->text(QAccessible::Name) : QString(); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(m_qml.window, key, modifiers);
    }

private Q_SLOTS:
    void initTestCase() {
        DNSConfiguration saved{u"net.quellnet.Quellnet"_s, u"Quellnet"_s, false, nullptr, {}};
        auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
        settings->setMatchDomains(QStringList{u"tracker.example"_s});
        saved.settings = settings;
        QString error;
        QVERIFY2(DNSConfigurationStore().write(saved, &error), qPrintable(error));
        AppearanceForeign::setInstance(&m_appearance);
        QVERIFY(m_qml.load(this, u"qrc:/qt/qml/QuellnetSettings/qml/SettingsWindow.qml"_s,
                           {{u"navigator"_s, QVariant::fromValue(&m_nav)}}));
    }
    void cleanupTestCase() { m_qml.unload(); }
    void cleanup() {
        const QString warnings = QmlWindow::takeWarnings();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
    }
    void init() {
        m_backend = std::make_shared<FakeBackend>();
        m_backend->list = {entry(u"q"_s, u"Quellnet"_s, false), entry(u"o"_s, u"Other"_s, true)};
    }

    // Down by each page's one row, named as the page it opens (a press raced by a back, for a
    // row not on the page in view, opens nothing). The way back is the window's road below.
    void navigationGoesDown() {
        SettingsNavigator nav(m_backend, &m_phase);
        QStringList titles{nav.page()->navigationTitle()};
        for (const QString &key : {u"general"_s, u"vpn"_s, u"dns"_s}) {
            titles << nav.page()->rows()->rowAt(0).text;
            nav.open(key == u"dns"_s ? u"general"_s : u"dns"_s);
            nav.page()->activate(key);
            QTRY_COMPARE(nav.page()->navigationTitle(), titles.last());
            QCOMPARE(nav.backTitle(), titles[titles.size() - 2]); // the back button's words
        }
        QCOMPARE(titles, (QStringList{u"Settings"_s, u"General"_s, u"VPN"_s, u"DNS"_s}));
    }

    // No switch before the truth is known; then one per configuration at its stored position
    // with the platform's line; an unreadable file offers none to press; a failed listing says
    // why.
    void rowsSayWhatThePlatformSays() {
        m_backend->list << entry(u"n"_s, QString(), false, State::unreadable);
        DnsPage page(m_backend, &m_phase);
        QCOMPARE(page.rows()->rowCount(), 0);
        QVERIFY(read(page));
        QCOMPARE(rowOf(page, u"q"_s)->text, u"Quellnet"_s);
        QCOMPARE(rowOf(page, u"o"_s)->detail, u"On."_s);
        QVERIFY(rowOf(page, u"o"_s)->checked && !rowOf(page, u"q"_s)->checked);
        QCOMPARE(rowOf(page, u"n"_s)->text, u"n"_s);
        QVERIFY(!rowOf(page, u"n"_s)->enabled);
        page.activate(DnsPage::rowKey(u"n"_s));
        QVERIFY(!rowOf(page, u"n"_s)->busy);

        m_backend->listError = u"permission denied"_s;
        QVERIFY(read(page));
        QCOMPARE(page.rows()->rowCount(), 1);
        QCOMPARE(page.rows()->rowAt(0).detail, u"permission denied"_s);
    }

    // Busy at once, one switch however often pressed, the others off once the platform is done.
    void switchingIsBusyUntilDone() {
        QSemaphore gate;
        m_backend->gate = &gate;
        DnsPage page(m_backend, &m_phase);
        QVERIFY(read(page));
        QSignalSpy switched(&page, &DnsPage::switched);
        page.activate(DnsPage::rowKey(u"q"_s));
        page.activate(DnsPage::rowKey(u"q"_s));
        QVERIFY(rowOf(page, u"q"_s)->busy && !rowOf(page, u"q"_s)->checked);
        gate.release();
        QVERIFY(switched.wait(5000));
        QTRY_VERIFY(rowOf(page, u"q"_s)->checked && !rowOf(page, u"o"_s)->checked);
        QVERIFY(!rowOf(page, u"q"_s)->busy);
        QCOMPARE(m_backend->switches, 1);
    }

    // A switch that did not happen stays at its stored position with the platform's words,
    // until a change made elsewhere tells a newer truth.
    void refusalsAreShownInWords() {
        m_backend->next = {Outcome::refused, u"stays Off: because"_s, {}, {}, false};
        DnsPage page(m_backend, &m_phase);
        QVERIFY(read(page));
        QSignalSpy switched(&page, &DnsPage::switched);
        page.activate(DnsPage::rowKey(u"q"_s));
        QVERIFY(switched.wait(5000));
        QVERIFY(read(page));
        QCOMPARE(rowOf(page, u"q"_s)->detail, u"stays Off: because"_s);
        QVERIFY(!rowOf(page, u"q"_s)->checked);
        m_backend->list[0] = entry(u"q"_s, u"Quellnet"_s, true); // switched by the command
        QVERIFY(read(page));
        QCOMPARE(rowOf(page, u"q"_s)->detail, u"On."_s);
    }

    // A watched file replaced by renames (twice: the first drops it from the watcher), a path
    // made later and the window becoming active each read again; asks while a read runs fold
    // into one more read.
    void followsChangesMadeElsewhere() {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"blocked"_s);
        const auto replace = [&](const QByteArray &bytes) {
            QSaveFile save(file);
            return save.open(QIODevice::WriteOnly) && save.write(bytes) && save.commit();
        };
        QVERIFY(replace("one"));
        m_backend->watched = {file, dir.filePath(u"later/dns"_s)};
        ScenePhaseSource phase;
        DnsPage page(m_backend, &phase);
        QVERIFY(read(page));
        QSignalSpy reloaded(&page, &DnsPage::reloaded);
        for (const char *bytes : {"two", "three"}) {
            QVERIFY(replace(bytes));
            QVERIFY(reloaded.wait(5000));
        }
        QVERIFY(QDir(dir.path()).mkdir(u"later"_s));
        QVERIFY(reloaded.wait(5000));
        QTRY_VERIFY(!page.isReading());
        phase.setPhase(ScenePhase::inactive);
        phase.setPhase(ScenePhase::active);
        QVERIFY(reloaded.wait(5000));
        QTRY_VERIFY(!page.isReading());

        QSemaphore readGate;
        m_backend->readGate = &readGate;
        const int before = m_backend->reads;
        reloaded.clear();
        for (int i = 0; i < 5; ++i)
            page.reload();
        readGate.release(2);
        QTRY_COMPARE(reloaded.size(), 2);
        QVERIFY(!page.isReading());
        QCOMPARE(m_backend->reads, before + 2);
        m_backend->readGate = nullptr;
    }

    void roadByKeysAndTheAccessibilityTree() {
        QTRY_COMPARE(focusName(), u"General"_s);
        QCOMPARE(focus()->role(), QAccessible::Button);
        key(Qt::Key_Return);
        QTRY_COMPARE(focusName(), u"VPN"_s);
        key(Qt::Key_Tab);
        QCOMPARE(focusName(), u"Back"_s);
        key(Qt::Key_Tab);
        QCOMPARE(focusName(), u"VPN"_s);
        key(Qt::Key_Space);
        QTRY_COMPARE(focusName(), u"DNS"_s);
        key(Qt::Key_Enter);
        QTRY_COMPARE(focusName(), u"Quellnet"_s); // once the page has read its rows

        QAccessibleInterface *box = focus();
        QCOMPARE(box->role(), QAccessible::CheckBox);
        QVERIFY(box->state().checkable && !box->state().checked);
        box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QTRY_VERIFY(focus()->state().checked);
        QVERIFY(focus()->text(QAccessible::Description).contains(u"yes, 1 name"_s));
        key(Qt::Key_Space);
        QTRY_VERIFY(!focus()->state().checked);

        key(Qt::Key_Escape);
        QCOMPARE(m_nav.page()->navigationTitle(), u"VPN"_s);
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(m_nav.page()->navigationTitle(), u"General"_s);
        key(Qt::Key_Escape);
        key(Qt::Key_Escape); // nothing below the first page
        QCOMPARE(m_nav.depth(), 1);
        QTRY_COMPARE(focusName(), u"General"_s);
    }

    void followsTheDesktopsDarkness() {
        const QColor light = m_qml.window->color();
        m_appearance.setPortalColorScheme(Appearance::preferDark);
        QTRY_VERIFY(m_qml.window->color().lightness() < 64);
        m_appearance.setPortalColorScheme(Appearance::preferLight);
        QTRY_COMPARE(m_qml.window->color(), light);
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "tst_settings_window.moc"
