#include "common/TestEnvironment.h"
#include "foundation/NSBundle.h"
#include "storekit/RequestReviewAction.h"
#include "storekit/SKStoreProductViewController.h"
#include "storekit/StoreReachability.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {
struct Outcome {
    bool done = false;
    bool result = false;
    OptionalError error;
};

class RecordingDelegate : public SKStoreProductViewControllerDelegate {
public:
    void productViewControllerDidFinish(SKStoreProductViewController *controller) override {
        finished << controller;
        controller->dismissViewControllerAnimated(true, {});
    }
    QList<SKStoreProductViewController *> finished;
};
} // namespace

class TestStoreKit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleIdentifier"_s, u"net.example.quellnet"_s},
                        {u"CFBundleDisplayName"_s, u"Quellnet"_s}});
        m_scene = std::make_shared<UIWindowScene>();
        auto window = std::make_shared<UIWindow>();
        window->setRootViewController(std::make_shared<UIViewController>());
        m_scene->setKeyWindow(window);
        UIApplication::shared().connectScene(m_scene);
    }
    void init() {
        QVERIFY(StoreReachability::setReachable(true));
        m_scene->setActivationState(UIScene::ActivationState::foregroundActive);
    }
    void cleanup() {
        auto root = m_scene->keyWindow()->rootViewController();
        root->dismissViewControllerAnimated(false, {});
    }

    void load_data() {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("id");
        QTest::addColumn<qint64>("errorCode");
        QTest::addColumn<QString>("title");
        QTest::newRow("listed") << true << u"6452000024"_s << qint64(-1)
                                << u"Tidepool Photo Cleaner"_s;
        QTest::newRow("unlisted") << true << u"1000000001"_s << qint64(-1) << u"App 1000000001"_s;
        QTest::newRow("offline") << false << u"6452000024"_s
                                 << qint64(SKErrorCloudServiceNetworkConnectionFailed) << QString();
        QTest::newRow("nine digits")
            << true << u"645200002"_s << qint64(SKErrorStoreProductNotAvailable) << QString();
        QTest::newRow("eleven digits")
            << true << u"64520000241"_s << qint64(SKErrorStoreProductNotAvailable) << QString();
        QTest::newRow("prefixed") << true << u"id64520000"_s
                                  << qint64(SKErrorStoreProductNotAvailable) << QString();
        QTest::newRow("arabic-indic digits")
            << true << u"\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669\u0660"_s
            << qint64(SKErrorStoreProductNotAvailable) << QString();
        QTest::newRow("empty") << true << QString() << qint64(SKErrorStoreProductNotAvailable)
                               << QString();
    }
    void load() {
        QFETCH(bool, reachable);
        QFETCH(QString, id);
        QFETCH(qint64, errorCode);
        QFETCH(QString, title);
        QVERIFY(StoreReachability::setReachable(reachable));

        Outcome outcome;
        QString loadedTitle;
        std::weak_ptr<SKStoreProductViewController> weak;
        {
            auto page = std::make_shared<SKStoreProductViewController>();
            weak = page;
            page->loadProductWithParameters({{SKStoreProductParameterITunesItemIdentifier, id}},
                                            [&, weak](bool result, OptionalError error) {
                                                outcome = {true, result, error};
                                                loadedTitle = weak.lock()->productTitle();
                                            });
        }
        QVERIFY(!outcome.done);
        QVERIFY(weak.lock()); // the pending load keeps the page
        QTRY_VERIFY(outcome.done);
        QCOMPARE(outcome.result, errorCode < 0);
        QCOMPARE(outcome.error ? outcome.error->code : qint64(-1), errorCode);
        if (outcome.error)
            QCOMPARE(outcome.error->domain, SKErrorDomain);
        QVERIFY(!weak.lock()); // nothing holds it once the completion has run
        QCOMPARE(loadedTitle, title);
    }

    void closeGoesThroughTheDelegate() {
        auto root = m_scene->keyWindow()->rootViewController();
        auto delegate = std::make_shared<RecordingDelegate>();
        auto page = std::make_shared<SKStoreProductViewController>();
        page->setDelegate(delegate);
        bool loaded = false;
        page->loadProductWithParameters(
            {{SKStoreProductParameterITunesItemIdentifier, u"6451000011"_s}},
            [&](bool ok, OptionalError) { loaded = ok; });
        QTRY_VERIFY(loaded);
        QCOMPARE(page->title(), u"Tidewater Focus Timer"_s);
        root->presentViewController(page, true, {});
        page->userDidRequestClose();
        QCOMPARE(delegate->finished.size(), 1);
        QCOMPARE(delegate->finished.first(), page.get());
        QVERIFY(!root->presentedViewController());

        // Without a delegate the page still closes.
        auto orphan = std::make_shared<SKStoreProductViewController>();
        root->presentViewController(orphan, true, {});
        orphan->userDidRequestClose();
        QVERIFY(!root->presentedViewController());
    }

    void reviewSheetAtMostThreeTimesAYear() {
        QDateTime now(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);
        const RequestReviewAction requestReview([&] { return now; });
        UIPresentationStack *stack = m_scene->keyWindow()->presentationStack();
        auto root = m_scene->keyWindow()->rootViewController();

        // A request queued behind another marks when that one has been decided.
        const auto settle = [this] {
            bool settled = false;
            QMetaObject::invokeMethod(
                this, [&] { settled = true; }, Qt::QueuedConnection);
            return QTest::qWaitFor([&] { return settled; });
        };

        // Not shown when no window is active, and not counted either.
        m_scene->setActivationState(UIScene::ActivationState::background);
        for (int i = 0; i < 4; ++i)
            requestReview();
        QVERIFY(settle());
        QCOMPARE(stack->count(), 0);
        m_scene->setActivationState(UIScene::ActivationState::foregroundActive);
        requestReview();
        QVERIFY(settle());
        QCOMPARE(stack->count(), 1);
        QCOMPARE(stack->data(stack->index(0), UIPresentationStack::KindRole).toString(),
                 u"review"_s);
        QCOMPARE(stack->data(stack->index(0), UIPresentationStack::TitleRole).toString(),
                 u"Enjoying Quellnet?"_s);

        const auto shownAfter = [&](int days) {
            root->dismissViewControllerAnimated(false, {});
            now = now.addDays(days);
            requestReview();
            return settle() && stack->count() == 1;
        };
        QVERIFY(shownAfter(100));
        QVERIFY(shownAfter(100));
        QVERIFY(!shownAfter(100)); // fourth within 365 days of the first
        QVERIFY(shownAfter(66));   // first one is now 366 days old
        QVERIFY(!shownAfter(0));
    }

private:
    TestEnvironment m_env;
    std::shared_ptr<UIWindowScene> m_scene;
};

QTEST_MAIN(TestStoreKit)
#include "tst_storekit.moc"
