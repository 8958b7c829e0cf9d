// The Settings controller on the real platform store, failures injected through its test seam.
#include "common/SettingsTestSupport.h"
#include "common/TestEnvironment.h"

#include "blocklist/DomainListModel.h"
#include "foundation/NSBundle.h"
#include "protection/PreferencesController.h"
#include "protection/ProtectionStatus.h"

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {
/** Every message a row showed, in order ("" for its button): completions may land faster than
    a poll can look. */
struct RowHistory {
    QStringList save, remove;
    explicit RowHistory(const PreferencesController &c) {
        QObject::connect(&c, &PreferencesController::stateChanged, &c, [this, &c] {
            for (auto [row, m] :
                 {std::pair{&save, c.saveRowMessage()}, {&remove, c.removeRowMessage()}})
                if (const QString text = m ? m->text : QString();
                    row->value(row->size() - 1, u"-"_s) != text)
                    *row << text;
        });
    }
};
} // namespace

class PreferencesControllerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<BlocklistStore> m_store;

    std::unique_ptr<PreferencesController> shownController() {
        auto c = std::make_unique<PreferencesController>(NEDNSSettingsManager::sharedManager(),
                                                         m_store->domains());
        c->loadPreferences();
        settle(); // the rows' histories show it if it never answered
        return c;
    }

    /** One record saved by an earlier screen (and switched on), then a new screen loaded. */
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

    // A new screen after a save saves, removes or loads, the platform failing it: a failed save
    // removes the stored configuration, which switches protection off, so the reload turns
    // "updating" into "saving"; a failed remove or load changes nothing.
    void sequences_data() {
        using Operation = NEDNSSettingsManager::Operation;
        QTest::addColumn<bool>("switchedOn");
        QTest::addColumn<Operation>("action");
        QTest::addColumn<NSError>("error"); // none if its domain is empty
        QTest::addColumn<QStringList>("saveRow");
        QTest::addColumn<QStringList>("removeRow");
        QTest::addColumn<bool>("storedAfter");
        const QStringList saving{u"Error saving preferences"_s};
        const QStringList removed{QString(), u"Preferences removed!"_s,
                                  u"No preferences to remove"_s};
        QTest::newRow("save fails, code 9 of another domain")
            << false << Operation::save << NSError{u"Other"_s, 9, {}} << saving << removed << false;
        QTest::newRow("update fails")
            << true << Operation::save << NSError{u"X"_s, 1, {}}
            << QStringList{u"Error updating preferences"_s, saving[0]} << removed << false;
        QTest::newRow("remove fails")
            << false << Operation::remove << NSError{u"X"_s, 4, {}} << QStringList{QString()}
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
        const auto stored = DNSConfigurationStore().read(appIdentifier).configuration;
        QCOMPARE(stored.has_value(), storedAfter);
        QVERIFY(!storedAfter || stored->enabled == switchedOn);
    }

    // A screen gone before the answer gets nothing.
    void protectionStatusSkipsGoneScreens() {
        auto gone = std::make_unique<QObject>();
        refreshProtectionStatus(NEDNSSettingsManager::sharedManager(), gone.get(),
                                [](bool) { QFAIL("screen was destroyed"); });
        gone.reset();
        QVERIFY(settle());
    }
};

QTEST_GUILESS_MAIN(PreferencesControllerTest)
#include "tst_preferences_controller.moc"
