// The Instructions, Status and Settings screens and the tab container, as plain C++ against
// the real platform layer in a temporary state folder.
#include "SettingsTestSupport.h"
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
using namespace TestSupport;

namespace {
// A row as "text|symbol", plus "|button" for buttons.
QString describe(const Screen::Row &r) {
    return r.text + u'|' + r.systemImage +
           (r.kind == Screen::RowKind::button ? u"|button"_s : u""_s);
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

const QString moreApps = u"More Apps: "_s + describe(ScreenModel::featuredAppRow());
} // namespace

class ScreensTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<BlocklistStore> m_store;
    ScenePhaseSource m_phase;

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
        QCOMPARE(describe(InstructionsView().content()),
                 (QStringList{u"Instructions: Add domains to the list|plus"_s,
                              u"Instructions: Save your preferences|square.and.arrow.down"_s,
                              u"Instructions: Open Settings|gear"_s,
                              u"Instructions: Go to General > VPN > DNS|gear"_s,
                              u"Instructions: Enable the app|hand.raised"_s,
                              u"Help: Turn off Wi-Fi to reset settings|info.circle"_s}));
    }

    void statusFollowsAppearanceAndReturnNotInstallation() {
        switchOn(true, IfAbsent::store);
        StatusView view(NEDNSSettingsManager::sharedManager(), &m_phase);
        QVERIFY(settle());
        QCOMPARE(describe(view.content()),
                 (QStringList{u"Network Status: DNS protection is disabled|xmark"_s, moreApps}));
        view.appear();
        QTRY_VERIFY(view.isDNSEnabled());

        // A failed load keeps the flag; leaving the app reloads nothing, coming back does.
        switchOn(false, IfAbsent::store);
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
        SettingsView view(NEDNSSettingsManager::sharedManager(), m_store->domains(), &m_phase);
        view.appear();
        QTRY_COMPARE(
            describe(view.content()),
            (QStringList{u"Network Settings: Blocklist is empty|exclamationmark.circle"_s,
                         u"Network Settings: No preferences to remove|info.circle"_s, moreApps}));
        // A press that raced the guard must not save an empty configuration.
        view.activate(SettingsView::saveButtonKey);
        QVERIFY(settle());
        QCOMPARE(DNSConfigurationStore().read(appIdentifier).status,
                 DNSConfigurationStore::ReadResult::absent);

        addDomains(*m_store, {u"b.example"_s, u"a.example"_s});
        QCOMPARE(describe(view.content()).first(),
                 u"Network Settings: Save preferences|square.and.arrow.down|button"_s);
        view.activate(SettingsView::saveButtonKey);
        QTRY_COMPARE(rowText(view, 0), u"Preferences saved!"_s);
        const auto stored = DNSConfigurationStore().read(appIdentifier).configuration;
        QVERIFY(stored);
        QCOMPARE(stored->settings->matchDomains(), (QStringList{u"a.example"_s, u"b.example"_s}));

        // Switched on elsewhere: only coming back to the app turns "saved" into "updated".
        switchOn(true, IfAbsent::store);
        m_phase.setPhase(ScenePhase::background);
        QVERIFY(settle());
        QCOMPARE(rowText(view, 0), u"Preferences saved!"_s);
        m_phase.setPhase(ScenePhase::active);
        QTRY_COMPARE(rowText(view, 0), u"Preferences updated!"_s);
    }

    void settingsWithStoredConfigurationUpdatesAndRemoves() {
        addDomains(*m_store, {u"a.example"_s});
        switchOn(true, IfAbsent::store);
        SettingsView view(NEDNSSettingsManager::sharedManager(), m_store->domains(), &m_phase);
        view.appear();
        QTRY_COMPARE(rowText(view, 0), u"Update preferences"_s);
        view.activate(SettingsView::removeButtonKey);
        QTRY_COMPARE(rowText(view, 1), u"No preferences to remove"_s);
        QCOMPARE(DNSConfigurationStore().read(appIdentifier).status,
                 DNSConfigurationStore::ReadResult::absent);
    }

    void appViewMakesScreensOnFirstSelection() {
        AppView app(m_store.get(), &m_phase,
                    {.dnsSettings = &NEDNSSettingsManager::sharedManager(),
                     .requestReview = {},
                     .promoteApp = {}});
        QVERIFY(qobject_cast<InstructionsView *>(app.screen(AppView::instructions)));
        for (int tab : {AppView::domains, AppView::status, AppView::settings})
            QVERIFY(!app.screen(tab));

        // Status appears on every selection of another tab, and stays the same screen.
        switchOn(true, IfAbsent::store);
        QSignalSpy created(&app, &AppView::screensChanged);
        app.select(AppView::status);
        auto *status = qobject_cast<StatusView *>(app.screen(AppView::status));
        QVERIFY(status);
        QTRY_VERIFY(status->isDNSEnabled());
        switchOn(false, IfAbsent::store);
        app.select(AppView::status); // already selected: no appearance
        QVERIFY(settle());
        QVERIFY(status->isDNSEnabled());
        app.select(AppView::settings);
        app.select(AppView::status);
        QTRY_VERIFY(!status->isDNSEnabled());
        QCOMPARE(created.size(), 2); // Settings made, Status not made again
    }
};

QTEST_MAIN(ScreensTest)
#include "tst_screens.moc"
