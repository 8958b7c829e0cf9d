#include "common/TestEnvironment.h"
#include "uikit/UIApplication.h"
#include "uikit/UIViewController.h"
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

QStringList titles(UIPresentationStack *stack) {
    QStringList out;
    for (int i = 0; i < stack->rowCount(); ++i)
        out << stack->data(stack->index(i), UIPresentationStack::TitleRole).toString();
    return out;
}
} // namespace

class TestUIKit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.isValid()); }

    void sheetsStackInPresentationOrder() {
        auto window = std::make_shared<UIWindow>();
        auto root = std::make_shared<UIViewController>();
        window->setRootViewController(root);
        auto first = std::make_shared<Sheet>(u"first"_s);
        auto second = std::make_shared<Sheet>(u"second"_s);

        bool presented = false;
        root->presentViewController(first, true, [&] { presented = true; });
        QVERIFY(!presented); // completions never run inside the call
        root->presentViewController(second, true, {});
        root->presentViewController(first, true, {}); // already shown: ignored
        QCOMPARE(titles(window->presentationStack()), QStringList({u"first"_s, u"second"_s}));
        QTRY_VERIFY(presented);
        QCOMPARE(first->presentingViewController(), root);
        QCOMPARE(root->presentedViewController(), first);

        // Closing the lower sheet closes what stands above it too.
        first->dismissViewControllerAnimated(true, {});
        QCOMPARE(window->presentationStack()->count(), 0);
        QVERIFY(!second->window());
    }

    void closingThroughTheModelAsksTheController() {
        auto window = std::make_shared<UIWindow>();
        window->setRootViewController(std::make_shared<UIViewController>());
        auto sheet = std::make_shared<Sheet>(u"sheet"_s);
        window->rootViewController()->presentViewController(sheet, true, {});
        UIPresentationStack *stack = window->presentationStack();
        QSignalSpy removed(stack, &QAbstractItemModel::rowsRemoved);

        stack->close(0);
        QCOMPARE(sheet->closeRequests, 0); // queued: the drawing that asked may go away
        QVERIFY(removed.wait());
        QCOMPARE(sheet->closeRequests, 1);
        QCOMPARE(stack->count(), 0);

        // A controller in no window presents nothing.
        auto loose = std::make_shared<UIViewController>();
        loose->presentViewController(std::make_shared<Sheet>(u"x"_s), true, {});
        QVERIFY(!loose->presentedViewController());
    }

    void windowScenesFollowTheirQtWindow() {
        UIWindowScene detached;
        QCOMPARE(detached.activationState(), UIScene::ActivationState::unattached);
        detached.setActivationState(UIScene::ActivationState::foregroundActive);
        QCOMPARE(detached.activationState(), UIScene::ActivationState::foregroundActive);

        auto *window = new QWindow;
        const auto scene = UIApplication::shared().connectWindowScene(window);
        QVERIFY(scene && scene->keyWindow() && scene->keyWindow()->rootViewController());
        QCOMPARE(UIApplication::shared().connectWindowScene(window), scene);
        QCOMPARE(scene->activationState(), UIScene::ActivationState::background); // not shown
        QVERIFY(UIApplication::shared().connectedScenes().contains(scene));
        delete window;
        QVERIFY(!UIApplication::shared().connectedScenes().contains(scene));
    }

    void openURLUsesTheOpenerAndReportsLater() {
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
    }

    void defaultOpenerCanWriteALogInsteadOfABrowser() {
        const QString log = m_env.root() + u"/opened.txt"_s;
        qputenv("QUELLNET_URL_OPENER_LOG", log.toUtf8());
        QVERIFY(UIApplication::openWithDesktop(QUrl(u"https://a.example/1"_s)));
        QVERIFY(UIApplication::openWithDesktop(QUrl(u"https://a.example/2"_s)));
        qunsetenv("QUELLNET_URL_OPENER_LOG");
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("https://a.example/1\nhttps://a.example/2\n"));
    }

private:
    TestEnvironment m_env;
};

QTEST_MAIN(TestUIKit)
#include "tst_uikit.moc"
