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
    QString sheetTitle(int row) {
        return sheets()->data(sheets()->index(row), UIPresentationStack::TitleRole).toString();
    }
    /** Waits until everything queued so far has run. */
    bool settle() {
        bool settled = false;
        QMetaObject::invokeMethod(
            this, [&] { settled = true; }, Qt::QueuedConnection);
        return QTest::qWaitFor([&] { return settled; });
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        // Nothing so far has needed the promoted entries, not even drawing the row.
        QCOMPARE(MoreApps::featuredAppRow().text, u"Tidepool Photo Cleaner"_s);
        QVERIFY(!AppCatalogue::arePromotedAppsBuilt());
        UIApplication::shared().setURLOpener([this](const QUrl &url) {
            m_opened << url;
            return true;
        });
        m_scene = std::make_shared<UIWindowScene>();
        auto window = std::make_shared<UIWindow>();
        window->setRootViewController(std::make_shared<UIViewController>());
        m_scene->setKeyWindow(window);
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

    void catalogues() {
        QCOMPARE(AppCatalogue::moreOptionsInfo().size(), 8);
        QCOMPARE(AppCatalogue::promotedInfo().size(), 7);
        QSet<QString> ids;
        const QRegularExpression tenDigits(u"^[0-9]{10}$"_s);
        for (const auto *list : {&AppCatalogue::moreOptionsInfo(), &AppCatalogue::promotedInfo()}) {
            for (const AppInfo &info : *list) {
                QVERIFY2(tenDigits.match(info.productID).hasMatch(), qPrintable(info.productID));
                QCOMPARE(StoreListings::listing(info.productID).title, info.title);
                ids.insert(info.productID);
            }
        }
        QCOMPARE(ids.size(), 15);
        QCOMPARE(AppCatalogue::storeURL(u"6451000011"_s),
                 QUrl(u"https://apps.example.com/app/id6451000011"_s));

        const Screen::Row row = MoreApps::featuredAppRow();
        QCOMPARE(row.key, MoreApps::rowKey);
        QCOMPARE(row.systemImage, u"arrow.down.circle"_s);
        QCOMPARE(row.buttonStyle, Screen::ButtonStyle::plain);
    }

    void moreOptionsEntriesAreBuiltOnFirstUseOnce() {
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
        QVERIFY(AppCatalogue::isMoreOptionsAppBuilt(3));
        QVERIFY(!AppCatalogue::isMoreOptionsAppBuilt(4));
        QCOMPARE(seen.front()->productID(), AppCatalogue::moreOptionsInfo().at(3).productID);
        QCOMPARE(seen.front()->appURL(), AppCatalogue::storeURL(seen.front()->productID()));
        QCOMPARE(&AppCatalogue::promotedApps(), &AppCatalogue::promotedApps());
        QCOMPARE(AppCatalogue::promotedApps().size(), 7);
    }

    void presentsAndClosesTheStorePage() {
        const auto app = AppCatalogue::moreOptionsApp(0);
        QSignalSpy inserted(sheets(), &QAbstractItemModel::rowsInserted);
        app->presentProductPage();
        QCOMPARE(sheets()->count(), 0); // nothing until the load completes
        QVERIFY(inserted.wait());
        QCOMPARE(sheetTitle(0), u"Tidewater Focus Timer"_s);

        // A second tap while the first page shows stacks a second page above it.
        app->presentProductPage();
        QVERIFY(inserted.wait());
        QCOMPARE(sheets()->count(), 2);

        // Closing goes through the delegate, which dismisses the page it names.
        QSignalSpy removed(sheets(), &QAbstractItemModel::rowsRemoved);
        sheets()->close(1);
        QVERIFY(removed.wait());
        QCOMPARE(sheets()->count(), 1);
        QVERIFY(m_opened.isEmpty());
    }

    void unreachableStoreOpensTheWebAddress() {
        QVERIFY(StoreReachability::setReachable(false));
        MoreApps::presentFeaturedApp();
        QTRY_COMPARE(m_opened, QList<QUrl>{QUrl(u"https://apps.example.com/app/id6452000024"_s)});
        QVERIFY(settle());
        QCOMPARE(sheets()->count(), 0);
    }

    void nowhereToShowShowsNothing_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("headlessFirst");
        QTest::newRow("inactive") << int(UIScene::ActivationState::foregroundInactive) << false;
        QTest::newRow("background") << int(UIScene::ActivationState::background) << false;
        QTest::newRow("active scene shows no windows")
            << int(UIScene::ActivationState::foregroundActive) << true;
    }
    void nowhereToShowShowsNothing() {
        QFETCH(int, state);
        QFETCH(bool, headlessFirst);
        m_scene->setActivationState(UIScene::ActivationState(state));
        // Scenes are looked at in connection order; a headless one connected first wins.
        auto headless = std::make_shared<HeadlessScene>();
        QList<std::shared_ptr<UIScene>> before = UIApplication::shared().connectedScenes();
        if (headlessFirst) {
            for (const auto &scene : before)
                UIApplication::shared().disconnectScene(scene);
            UIApplication::shared().connectScene(headless);
            for (const auto &scene : before)
                UIApplication::shared().connectScene(scene);
        }
        AppCatalogue::moreOptionsApp(1)->presentProductPage();
        QVERIFY(settle());
        UIApplication::shared().disconnectScene(headless);
        QCOMPARE(sheets()->count(), 0);
        QVERIFY(m_opened.isEmpty());
    }

    void featuredLookup() {
        QVERIFY(!MoreApps::presentPromotedApp(u"0000000000"_s));
        QVERIFY(!MoreApps::presentPromotedApp(AppCatalogue::moreOptionsInfo().at(0).productID));
        QVERIFY(settle());
        QCOMPARE(sheets()->count(), 0);

        QSignalSpy inserted(sheets(), &QAbstractItemModel::rowsInserted);
        MoreApps::presentFeaturedApp();
        QVERIFY(inserted.wait());
        QCOMPARE(sheetTitle(0), u"Tidepool Photo Cleaner"_s);
    }

    void promotionPicksAmongThePromoted() {
        QSet<QString> titles;
        for (int i = 0; i < 60; ++i) {
            QSignalSpy inserted(sheets(), &QAbstractItemModel::rowsInserted);
            AppCatalogue::promoteRandomApp();
            QVERIFY(inserted.wait());
            titles.insert(sheetTitle(0));
            m_scene->keyWindow()->rootViewController()->dismissViewControllerAnimated(false, {});
        }
        QStringList promoted;
        for (const AppInfo &info : AppCatalogue::promotedInfo())
            promoted << info.title;
        for (const QString &title : titles)
            QVERIFY(promoted.contains(title));
        QVERIFY(titles.size() > 1); // sixty alike: odds of 7^-59
    }
};

QTEST_MAIN(TestAppStoreView)
#include "tst_appstoreview.moc"
