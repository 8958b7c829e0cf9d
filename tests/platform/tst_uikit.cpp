#include "common/TestEnvironment.h"
#include "common/TestFiles.h"
#include "foundation/NSBundle.h"
#include "storekit/RequestReviewAction.h"
#include "storekit/StoreReachability.h"
#include "uikit/UIApplication.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

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
            QVERIFY(!shownAfter(0, false)); // inactive: neither shown nor counted
        for (int days : {0, 100, 100})
            QVERIFY(shownAfter(days));
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
