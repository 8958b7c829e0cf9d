// The app catalogues and their store pages: built once on first use, shown only where a
// foreground-active scene has a window, and the web address when the store cannot be reached.
#include "common/TestEnvironment.h"

#include "AppStoreView/AppCatalogue.h"
#include "AppStoreView/AppStoreView.h"
#include "AppStoreView/MoreApps.h"
#include "storekit/StoreListings.h"
#include "storekit/StoreReachability.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"

#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {
/** A scene that is active but shows no windows. */
class HeadlessScene : public UIScene {
public:
    ActivationState activationState() const override { return ActivationState::foregroundActive; }
};
} // namespace

class TestAppStoreView : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    std::shared_ptr<UIWindowScene> m_scene;
    QList<QUrl> m_opened;

    UIPresentationStack *sheets() { return m_scene->keyWindow()->presentationStack(); }
    /** The first sheet's title, waiting for one to be shown. */
    QString shownTitle() {
        QSignalSpy inserted(sheets(), &QAbstractItemModel::rowsInserted);
        if (sheets()->count() == 0 && !inserted.wait())
            return {};
        return sheets()->data(sheets()->index(0), UIPresentationStack::TitleRole).toString();
    }
    /** Nothing is shown once everything queued so far has run. */
    bool showsNothing() {
        bool settled = false;
        QMetaObject::invokeMethod(
            this, [&] { settled = true; }, Qt::QueuedConnection);
        return QTest::qWaitFor([&] { return settled; }) && sheets()->count() == 0;
    }

private Q_SLOTS:
    void initTestCase() {
        // Nothing so far has needed the promoted entries, not even drawing the row.
        QCOMPARE(MoreApps::featuredAppRow().text, u"Tidepool Photo Cleaner"_s);
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
        QVERIFY(StoreReachability::setReachable(true));
        m_scene->setActivationState(UIScene::ActivationState::foregroundActive);
        m_opened.clear();
    }
    void cleanup() {
        m_scene->keyWindow()->rootViewController()->dismissViewControllerAnimated(false, {});
    }

    void cataloguesHaveFifteenDistinctListedApps() {
        QCOMPARE(AppCatalogue::moreOptionsInfo().size(), 8);
        QCOMPARE(AppCatalogue::promotedInfo().size(), 7);
        QSet<QString> ids;
        for (const auto *list : {&AppCatalogue::moreOptionsInfo(), &AppCatalogue::promotedInfo()})
            for (const AppInfo &info : *list) {
                QVERIFY2(QRegularExpression(u"^[0-9]{10}$"_s).match(info.productID).hasMatch(),
                         qPrintable(info.productID));
                QCOMPARE(StoreListings::listing(info.productID).title, info.title);
                ids.insert(info.productID);
            }
        QCOMPARE(ids.size(), 15);
        QCOMPARE(AppCatalogue::storeURL(u"6451000011"_s),
                 QUrl(u"https://apps.example.com/app/id6451000011"_s));
    }

    void entriesAreBuiltOnceOnFirstUse() {
        QVERIFY(!AppCatalogue::isMoreOptionsAppBuilt(3));
        QVERIFY(!AppCatalogue::moreOptionsApp(8) && !AppCatalogue::moreOptionsApp(-1));
        std::vector<std::shared_ptr<AppStoreView>> seen(8);
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < seen.size(); ++i)
            threads.emplace_back([&seen, i] { seen[i] = AppCatalogue::moreOptionsApp(3); });
        for (auto &thread : threads)
            thread.join();
        for (const auto &entry : seen)
            QCOMPARE(entry, seen.front());
        QVERIFY(!AppCatalogue::isMoreOptionsAppBuilt(4));
        QCOMPARE(seen.front()->productID(), AppCatalogue::moreOptionsInfo().at(3).productID);
        QCOMPARE(seen.front()->appURL(), AppCatalogue::storeURL(seen.front()->productID()));
        QCOMPARE(&AppCatalogue::promotedApps(), &AppCatalogue::promotedApps());
        QCOMPARE(AppCatalogue::promotedApps().size(), 7);
    }

    void storePageShowsAfterLoadAndCloses() {
        AppCatalogue::moreOptionsApp(0)->presentProductPage();
        QCOMPARE(sheets()->count(), 0); // nothing until the load completes
        QCOMPARE(shownTitle(), u"Tidewater Focus Timer"_s);
        QSignalSpy removed(sheets(), &QAbstractItemModel::rowsRemoved);
        sheets()->close(0); // through the delegate, which dismisses the page
        QVERIFY(removed.wait());
        QCOMPARE(sheets()->count(), 0);
        QVERIFY(m_opened.isEmpty());
    }

    void unreachableStoreOpensTheWebAddress() {
        QVERIFY(StoreReachability::setReachable(false));
        MoreApps::presentFeaturedApp();
        QTRY_COMPARE(m_opened, QList<QUrl>{QUrl(u"https://apps.example.com/app/id6452000024"_s)});
        QVERIFY(showsNothing());
    }

    void nowhereToShowShowsNothing_data() {
        QTest::addColumn<UIScene::ActivationState>("state");
        QTest::addColumn<bool>("headlessFirst");
        QTest::newRow("inactive") << UIScene::ActivationState::foregroundInactive << false;
        QTest::newRow("background") << UIScene::ActivationState::background << false;
        QTest::newRow("active scene shows no windows")
            << UIScene::ActivationState::foregroundActive << true;
    }
    void nowhereToShowShowsNothing() {
        QFETCH(UIScene::ActivationState, state);
        QFETCH(bool, headlessFirst);
        m_scene->setActivationState(state);
        // Scenes are looked at in connection order; a headless one connected first wins.
        auto headless = std::make_shared<HeadlessScene>();
        if (headlessFirst) {
            UIApplication::shared().disconnectScene(m_scene);
            UIApplication::shared().connectScene(headless);
            UIApplication::shared().connectScene(m_scene);
        }
        AppCatalogue::moreOptionsApp(1)->presentProductPage();
        QVERIFY(showsNothing());
        UIApplication::shared().disconnectScene(headless);
        QVERIFY(m_opened.isEmpty());
    }

    void featuredLookup() {
        QVERIFY(!MoreApps::presentPromotedApp(u"0000000000"_s));
        QVERIFY(!MoreApps::presentPromotedApp(AppCatalogue::moreOptionsInfo().at(0).productID));
        QVERIFY(showsNothing());
        MoreApps::presentFeaturedApp();
        QCOMPARE(shownTitle(), u"Tidepool Photo Cleaner"_s);
    }

    void promotionPicksAmongThePromoted() {
        QStringList promoted;
        for (const AppInfo &info : AppCatalogue::promotedInfo())
            promoted << info.title;
        QSet<QString> titles;
        for (int i = 0; i < 60; ++i) {
            AppCatalogue::promoteRandomApp();
            const QString title = shownTitle();
            QVERIFY2(promoted.contains(title), qPrintable(title));
            titles.insert(title);
            cleanup();
        }
        QVERIFY(titles.size() > 1); // sixty alike: odds of 7^-59
    }
};

QTEST_MAIN(TestAppStoreView)
#include "tst_appstoreview.moc"
