// The Instructions, Status and Settings screens and the tab container, as plain C++ against
// the real platform layer in a temporary state folder.
#include "TestEnvironment.h"

#include "AppStoreView/MoreApps.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/Domain.h"
#include "blocklist/DomainListModel.h"
#include "foundation/NSBundle.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "screens/AppView.h"
#include "screens/InstructionsView.h"
#include "screens/SettingsView.h"
#include "screens/StatusView.h"

#include <QLockFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QString appIdentifier = u"net.quellnet.Quellnet"_s;

/** A row as "text|symbol" plus, for buttons, "|button|tint|role|style". */
QString describe(const Screen::Row &r) {
    QString line = r.text + u'|' + r.systemImage;
    if (r.kind == Screen::RowKind::button)
        line += u"|button|"_s + QStringList{u"-"_s, u"teal"_s, u"red"_s}.at(int(r.tint)) +
                (r.role == Screen::ButtonRole::destructive ? u"|destructive"_s : u"|normal"_s) +
                (r.buttonStyle == Screen::ButtonStyle::plain ? u"|plain"_s : u"|automatic"_s);
    return line + (r.separatorHidden ? u""_s : u"|separator"_s);
}

QStringList describe(const Screen::Content &content) {
    QStringList out;
    for (const Screen::Section &s : content.sections)
        for (const Screen::Row &r : s.rows)
            out << s.header + u": "_s + describe(r);
    return out;
}

QString rowText(const ScreenModel &screen, int index) {
    return screen.content().texts().value(index);
}

/** What the user does in the device's Settings app: switch the configuration on or off,
    storing one first if there is none. */
void setEnabledInSettings(bool on) {
    DNSConfigurationStore store;
    QString error;
    auto lock = store.lock(&error);
    QVERIFY2(lock, qPrintable(error));
    DNSConfiguration c = store.read(appIdentifier).configuration.value_or(DNSConfiguration{});
    if (!c.settings) {
        c.identifier = appIdentifier;
        c.displayName = u"Quellnet"_s;
        c.settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
    }
    c.enabled = on;
    QVERIFY2(store.write(c, &error), qPrintable(error));
}

/** Every platform answer asked for so far has arrived: completions keep their order. */
bool settle() {
    bool done = false;
    NEDNSSettingsManager::sharedManager().loadFromPreferencesWithCompletionHandler(
        [&done](OptionalError) { done = true; });
    return QTest::qWaitFor([&done] { return done; });
}

const QString moreApps = u"More Apps: "_s + describe(MoreApps::featuredAppRow());
const QString saveButton =
    u"Network Settings: Save preferences|square.and.arrow.down|button|teal|normal|plain"_s;
} // namespace

class ScreensTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<BlocklistStore> m_store;
    ScenePhaseSource m_phase;

    void addDomains(const QStringList &names) {
        for (const QString &name : names)
            m_store->insert(std::make_shared<Domain>(name, QUuid::createUuid()));
        QVERIFY(!m_store->save());
    }

private Q_SLOTS:
    void initTestCase() {
        NSBundle::mainBundle().setInfoDictionary(QVariantMap{
            {u"CFBundleIdentifier"_s, appIdentifier}, {u"CFBundleDisplayName"_s, u"Quellnet"_s}});
    }
    void init() {
        QVERIFY(settle()); // the previous test's answers land before its folders go away
        m_env = std::make_unique<TestEnvironment>();
        m_store = std::make_unique<BlocklistStore>(m_env->dataHome() + u"/domains.sqlite"_s);
        m_phase.setPhase(ScenePhase::active);
        QVERIFY(settle()); // the shared manager forgets the previous folder's configuration
    }
    void cleanup() { m_store.reset(); }

    void instructionsAreFixedLabels() {
        InstructionsView view;
        const QStringList expected{
            u"Instructions: Add domains to the list|plus"_s,
            u"Instructions: Save your preferences|square.and.arrow.down"_s,
            u"Instructions: Open Settings|gear"_s,
            u"Instructions: Go to General > VPN > DNS|gear"_s,
            u"Instructions: Enable the app|hand.raised"_s,
            u"Help: Turn off Wi-Fi to reset settings|info.circle"_s,
        };
        QCOMPARE(describe(view.content()), expected);
        QCOMPARE(view.navigationTitle(), u"Instructions"_s);
        addDomains({u"a.example"_s});
        for (int i = 0; i < view.rows()->rowCount(); ++i)
            view.activate(view.rows()->rowAt(i).key);
        QCOMPARE(describe(view.content()), expected);
    }

    void statusFollowsAppearanceAndReturnNotInstallation() {
        setEnabledInSettings(true);
        StatusView view(&m_phase);
        QCOMPARE(view.navigationTitle(), u"Status"_s);
        QVERIFY(settle());
        QCOMPARE(describe(view.content()),
                 (QStringList{u"Network Status: DNS protection is disabled|xmark"_s, moreApps}));
        view.appear();
        QTRY_VERIFY(view.isDNSEnabled());
        QCOMPARE(describe(view.content()).first(),
                 u"Network Status: DNS protection is enabled|checkmark"_s);
        QCOMPARE(view.rows()->rowAt(0).text, u"DNS protection is enabled"_s);

        // A failed load keeps the flag; leaving the app reloads nothing, coming back does.
        setEnabledInSettings(false);
        NEDNSSettingsManager::failNextOperationForTesting(
            NEDNSSettingsManager::Operation::load, NSError{u"NEConfigurationErrorDomain"_s, 6, {}});
        view.appear();
        for (ScenePhase phase : {ScenePhase::inactive, ScenePhase::background}) {
            m_phase.setPhase(phase);
            QVERIFY(settle());
            QVERIFY(view.isDNSEnabled());
        }
        m_phase.setPhase(ScenePhase::active);
        QTRY_VERIFY(!view.isDNSEnabled());
    }

    void settingsRowsFollowTheOutcomes() {
        SettingsView view(m_store->domains(), &m_phase);
        QCOMPARE(view.navigationTitle(), u"Settings"_s);
        view.appear();
        QTRY_COMPARE(rowText(view, 1), u"No preferences to remove"_s);
        QCOMPARE(
            describe(view.content()),
            (QStringList{u"Network Settings: Blocklist is empty|exclamationmark.circle"_s,
                         u"Network Settings: No preferences to remove|info.circle"_s, moreApps}));
        // A press that raced the guard must not save an empty configuration.
        view.activate(SettingsView::saveButtonKey);
        QVERIFY(settle());
        QCOMPARE(DNSConfigurationStore().read(appIdentifier).status,
                 DNSConfigurationStore::ReadResult::absent);

        addDomains({u"b.example"_s, u"a.example"_s});
        QCOMPARE(describe(view.content()).first(), saveButton);
        view.activate(SettingsView::saveButtonKey);
        QTRY_COMPARE(rowText(view, 0), u"Preferences saved!"_s);
        QCOMPARE(describe(view.content()).first(),
                 u"Network Settings: Preferences saved!|checkmark"_s);
        const auto stored = DNSConfigurationStore().read(appIdentifier).configuration;
        QVERIFY(stored);
        QCOMPARE(stored->settings->matchDomains(), (QStringList{u"a.example"_s, u"b.example"_s}));

        // Switched on elsewhere: only coming back to the app turns "saved" into "updated".
        setEnabledInSettings(true);
        m_phase.setPhase(ScenePhase::background);
        QVERIFY(settle());
        QCOMPARE(rowText(view, 0), u"Preferences saved!"_s);
        m_phase.setPhase(ScenePhase::active);
        QTRY_COMPARE(rowText(view, 0), u"Preferences updated!"_s);
        QCOMPARE(rowText(view, 1), u"No preferences to remove"_s); // latched at the first load
    }

    void settingsWithStoredConfigurationUpdatesAndRemoves() {
        addDomains({u"a.example"_s});
        setEnabledInSettings(true);
        SettingsView view(m_store->domains(), &m_phase);
        QCOMPARE(describe(view.content()),
                 (QStringList{
                     saveButton,
                     u"Network Settings: Remove preferences|trash|button|red|destructive|plain"_s,
                     moreApps}));
        view.appear();
        QTRY_COMPARE(rowText(view, 0), u"Update preferences"_s);
        QCOMPARE(view.content().row(SettingsView::saveButtonKey)->systemImage,
                 u"arrow.trianglehead.2.clockwise"_s);
        view.activate(SettingsView::removeButtonKey);
        QTRY_COMPARE(rowText(view, 1), u"No preferences to remove"_s);
        QCOMPARE(DNSConfigurationStore().read(appIdentifier).status,
                 DNSConfigurationStore::ReadResult::absent);
    }

    void appViewMakesScreensOnFirstSelection() {
        AppView app(m_store.get(), &m_phase);
        QStringList tabs;
        for (const QVariant &tab : app.tabs())
            tabs << tab.toMap().value(u"title"_s).toString() + u'|' +
                        tab.toMap().value(u"systemImage"_s).toString();
        QCOMPARE(tabs, (QStringList{u"Instructions|info.circle"_s, u"Domains|hand.raised"_s,
                                    u"Status|network"_s, u"Settings|gear"_s}));
        QCOMPARE(app.currentIndex(), int(AppView::instructions));
        QVERIFY(qobject_cast<InstructionsView *>(app.screen(AppView::instructions)));
        for (int tab : {AppView::domains, AppView::status, AppView::settings})
            QVERIFY(!app.screen(tab));

        // Status appears on every selection of another tab, and stays the same screen.
        setEnabledInSettings(true);
        QSignalSpy created(&app, &AppView::screensChanged);
        app.select(AppView::status);
        auto *status = qobject_cast<StatusView *>(app.screen(AppView::status));
        QVERIFY(status);
        QCOMPARE(app.screens().at(AppView::status).value<QObject *>(), status);
        QTRY_VERIFY(status->isDNSEnabled());
        setEnabledInSettings(false);
        app.select(AppView::status); // already selected: no appearance
        QVERIFY(settle());
        QVERIFY(status->isDNSEnabled());
        app.select(AppView::settings);
        app.select(AppView::status);
        QCOMPARE(app.screen(AppView::status), status);
        QTRY_VERIFY(!status->isDNSEnabled());
        QCOMPARE(created.size(), 2);
        QVERIFY(qobject_cast<SettingsView *>(app.screen(AppView::settings)));

        app.select(-1);
        app.select(AppView::tabCount);
        QCOMPARE(app.currentIndex(), int(AppView::status));
    }
};

QTEST_MAIN(ScreensTest)
#include "tst_screens.moc"
