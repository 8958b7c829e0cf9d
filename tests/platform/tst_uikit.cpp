// Window scenes, sheets, the URL opener, the store page and the review request.
#include "common/TestEnvironment.h"
#include "common/TestFiles.h"
#include "foundation/NSBundle.h"
#include "storekit/RequestReviewAction.h"
#include "storekit/SKStoreProductViewController.h"
#include "storekit/StoreReachability.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

class TestUIKit : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    std::shared_ptr<UIWindowScene> m_scene;

    std::shared_ptr<UIViewController> root() { return m_scene->keyWindow()->rootViewController(); }
    UIPresentationStack *stack() { return m_scene->keyWindow()->presentationStack(); }
    /** Asks for the review sheet with the window active or not: how many sheets then show. */
    int shownOnRequest(const RequestReviewAction &requestReview, bool active = true) {
        root()->dismissViewControllerAnimated(false, {});
        m_scene->setActivationState(active ? UIScene::ActivationState::foregroundActive
                                           : UIScene::ActivationState::background);
        requestReview();
        bool settled = false; // once everything queued so far has run
        QMetaObject::invokeMethod(
            this, [&] { settled = true; }, Qt::QueuedConnection);
        return QTest::qWaitFor([&] { return settled; }) ? int(stack()->count()) : -1;
    }

private Q_SLOTS:
    void initTestCase() {
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleIdentifier"_s, u"net.example.quellnet"_s},
                        {u"CFBundleDisplayName"_s, u"Quellnet"_s}});
        m_scene = std::make_shared<UIWindowScene>();
        m_scene->setKeyWindow(std::make_shared<UIWindow>());
        m_scene->keyWindow()->setRootViewController(std::make_shared<UIViewController>());
        UIApplication::shared().connectScene(m_scene);
        QVERIFY(StoreReachability::setReachable(true));
    }
    void init() { m_scene->setActivationState(UIScene::ActivationState::foregroundActive); }
    void cleanup() { root()->dismissViewControllerAnimated(false, {}); }

    // Sheets stack once each; completions never run inside the call; dismissing a lower sheet
    // takes what stands above it too. (Closing through the drawing: tst_qml_smoke.)
    void sheetsStackAndClose() {
        auto first = std::make_shared<UIViewController>();
        auto second = std::make_shared<UIViewController>();
        bool presented = false;
        root()->presentViewController(first, true, [&] { presented = true; });
        root()->presentViewController(second, true, {});
        root()->presentViewController(first, true, {});
        QVERIFY(!presented && stack()->count() == 2);
        QTRY_VERIFY(presented);

        root()->presentViewController(second, true, {});
        first->dismissViewControllerAnimated(true, {});
        QVERIFY(stack()->count() == 0 && !second->window());

        auto loose = std::make_shared<UIViewController>(); // in no window: presents nothing
        loose->presentViewController(std::make_shared<UIViewController>(), true, {});
        QVERIFY(!loose->presentedViewController());
    }

    // A scene made for a Qt window goes when the window does.
    void windowScenesFollowTheirQtWindow() {
        auto *window = new QWindow;
        const auto scene = UIApplication::shared().connectWindowScene(window);
        QVERIFY(scene && scene->keyWindow() && scene->keyWindow()->rootViewController());
        QVERIFY(UIApplication::shared().connectedScenes().contains(scene));
        delete window;
        QVERIFY(!UIApplication::shared().connectedScenes().contains(scene));
    }

    // A page loads only a ten-digit ASCII identifier (offline: tst_appstoreview); the pending
    // load keeps the page alive, and nothing holds it once the completion has run.
    void load_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("listed") << u"6452000024"_s << true;
        QTest::newRow("nine digits") << u"645200002"_s << false;
        QTest::newRow("arabic-indic digits")
            << u"\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669\u0660"_s << false;
    }
    void load() {
        QFETCH(QString, id);
        std::optional<bool> loaded;
        std::weak_ptr<SKStoreProductViewController> weak;
        {
            auto page = std::make_shared<SKStoreProductViewController>();
            weak = page;
            page->loadProductWithParameters({{SKStoreProductParameterITunesItemIdentifier, id}},
                                            [&](bool ok, OptionalError e) { loaded = ok && !e; });
        }
        QVERIFY(!loaded && weak.lock());
        QTRY_VERIFY(loaded);
        QTEST(*loaded, "loaded");
        QVERIFY(!weak.lock());
    }

    // Shown at most three times in any 365 days, and neither shown nor counted while no
    // window is active.
    void reviewSheetAtMostThreeTimesAYear() {
        QDateTime now(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);
        const RequestReviewAction requestReview([&] { return now; });
        const auto shownAfter = [&](int days, bool active = true) {
            now = now.addDays(days);
            return shownOnRequest(requestReview, active) == 1;
        };
        for (int i = 0; i < 4; ++i)
            QVERIFY(!shownAfter(0, false));
        QVERIFY(shownAfter(0));
        QVERIFY(shownAfter(100));
        QVERIFY(shownAfter(100));
        QVERIFY(!shownAfter(100)); // fourth within 365 days of the first
        QVERIFY(shownAfter(66));   // the first is now 366 days old
        QVERIFY(!shownAfter(0));
    }

    // Reading the record never moves it: a damaged one stays while no sheet is shown and is set
    // aside, intact, only once a shown sheet is to be recorded; a link there is never followed.
    void damagedOrLinkedReviewRecord() {
        const QString path = RequestReviewAction::recordPath();
        const QString folder = QFileInfo(path).path();
        const QByteArray damaged = "[net.example.quellnet\nshown=x\n";
        QVERIFY(QDir().mkpath(folder) && putFile(path, damaged));
        const RequestReviewAction requestReview;
        QCOMPARE(shownOnRequest(requestReview, false), 0);
        QCOMPARE(fileBytes(path), damaged);
        QCOMPARE(QDir(folder).entryList({u"*.corrupt-*"_s}), QStringList());

        QCOMPARE(shownOnRequest(requestReview), 1);
        const QStringList aside = QDir(folder).entryList({u"*.corrupt-*"_s});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileBytes(folder + u'/' + aside.first()), damaged);
        QVERIFY(fileBytes(path).contains("shown="));

        const QString elsewhere = m_env.root() + u"/elsewhere.ini"_s;
        QVERIFY(QFile::remove(path) && putFile(elsewhere, "x") && QFile::link(elsewhere, path));
        QCOMPARE(shownOnRequest(requestReview), 0);
        QCOMPARE(fileBytes(elsewhere), QByteArray("x"));
    }
};

QTEST_MAIN(TestUIKit)
#include "tst_uikit.moc"
