#include "common/TestEnvironment.h"

#include "AppStoreView/AppCatalogue.h"
#include "AppStoreView/AppStoreView.h"
#include "AppStoreView/MoreApps.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAppStoreView : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    std::shared_ptr<UIWindowScene> m_scene;
    QList<QUrl> m_opened;

    UIPresentationStack *sheets() { return m_scene->keyWindow()->presentationStack(); }
    QString shownTitle() {
        QSignalSpy inserted(sheets(), &QAbstractItemModel::rowsInserted);
        if (sheets()->count() == 0 && !inserted.wait())
            return {};
        return sheets()->data(sheets()->index(0), UIPresentationStack::TitleRole).toString();
    }
    bool showsNothing() {
        bool settled = false;
        QMetaObject::invokeMethod(
            this, [&] { settled = true; }, Qt::QueuedConnection);
        return QTest::qWaitFor([&] { return settled; }) && sheets()->count() == 0;
    }

private Q_SLOTS:
    void initTestCase() {
        UIApplication::shared().setURLOpener(
            [this](const QUrl &url) { return m_opened << url, true; });
        m_scene = std::make_shared<UIWindowScene>();
        m_scene->setKeyWindow(std::make_shared<UIWindow>());
        m_scene->keyWindow()->setRootViewController(std::make_shared<UIViewController>());
        UIApplication::shared().connectScene(m_scene);
    }
    void init() {
        m_scene->setActivationState(UIScene::ActivationState::foregroundActive);
        m_opened.clear();
    }
    void cleanup() {
        m_scene->keyWindow()->rootViewController()->dismissViewControllerAnimated(false, {});
    }

    // Out of range gives nothing; an inactive scene, or an active one without a window, shows
    // nothing and opens nothing.
    void nowhereToShow() {
        QVERIFY(!AppCatalogue::moreOptionsApp(-1) && !AppCatalogue::moreOptionsApp(8));
        m_scene->setActivationState(UIScene::ActivationState::foregroundInactive);
        AppCatalogue::moreOptionsApp(1)->presentProductPage();
        auto bare = std::make_shared<UIWindowScene>();
        bare->setActivationState(UIScene::ActivationState::foregroundActive);
        UIApplication::shared().connectScene(bare);
        AppCatalogue::moreOptionsApp(1)->presentProductPage();
        QVERIFY(showsNothing());
        UIApplication::shared().disconnectScene(bare);
        QVERIFY(m_opened.isEmpty());
    }

    void featuredShowsAfterLoadAndCloses() {
        QVERIFY(!MoreApps::presentPromotedApp(u"0000000000"_s));
        QVERIFY(!MoreApps::presentPromotedApp(AppCatalogue::moreOptionsInfo().at(0).productID));
        QVERIFY(showsNothing());
        MoreApps::presentFeaturedApp();
        QCOMPARE(shownTitle(), u"Tidepool Photo Cleaner"_s);
        sheets()->close(0); // through the delegate, which dismisses the page
        QTRY_COMPARE(sheets()->count(), 0);
    }
};

QTEST_MAIN(TestAppStoreView)
#include "tst_appstoreview.moc"
