// The Instructions, Status and Settings screens and the tab container, as plain C++ against
// the real platform layer in a temporary state folder.
#include "ScreenFixture.h"
#include "SettingsTestSupport.h"

#include "foundation/NSBundle.h"
#include "screens/InstructionsView.h"
#include "screens/SettingsView.h"
#include "screens/StatusView.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {
QString rowText(const ScreenModel &screen, int index) {
    return screen.content().texts().value(index);
}
} // namespace

class ScreensTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> m_f;

private Q_SLOTS:
    void initTestCase() {
        NSBundle::mainBundle().setInfoDictionary(QVariantMap{
            {u"CFBundleIdentifier"_s, appIdentifier}, {u"CFBundleDisplayName"_s, u"Quellnet"_s}});
    }
    void init() {
        QVERIFY(settle()); // the previous test's answers land before its folders go away
        m_f = std::make_unique<ScreenFixture>();
        QVERIFY(settle()); // the shared manager forgets the previous folder's configuration
    }
    void cleanup() { m_f.reset(); }

    // Made, the screen has not looked; in view or back in the app it reloads, leaving does not.
    // (What the loads and saves decide is tested with the preferences controller.)
    void statusReloadsOnAppearanceAndReturn() {
        switchOn(true, IfAbsent::store);
        StatusView view(NEDNSSettingsManager::sharedManager(), &m_f->phase);
        QVERIFY(settle());
        QVERIFY(!view.isDNSEnabled());
        view.appear();
        QTRY_VERIFY(view.isDNSEnabled());
        switchOn(false);
        for (ScenePhase phase : {ScenePhase::inactive, ScenePhase::background}) {
            m_f->phase.setPhase(phase);
            QVERIFY(settle());
            QVERIFY(view.isDNSEnabled());
        }
        m_f->phase.setPhase(ScenePhase::active);
        QTRY_VERIFY(!view.isDNSEnabled());
    }

    void settingsButtonsAndReturnReachTheController() {
        SettingsView view(NEDNSSettingsManager::sharedManager(), m_f->store.domains(), &m_f->phase);
        view.appear();
        QTRY_COMPARE(rowText(view, 0), u"Blocklist is empty"_s);
        // A press that raced the guard must not save an empty configuration.
        view.activate(SettingsView::saveButtonKey);
        QVERIFY(settle());
        QCOMPARE(DNSConfigurationStore().read(appIdentifier).status,
                 DNSConfigurationStore::ReadResult::absent);

        addDomains(m_f->store, {u"a.example"_s}); // the rows follow the count
        view.activate(SettingsView::saveButtonKey);
        QTRY_COMPARE(rowText(view, 0), u"Preferences saved!"_s);

        // Switched on elsewhere: only coming back to the app turns "saved" into "updated".
        switchOn(true);
        m_f->phase.setPhase(ScenePhase::background);
        QVERIFY(settle());
        QCOMPARE(rowText(view, 0), u"Preferences saved!"_s);
        m_f->phase.setPhase(ScenePhase::active);
        QTRY_COMPARE(rowText(view, 0), u"Preferences updated!"_s);
        SettingsView next(NEDNSSettingsManager::sharedManager(), m_f->store.domains(), &m_f->phase);
        next.appear(); // a screen made with the configuration stored offers to remove it
        QTRY_COMPARE(rowText(next, 1), u"Remove preferences"_s);
        next.activate(SettingsView::removeButtonKey);
        QTRY_COMPARE(DNSConfigurationStore().read(appIdentifier).status,
                     DNSConfigurationStore::ReadResult::absent);
    }

    void appViewMakesScreensOnFirstSelection() {
        AppView app(&m_f->store, &m_f->phase, ScreenFixture::services());
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
