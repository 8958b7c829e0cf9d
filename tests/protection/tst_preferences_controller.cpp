// The Settings controller against the real platform store in a temporary state folder, with
// platform failures injected through the manager's test seam.
#include "common/SettingsTestSupport.h"
#include "common/TestEnvironment.h"

#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "foundation/NSBundle.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "protection/PreferencesController.h"
#include "protection/ProtectionStatus.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {
/** The texts of the save and remove rows as the screen shows them: a message, or the button. */
QString saveRowText(const PreferencesController &c) {
    const auto m = c.saveRowMessage();
    return m ? m->text : c.state().isDNSEnabled ? u"Update preferences"_s : u"Save preferences"_s;
}
QString removeRowText(const PreferencesController &c) {
    const auto m = c.removeRowMessage();
    return m ? m->text : u"Remove preferences"_s;
}

/** Every text a row showed, in order: completions may land faster than a poll can look. */
struct RowHistory {
    QStringList save, remove;
    explicit RowHistory(const PreferencesController &c) {
        QObject::connect(&c, &PreferencesController::stateChanged, &c, [this, &c] {
            if (save.value(save.size() - 1) != saveRowText(c))
                save << saveRowText(c);
            if (remove.value(remove.size() - 1) != removeRowText(c))
                remove << removeRowText(c);
        });
    }
};

std::optional<DNSConfiguration> stored() {
    return DNSConfigurationStore().read(appIdentifier).configuration;
}
} // namespace

class PreferencesControllerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<BlocklistStore> m_store;

    /** A fresh screen state whose first load has answered, as when the tab is shown. */
    std::unique_ptr<PreferencesController> shownController() {
        auto c = std::make_unique<PreferencesController>(NEDNSSettingsManager::sharedManager(),
                                                         m_store->domains());
        c->loadPreferences();
        if (!settle())
            qFatal("the platform never answered");
        return c;
    }

    /** One record saved by an earlier screen state (and switched on), then a new screen shown. */
    std::unique_ptr<PreferencesController> relaunchedAfterSave(bool on) {
        addDomains(*m_store, {u"a.example"_s});
        auto first = shownController();
        first->savePreferences();
        if (!QTest::qWaitFor([&] { return first->state().saveDNSSuccess; }))
            qFatal("the first save never completed");
        if (on)
            switchOn(true);
        return shownController();
    }

private Q_SLOTS:
    void init() {
        m_env = std::make_unique<TestEnvironment>();
        NSBundle::mainBundle().setInfoDictionary(QVariantMap{
            {u"CFBundleIdentifier"_s, appIdentifier}, {u"CFBundleDisplayName"_s, u"Quellnet"_s}});
        m_store = std::make_unique<BlocklistStore>(m_env->dataHome() + u"/blocklist.sqlite"_s);
    }

    void cleanup() { m_store.reset(), m_env.reset(); }

    void guardsOutrankEveryFlag_data() {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << 0 << u"Blocklist is empty"_s;
        QTest::newRow("199") << 199 << u"Preferences saved!"_s;
        QTest::newRow("200 is full") << 200 << u"Blocklist is full"_s;
    }
    void guardsOutrankEveryFlag() {
        QFETCH(int, records);
        QFETCH(QString, expected);
        QStringList names;
        for (int i = 0; i < records; ++i)
            names << u"host%1.example"_s.arg(i, 3, 10, QLatin1Char('0'));
        addDomains(*m_store, names);
        PreferencesController c(NEDNSSettingsManager::sharedManager(), m_store->domains());
        c.handleSaveResult(std::nullopt);
        QCOMPARE(saveRowText(c), expected);
    }

    void firstSaveThenSwitchedOnReadsUpdated() {
        addDomains(*m_store, {u"tracker.example"_s, u"Ads.example"_s, u"b.example"_s});
        auto c = shownController();
        QSignalSpy changed(c.get(), &PreferencesController::stateChanged);
        c->savePreferences();
        QVERIFY(!c->state().saveDNSSuccess); // never inside the call
        QVERIFY(changed.wait());
        QCOMPARE(saveRowText(*c), u"Preferences saved!"_s);
        const auto config = stored();
        QVERIFY(config && !config->enabled);
        QCOMPARE(config->settings->matchDomains(),
                 QStringList({u"Ads.example"_s, u"b.example"_s, u"tracker.example"_s}));

        switchOn(true);
        c->loadPreferences();
        QTRY_VERIFY(c->state().isDNSEnabled);
        QCOMPARE(saveRowText(*c), u"Preferences updated!"_s);
        QCOMPARE(removeRowText(*c), u"No preferences to remove"_s); // latched before the save

        // A new screen saving the stored names again changes nothing and says so.
        auto next = shownController();
        next->savePreferences();
        QTRY_VERIFY(next->state().saveDNSUnchanged);
        QCOMPARE(saveRowText(*next), u"Preferences already up to date"_s);
        QVERIFY(stored() && stored()->enabled);
    }

    void failedSaveRemovesTheStoredConfiguration_data() {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<bool>("switchedOn");
        QTest::addColumn<QStringList>("saveRow");
        const QStringList saving{u"Error saving preferences"_s};
        QTest::newRow("code 9 of another domain") << u"Other"_s << qint64(9) << false << saving;
        QTest::newRow("configuration error 1")
            << NEConfigurationErrorDomain << qint64(1) << false << saving;
        // The removal switches protection off, so the reload turns "updating" into "saving".
        QTest::newRow("update") << u"X"_s << qint64(1) << true
                                << QStringList{u"Error updating preferences"_s, saving.first()};
    }
    void failedSaveRemovesTheStoredConfiguration() {
        QFETCH(QString, domain);
        QFETCH(qint64, code);
        QFETCH(bool, switchedOn);
        QFETCH(QStringList, saveRow);
        auto next = relaunchedAfterSave(switchedOn);
        RowHistory history(*next);
        NEDNSSettingsManager::failNextOperationForTesting(NEDNSSettingsManager::Operation::save,
                                                          {domain, code, {}});
        next->savePreferences();
        QTRY_COMPARE(removeRowText(*next), u"No preferences to remove"_s);
        QCOMPARE(history.save, saveRow);
        QCOMPARE(history.remove, QStringList({u"Remove preferences"_s, u"Preferences removed!"_s,
                                              u"No preferences to remove"_s}));
        QVERIFY(!stored());
    }

    void removeOutcomes() {
        auto failing = relaunchedAfterSave(false);
        NEDNSSettingsManager::failNextOperationForTesting(NEDNSSettingsManager::Operation::remove,
                                                          {u"X"_s, 4, {}});
        failing->removePreferences();
        QVERIFY(QSignalSpy(failing.get(), &PreferencesController::stateChanged).wait());
        QCOMPARE(removeRowText(*failing), u"Error removing preferences"_s);
        QVERIFY(stored());

        auto removing = shownController();
        removing->removePreferences();
        QTRY_COMPARE(removeRowText(*removing), u"No preferences to remove"_s); // after the reload
        QVERIFY(!stored());

        // With nothing in memory the platform is not asked: an armed failure stays unused.
        NEDNSSettingsManager::failNextOperationForTesting(NEDNSSettingsManager::Operation::remove,
                                                          {u"X"_s, 4, {}});
        PreferencesController fresh(NEDNSSettingsManager::sharedManager(), m_store->domains());
        fresh.removePreferences();
        OptionalError seen;
        NEDNSSettingsManager::sharedManager().removeFromPreferencesWithCompletionHandler(
            [&seen](OptionalError e) { seen = e; });
        QTRY_VERIFY(seen);
        QVERIFY(!fresh.state().removeDNSError);
    }

    // The flag follows the switch; a failed load changes neither it nor the screen's state; a
    // screen gone before the answer gets nothing.
    void protectionStatusFollowsTheSwitch() {
        auto c = relaunchedAfterSave(true);
        QObject screen;
        std::optional<bool> flag;
        refreshProtectionStatus(NEDNSSettingsManager::sharedManager(), &screen,
                                [&flag](bool on) { flag = on; });
        QVERIFY(!flag); // never inside the call
        QTRY_COMPARE(flag, std::optional<bool>(true));

        NEDNSSettingsManager::failNextOperationForTesting(NEDNSSettingsManager::Operation::load,
                                                          {u"X"_s, 6, {}});
        switchOn(false);
        bool answered = false;
        refreshProtectionStatus(NEDNSSettingsManager::sharedManager(), &screen,
                                [&](bool) { answered = true; });
        auto gone = std::make_unique<QObject>();
        refreshProtectionStatus(NEDNSSettingsManager::sharedManager(), gone.get(),
                                [&](bool) { QFAIL("screen was destroyed"); });
        gone.reset();
        QVERIFY(settle());
        QVERIFY(!answered);

        const PreferencesState before = c->state();
        QVERIFY(before.isDNSEnabled);
        NEDNSSettingsManager::failNextOperationForTesting(NEDNSSettingsManager::Operation::load,
                                                          {u"X"_s, 6, {}});
        c->loadPreferences();
        QVERIFY(settle());
        QCOMPARE(c->state(), before);
    }
};

QTEST_GUILESS_MAIN(PreferencesControllerTest)
#include "tst_preferences_controller.moc"
