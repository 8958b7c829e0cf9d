// The unsaved-blocklist line: announced as an alert, gone once a save reaches the file.
#include "TestEnvironment.h"

#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "foundation/NSBundle.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "screens/AppView.h"
#include "screens/ScenePhase.h"

#include <QAccessible>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

class TestUnsavedBanner : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleIdentifier"_s, u"net.quellnet.Quellnet"_s},
                        {u"CFBundleShortVersionString"_s, QStringLiteral(QUELLNET_VERSION)}});
        QQuickStyle::setStyle(u"Basic"_s);
    }

    void bannerAboveTabBarUntilSaved() {
        // A file stands where the store's folder should be: nothing can be written.
        QFile file(m_env.root() + u"/not-a-folder"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
        BlocklistStore store(file.fileName() + u"/blocklist.sqlite"_s);
        ScenePhaseSource phase;
        AppView app(&store, &phase,
                    {.dnsSettings = &NEDNSSettingsManager::sharedManager(),
                     .requestReview = {},
                     .promoteApp = {}});
        QVERIFY(!app.storageWarning().isEmpty());

        QQmlApplicationEngine engine;
        engine.addImportPath(u"qrc:/qt/qml"_s);
        engine.setInitialProperties({{u"appView"_s, QVariant::fromValue(&app)}});
        engine.load(QUrl(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s));
        QCOMPARE(engine.rootObjects().size(), 1);
        auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        auto *banner = window->findChild<QQuickItem *>(u"storageWarning"_s);
        QVERIFY(banner && banner->isVisible());
        QCOMPARE(QAccessible::queryAccessibleInterface(banner)->role(), QAccessible::AlertMessage);

        QVERIFY(file.remove());
        store.insert(std::make_shared<Domain>(u"saved.example"_s, QUuid::createUuid()));
        QVERIFY(!store.save());
        QTRY_VERIFY(!banner->isVisible());
    }
};

QTEST_MAIN(TestUnsavedBanner)
#include "tst_unsaved_banner.moc"
