// The unsaved-blocklist line: announced as an alert, gone once a save reaches the file.
#include "AppWindowSetup.h"
#include "QmlWindow.h"
#include "ScreenFixture.h"

#include <QAccessible>
#include <QQuickItem>
#include <QScopeGuard>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

class TestUnsavedBanner : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void bannerAboveTabBarUntilSaved() {
        QVERIFY(m_env.isValid());
        setUpAsTheApp();
        // A file stands where the store's folder should be: nothing can be written.
        QFile file(m_env.root() + u"/not-a-folder"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
        BlocklistStore store(file.fileName() + u"/blocklist.sqlite"_s);
        ScenePhaseSource phase;
        AppView app(&store, &phase, ScreenFixture::services());
        QVERIFY(!app.storageWarning().isEmpty());

        QmlWindow qml;
        const auto unload = qScopeGuard([&] { qml.unload(); });
        QVERIFY(qml.load(this, u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s,
                         {{u"appView"_s, QVariant::fromValue(&app)}}));
        auto *banner = qml.window->findChild<QQuickItem *>(u"storageWarning"_s);
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
