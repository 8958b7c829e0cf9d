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
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {
class Sheet : public UIViewController {
public:
    explicit Sheet(QString name)
        : name(std::move(name)) {}
    QString title() const override { return name; }
    void userDidRequestClose() override {
        ++closeRequests;
        UIViewController::userDidRequestClose();
    }
    const QString name;
    int closeRequests = 0;
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
    // Waits until everything queued so far has run.
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

        auto page = std::make_shared<SKStoreProductViewController>(); // no delegate: closes too
        root()->presentViewController(page, true, {});
        page->userDidRequestClose();
        QVERIFY(!root()->presentedViewController());
    }

    void windowScenesFollowTheirQtWindow() {
        auto *window = new QWindow;
        const auto scene = UIApplication::shared().connectWindowScene(window);
        QVERIFY(scene && scene->keyWindow() && scene->keyWindow()->rootViewController());
        QCOMPARE(scene->activationState(), UIScene::ActivationState::background); // not shown
        QVERIFY(UIApplication::shared().connectedScenes().contains(scene));
        delete window;
        QVERIFY(!UIApplication::shared().connectedScenes().contains(scene));
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
        QTest::newRow("arabic-indic digits")
            << true << u"\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669\u0660"_s
            << notAvailable << QString();
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
        QVERIFY(!weak.lock()); // nothing holds it once the completion has run
        QTEST(loadedTitle, "title");
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

    // Reading the record never moves it: a damaged one stays while no sheet is shown and is set
    // aside, intact, only once a shown sheet is to be recorded; a link there is never followed.
    void damagedOrLinkedReviewRecord() {
        const QString path = RequestReviewAction::recordPath();
        const QString folder = QFileInfo(path).path();
        const QByteArray damaged = "[net.example.quellnet\nshown=x\n";
        QVERIFY(QDir().mkpath(folder) && putFile(path, damaged));
        const RequestReviewAction requestReview;
        m_scene->setActivationState(UIScene::ActivationState::background);
        requestReview();
        QVERIFY(settle());
        QCOMPARE(fileBytes(path), damaged);
        QCOMPARE(QDir(folder).entryList({u"*.corrupt-*"_s}), QStringList());

        m_scene->setActivationState(UIScene::ActivationState::foregroundActive);
        requestReview();
        QVERIFY(settle());
        QCOMPARE(stack()->count(), 1);
        const QStringList aside = QDir(folder).entryList({u"*.corrupt-*"_s});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileBytes(folder + u'/' + aside.first()), damaged);
        QVERIFY(fileBytes(path).contains("shown="));

        root()->dismissViewControllerAnimated(false, {});
        const QString elsewhere = m_env.root() + u"/elsewhere.ini"_s;
        QVERIFY(QFile::remove(path) && putFile(elsewhere, "x") && QFile::link(elsewhere, path));
        requestReview();
        QVERIFY(settle());
        QCOMPARE(stack()->count(), 0);
        QCOMPARE(fileBytes(elsewhere), QByteArray("x"));
    }
};

QTEST_MAIN(TestUIKit)
#include "tst_uikit.moc"
