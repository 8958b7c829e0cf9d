// Window scenes, sheets, the URL opener, the store page and the review request.
#include "common/TestEnvironment.h"
#include "foundation/NSBundle.h"
#include "storekit/RequestReviewAction.h"
#include "storekit/SKStoreProductViewController.h"
#include "storekit/StoreReachability.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {
class Sheet : public UIViewController {
public:
    explicit Sheet(QString name)
        : m_name(std::move(name)) {}
    QString title() const override { return m_name; }
    void userDidRequestClose() override {
        ++closeRequests;
        UIViewController::userDidRequestClose();
    }
    int closeRequests = 0;

private:
    QString m_name;
};

class RecordingDelegate : public SKStoreProductViewControllerDelegate {
public:
    void productViewControllerDidFinish(SKStoreProductViewController *controller) override {
        finished << controller;
        controller->dismissViewControllerAnimated(true, {});
    }
    QList<SKStoreProductViewController *> finished;
};

QStringList titles(UIPresentationStack *stack) {
    QStringList out;
    for (int i = 0; i < stack->rowCount(); ++i)
        out << stack->data(stack->index(i), UIPresentationStack::TitleRole).toString();
    return out;
}
} // namespace

class TestUIKit : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    std::shared_ptr<UIWindowScene> m_scene;

    std::shared_ptr<UIViewController> root() { return m_scene->keyWindow()->rootViewController(); }
    UIPresentationStack *stack() { return m_scene->keyWindow()->presentationStack(); }
    /** Waits until everything queued so far has run. */
    bool settle() {
        bool settled = false;
        QMetaObject::invokeMethod(
            this, [&] { settled = true; }, Qt::QueuedConnection);
        return QTest::qWaitFor([&] { return settled; });
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
    }
    void init() {
        QVERIFY(StoreReachability::setReachable(true));
        m_scene->setActivationState(UIScene::ActivationState::foregroundActive);
    }
    void cleanup() { root()->dismissViewControllerAnimated(false, {}); }

    void sheetsStackAndCloseThroughTheModel() {
        auto first = std::make_shared<Sheet>(u"first"_s);
        auto second = std::make_shared<Sheet>(u"second"_s);
        bool presented = false;
        root()->presentViewController(first, true, [&] { presented = true; });
        QVERIFY(!presented); // completions never run inside the call
        root()->presentViewController(second, true, {});
        root()->presentViewController(first, true, {}); // already shown: ignored
        QCOMPARE(titles(stack()), QStringList({u"first"_s, u"second"_s}));
        QTRY_VERIFY(presented);
        QCOMPARE(first->presentingViewController(), root());
        QCOMPARE(root()->presentedViewController(), first);

        // Closing from the drawing is queued (the item that asked may go away) and asks the
        // controller; closing the lower sheet closes what stands above it too.
        QSignalSpy removed(stack(), &QAbstractItemModel::rowsRemoved);
        stack()->close(1);
        QCOMPARE(second->closeRequests, 0);
        QVERIFY(removed.wait());
        QCOMPARE(second->closeRequests, 1);
        root()->presentViewController(second, true, {});
        first->dismissViewControllerAnimated(true, {});
        QCOMPARE(stack()->count(), 0);
        QVERIFY(!second->window());

        auto loose = std::make_shared<UIViewController>(); // in no window: presents nothing
        loose->presentViewController(std::make_shared<Sheet>(u"x"_s), true, {});
        QVERIFY(!loose->presentedViewController());
    }

    void windowScenesFollowTheirQtWindow() {
        UIWindowScene detached;
        QCOMPARE(detached.activationState(), UIScene::ActivationState::unattached);
        auto *window = new QWindow;
        const auto scene = UIApplication::shared().connectWindowScene(window);
        QVERIFY(scene && scene->keyWindow() && scene->keyWindow()->rootViewController());
        QCOMPARE(UIApplication::shared().connectWindowScene(window), scene);
        QCOMPARE(scene->activationState(), UIScene::ActivationState::background); // not shown
        QVERIFY(UIApplication::shared().connectedScenes().contains(scene));
        delete window;
        QVERIFY(!UIApplication::shared().connectedScenes().contains(scene));
    }

    void openURLReportsLaterAndCanWriteALog() {
        QList<QUrl> opened;
        UIApplication::shared().setURLOpener([&](const QUrl &url) {
            opened << url;
            return true;
        });
        std::optional<bool> outcome;
        const QUrl url(u"https://apps.example.com/app/id1234567890"_s);
        UIApplication::shared().openURL(url, {}, [&](bool ok) { outcome = ok; });
        QCOMPARE(opened, QList<QUrl>{url});
        QVERIFY(!outcome);
        QTRY_COMPARE(outcome, std::optional<bool>(true));
        UIApplication::shared().setURLOpener({});

        const QString log = m_env.root() + u"/opened.txt"_s;
        qputenv("QUELLNET_URL_OPENER_LOG", log.toUtf8());
        QVERIFY(UIApplication::openWithDesktop(QUrl(u"https://a.example/1"_s)));
        QVERIFY(UIApplication::openWithDesktop(QUrl(u"https://a.example/2"_s)));
        qunsetenv("QUELLNET_URL_OPENER_LOG");
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("https://a.example/1\nhttps://a.example/2\n"));
    }

    void load_data() {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("id");
        QTest::addColumn<qint64>("errorCode");
        QTest::addColumn<QString>("title");
        const qint64 notAvailable = SKErrorStoreProductNotAvailable;
        QTest::newRow("listed") << true << u"6452000024"_s << -1ll << u"Tidepool Photo Cleaner"_s;
        QTest::newRow("unlisted") << true << u"1000000001"_s << -1ll << u"App 1000000001"_s;
        QTest::newRow("offline") << false << u"6452000024"_s
                                 << qint64(SKErrorCloudServiceNetworkConnectionFailed) << QString();
        QTest::newRow("nine digits") << true << u"645200002"_s << notAvailable << QString();
        QTest::newRow("eleven digits") << true << u"64520000241"_s << notAvailable << QString();
        QTest::newRow("prefixed") << true << u"id64520000"_s << notAvailable << QString();
        QTest::newRow("arabic-indic digits")
            << true << u"\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669\u0660"_s
            << notAvailable << QString();
        QTest::newRow("empty") << true << QString() << notAvailable << QString();
    }
    void load() {
        QFETCH(bool, reachable);
        QFETCH(QString, id);
        QFETCH(qint64, errorCode);
        QVERIFY(StoreReachability::setReachable(reachable));
        bool done = false, result = false;
        OptionalError error;
        QString loadedTitle;
        std::weak_ptr<SKStoreProductViewController> weak;
        {
            auto page = std::make_shared<SKStoreProductViewController>();
            weak = page;
            page->loadProductWithParameters({{SKStoreProductParameterITunesItemIdentifier, id}},
                                            [&, weak](bool ok, OptionalError e) {
                                                done = true, result = ok, error = e;
                                                loadedTitle = weak.lock()->productTitle();
                                            });
        }
        QVERIFY(!done);
        QVERIFY(weak.lock()); // the pending load keeps the page
        QTRY_VERIFY(done);
        QCOMPARE(result, errorCode < 0);
        QCOMPARE(error ? error->code : -1ll, errorCode);
        QCOMPARE(error ? error->domain : SKErrorDomain, SKErrorDomain);
        QVERIFY(!weak.lock()); // nothing holds it once the completion has run
        QTEST(loadedTitle, "title");
    }

    void closeGoesThroughTheDelegate() {
        auto delegate = std::make_shared<RecordingDelegate>();
        auto page = std::make_shared<SKStoreProductViewController>();
        page->setDelegate(delegate);
        bool loaded = false;
        page->loadProductWithParameters(
            {{SKStoreProductParameterITunesItemIdentifier, u"6451000011"_s}},
            [&](bool ok, OptionalError) { loaded = ok; });
        QTRY_VERIFY(loaded);
        QCOMPARE(page->title(), u"Tidewater Focus Timer"_s);
        root()->presentViewController(page, true, {});
        page->userDidRequestClose();
        QCOMPARE(delegate->finished, QList<SKStoreProductViewController *>{page.get()});
        QVERIFY(!root()->presentedViewController());

        auto orphan = std::make_shared<SKStoreProductViewController>(); // no delegate: closes too
        root()->presentViewController(orphan, true, {});
        orphan->userDidRequestClose();
        QVERIFY(!root()->presentedViewController());
    }

    void reviewSheetAtMostThreeTimesAYear() {
        QDateTime now(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);
        const RequestReviewAction requestReview([&] { return now; });
        // Not shown when no window is active, and not counted either.
        m_scene->setActivationState(UIScene::ActivationState::background);
        for (int i = 0; i < 4; ++i)
            requestReview();
        QVERIFY(settle());
        QCOMPARE(stack()->count(), 0);
        m_scene->setActivationState(UIScene::ActivationState::foregroundActive);
        requestReview();
        QVERIFY(settle());
        QCOMPARE(titles(stack()), QStringList{u"Enjoying Quellnet?"_s});
        QCOMPARE(stack()->data(stack()->index(0), UIPresentationStack::KindRole), u"review"_s);

        const auto shownAfter = [&](int days) {
            root()->dismissViewControllerAnimated(false, {});
            now = now.addDays(days);
            requestReview();
            return settle() && stack()->count() == 1;
        };
        QVERIFY(shownAfter(100));
        QVERIFY(shownAfter(100));
        QVERIFY(!shownAfter(100)); // fourth within 365 days of the first
        QVERIFY(shownAfter(66));   // the first is now 366 days old
        QVERIFY(!shownAfter(0));
    }
};

QTEST_MAIN(TestUIKit)
#include "tst_uikit.moc"
