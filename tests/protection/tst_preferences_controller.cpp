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

    // The full list outranks every outcome flag.
    void fullListOutranksTheOutcome() {
        QStringList names;
        for (int i = 0; i < 200; ++i)
            names << u"host%1.example"_s.arg(i, 3, 10, QLatin1Char('0'));
        addDomains(*m_store, names);
        PreferencesController c(NEDNSSettingsManager::sharedManager(), m_store->domains());
        c.handleSaveResult(std::nullopt);
        QCOMPARE(saveRowText(c), u"Blocklist is full"_s);
    }

    // After a save (and the switch, if on), a new screen saves, removes or loads again, the
    // platform failing it if an error is given: every text each row shows, in order, and
    // whether a configuration stays stored. A failed save removes the stored configuration;
    // the removal switches protection off, so the reload turns "updating" into "saving". A
    // failed load changes nothing.
    void sequences_data() {
        using Operation = NEDNSSettingsManager::Operation;
        QTest::addColumn<bool>("switchedOn");
        QTest::addColumn<Operation>("action");
        QTest::addColumn<NSError>("error"); // none if its domain is empty
        QTest::addColumn<QStringList>("saveRow");
        QTest::addColumn<QStringList>("removeRow");
        QTest::addColumn<bool>("storedAfter");
        const QStringList saving{u"Error saving preferences"_s};
        const QStringList removed{u"Remove preferences"_s, u"Preferences removed!"_s,
                                  u"No preferences to remove"_s};
        QTest::newRow("save unchanged") << true << Operation::save << NSError{}
                                        << QStringList{u"Preferences already up to date"_s}
                                        << QStringList{u"Remove preferences"_s} << true;
        QTest::newRow("save fails, code 9 of another domain")
            << false << Operation::save << NSError{u"Other"_s, 9, {}} << saving << removed << false;
        QTest::newRow("update fails")
            << true << Operation::save << NSError{u"X"_s, 1, {}}
            << QStringList{u"Error updating preferences"_s, saving[0]} << removed << false;
        QTest::newRow("remove fails") << false << Operation::remove << NSError{u"X"_s, 4, {}}
                                      << QStringList{u"Save preferences"_s}
                                      << QStringList{u"Error removing preferences"_s} << true;
        QTest::newRow("load fails") << true << Operation::load << NSError{u"X"_s, 6, {}}
                                    << QStringList() << QStringList() << true;
    }
    void sequences() {
        using Operation = NEDNSSettingsManager::Operation;
        QFETCH(bool, switchedOn);
        QFETCH(Operation, action);
        QFETCH(NSError, error);
        QFETCH(QStringList, saveRow);
        QFETCH(QStringList, removeRow);
        QFETCH(bool, storedAfter);
        auto next = relaunchedAfterSave(switchedOn);
        RowHistory history(*next);
        if (!error.domain.isEmpty())
            NEDNSSettingsManager::failNextOperationForTesting(action, error);
        if (action == Operation::save)
            next->savePreferences();
        else if (action == Operation::remove)
            next->removePreferences();
        else
            next->loadPreferences();
        QTRY_COMPARE(history.remove, removeRow);
        QTRY_COMPARE(history.save, saveRow);
        QVERIFY(settle());
        QCOMPARE(history.remove, removeRow);
        QCOMPARE(history.save, saveRow);
        QCOMPARE(stored().has_value(), storedAfter);
        QVERIFY(!storedAfter || stored()->enabled == switchedOn);
    }

    // With nothing in memory the platform is not asked: an armed failure stays unused.
    void removeWithNothingLoaded() {
        shownController(); // the platform's answer: nothing stored
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

    // A failed load answers no screen; a screen gone before the answer gets nothing.
    void protectionStatusAnswersOnlyLiveScreens() {
        relaunchedAfterSave(true);
        QObject screen;
        NEDNSSettingsManager::failNextOperationForTesting(NEDNSSettingsManager::Operation::load,
                                                          {u"X"_s, 6, {}});
        bool answered = false;
        refreshProtectionStatus(NEDNSSettingsManager::sharedManager(), &screen,
                                [&](bool) { answered = true; });
        auto gone = std::make_unique<QObject>();
        refreshProtectionStatus(NEDNSSettingsManager::sharedManager(), gone.get(),
                                [&](bool) { QFAIL("screen was destroyed"); });
        gone.reset();
        QVERIFY(settle());
        QVERIFY(!answered);
    }
};

QTEST_GUILESS_MAIN(PreferencesControllerTest)
#include "tst_preferences_controller.moc"
