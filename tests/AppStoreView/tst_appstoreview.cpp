// The app catalogues and their store pages: built once on first use, shown only where a
// foreground-active scene has a window.
#include "common/TestEnvironment.h"

#include "AppStoreView/AppCatalogue.h"
#include "AppStoreView/AppStoreView.h"
#include "AppStoreView/MoreApps.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"

#include <QSet>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAppStoreView : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    std::shared_ptr<UIWindowScene> m_scene;
    QList<QUrl> m_opened;

    UIPresentationStack *sheets() { return m_scene->keyWindow()->presentationStack(); }
    // The first sheet's title, waiting for one to be shown.
    QString shownTitle() {
        QSignalSpy inserted(sheets(), &QAbstractItemModel::rowsInserted);
        if (sheets()->count() == 0 && !inserted.wait())
            return {};
        return sheets()->data(sheets()->index(0), UIPresentationStack::TitleRole).toString();
    }
    // Nothing is shown once everything queued so far has run.
    bool showsNothing() {
        bool settled = false;
        QMetaObject::invokeMethod(
            this, [&] { settled = true; }, Qt::QueuedConnection);
        return QTest::qWaitFor([&] { return settled; }) && sheets()->count() == 0;
    }

private Q_SLOTS:
    void initTestCase() {
        // Nothing so far has needed the promoted entries, not even drawing the row.
        QCOMPARE(MoreApps::featuredAppTitle(), u"Tidepool Photo Cleaner"_s);
        QVERIFY(!AppCatalogue::arePromotedAppsBuilt());
        UIApplication::shared().setURLOpener([this](const QUrl &url) {
            m_opened << url;
            return true;
        });
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

    // Out of range gives nothing; each entry is built on its first use, once.
    void entriesAreBuiltOnFirstUse() {
        QVERIFY(!AppCatalogue::moreOptionsApp(-1) && !AppCatalogue::moreOptionsApp(8));
        QVERIFY(!AppCatalogue::isMoreOptionsAppBuilt(3));
        QCOMPARE(AppCatalogue::moreOptionsApp(3), AppCatalogue::moreOptionsApp(3));
        QVERIFY(!AppCatalogue::isMoreOptionsAppBuilt(4));
    }

    // An inactive scene, or an active one without a window, shows nothing and opens nothing.
    void nowhereToShow() {
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
        QCOMPARE(sheets()->count(), 0); // nothing until the load completes
        QCOMPARE(shownTitle(), u"Tidepool Photo Cleaner"_s);
        sheets()->close(0); // through the delegate, which dismisses the page
        QTRY_COMPARE(sheets()->count(), 0);
    }

    void promotionPicksAmongThePromoted() {
        QSet<QString> promoted, titles;
        for (const AppInfo &info : AppCatalogue::promotedInfo())
            promoted << info.title;
        for (int i = 0; i < 60; ++i) {
            AppCatalogue::promoteRandomApp();
            titles << shownTitle();
            cleanup();
        }
        QVERIFY2(promoted.contains(titles), qPrintable(QStringList(titles.values()).join(u',')));
        QVERIFY(titles.size() > 1); // sixty alike: odds of 7^-59
    }
};

QTEST_MAIN(TestAppStoreView)
#include "tst_appstoreview.moc"
