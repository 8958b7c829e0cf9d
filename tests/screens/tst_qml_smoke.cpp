// Loads the real window offscreen and fails on any QML warning: the drawing must be wired to
// the models, every tab reachable and pressable through accessibility.
#include "TestEnvironment.h"

#include "blocklist/BlocklistStore.h"
#include "foundation/NSBundle.h"
#include "screens/AppView.h"
#include "screens/ReviewPrompt.h"
#include "screens/ScenePhase.h"

#include <QAccessible>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

namespace {
QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << message;
}

/** Accessible objects under `item`, depth first, as "role:name:description". */
void collect(QQuickItem *item, QAccessible::Role role, QList<QAccessibleInterface *> &out) {
    if (!item->isVisible())
        return;
    if (QAccessibleInterface *a = QAccessible::queryAccessibleInterface(item);
        a && a->role() == role)
        out << a;
    for (QQuickItem *child : item->childItems())
        collect(child, role, out);
}
} // namespace

class QmlSmokeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<BlocklistStore> m_store;
    ScenePhaseSource m_phase;
    std::unique_ptr<AppView> m_app;
    QQmlApplicationEngine *m_engine = nullptr;
    QQuickWindow *m_window = nullptr;

    QList<QAccessibleInterface *> accessibles(QAccessible::Role role) {
        QList<QAccessibleInterface *> out;
        collect(m_window->contentItem(), role, out);
        return out;
    }

    QStringList names(QAccessible::Role role) {
        QStringList out;
        for (QAccessibleInterface *a : accessibles(role))
            out << a->text(QAccessible::Name) + u'|' + a->text(QAccessible::Description);
        return out;
    }

private Q_SLOTS:
    void initTestCase() {
        m_env = std::make_unique<TestEnvironment>();
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleIdentifier"_s, u"net.quellnet.Quellnet"_s},
                        {u"CFBundleShortVersionString"_s, QStringLiteral(QUELLNET_VERSION)}});
        QQuickStyle::setStyle(u"Basic"_s);
        // This version's review request and promotion were seen already: no sheet takes the
        // keyboard while the tabs are tested.
        QSettings settings;
        settings.setValue(ReviewPrompt::appReviewVersionKey, ReviewPrompt::currentAppVersion());
        settings.setValue(ReviewPrompt::promotedAppVersionKey, ReviewPrompt::currentAppVersion());
        qInstallMessageHandler(collectWarnings);
        m_store = std::make_unique<BlocklistStore>(m_env->dataHome() + u"/domains.sqlite"_s);
        m_app = std::make_unique<AppView>(m_store.get(), &m_phase);
        m_engine = new QQmlApplicationEngine(this);
        m_engine->addImportPath(u"qrc:/qt/qml"_s);
        m_engine->setInitialProperties({{u"appView"_s, QVariant::fromValue(m_app.get())}});
        m_engine->load(QUrl(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s));
        QCOMPARE(m_engine->rootObjects().size(), 1);
        m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
        QVERIFY(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        QCOMPARE(m_window->size(), QSize(390, 844));
    }

    void cleanupTestCase() {
        delete m_engine; // the window goes before the models it draws
        m_engine = nullptr;
        qInstallMessageHandler(nullptr);
    }

    void cleanup() {
        const QStringList warnings = std::exchange(g_warnings, {});
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(u'\n')));
    }

    void tabsInOrder() {
        QCOMPARE(names(QAccessible::PageTab),
                 (QStringList{u"Instructions|info.circle"_s, u"Domains|hand.raised"_s,
                              u"Status|network"_s, u"Settings|gear"_s}));
        QVERIFY(names(QAccessible::ListItem).contains(u"Add domains to the list|plus"_s));
    }

    void everyTabDrawsItsScreenAndPressesLikeATap() {
        for (int tab = 0; tab < AppView::tabCount; ++tab) {
            QAccessibleInterface *a = accessibles(QAccessible::PageTab).at(tab);
            QVERIFY(a->actionInterface());
            QVERIFY(a->actionInterface()->actionNames().contains(
                QAccessibleActionInterface::pressAction()));
            a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QCOMPARE(m_app->currentIndex(), tab);
            QVERIFY(m_app->screen(tab));
        }
        // Settings with nothing saved and no records: both rows are messages, drawn as items.
        QTRY_VERIFY(
            names(QAccessible::ListItem).contains(u"No preferences to remove|info.circle"_s));
        QVERIFY(
            names(QAccessible::ListItem).contains(u"Blocklist is empty|exclamationmark.circle"_s));
        QVERIFY(!names(QAccessible::Button).contains(u"Save preferences|square.and.arrow.down"_s));
    }

    void tabKeyboard() {
        QQuickItem *first = nullptr;
        for (QAccessibleInterface *a : accessibles(QAccessible::PageTab))
            if (a->text(QAccessible::Name) == u"Instructions"_s)
                first = qobject_cast<QQuickItem *>(a->object());
        QVERIFY(first);
        first->forceActiveFocus();
        QTest::keyClick(m_window, Qt::Key_Right);
        QTest::keyClick(m_window, Qt::Key_Space);
        QCOMPARE(m_app->currentIndex(), int(AppView::domains));
        QTest::keyClick(m_window, Qt::Key_Left);
        QTest::keyClick(m_window, Qt::Key_Return);
        QCOMPARE(m_app->currentIndex(), int(AppView::instructions));
    }

    void rowKeyboard() {
        QCOMPARE(m_app->currentIndex(), int(AppView::instructions));
        QQuickItem *first = nullptr;
        for (QAccessibleInterface *a : accessibles(QAccessible::ListItem))
            if (a->text(QAccessible::Name) == u"Add domains to the list"_s)
                first = qobject_cast<QQuickItem *>(a->object());
        QVERIFY(first);
        first->forceActiveFocus();
        const auto focusedName = [this] {
            QAccessibleInterface *a =
                QAccessible::queryAccessibleInterface(m_window->activeFocusItem());
            return a ? a->text(QAccessible::Name) : QString();
        };
        QTest::keyClick(m_window, Qt::Key_Down);
        QCOMPARE(focusedName(), u"Save your preferences"_s);
        QTest::keyClick(m_window, Qt::Key_Up);
        QCOMPARE(focusedName(), u"Add domains to the list"_s);
        QTest::keyClick(m_window, Qt::Key_Up); // the first row stays focused
        QCOMPARE(focusedName(), u"Add domains to the list"_s);
    }

    void widthGrows() {
        m_window->resize(1200, 800);
        QTRY_COMPARE(m_window->contentItem()->width(), 1200.0);
        QCOMPARE(names(QAccessible::PageTab).size(), 4);
    }
};

int main(int argc, char *argv[]) {
    // Drawn in software: the offscreen platform has no GPU context.
    qputenv("QT_QUICK_BACKEND", "software");
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QCoreApplication::setOrganizationName(u"Quellnet"_s);
    QCoreApplication::setApplicationName(u"Quellnet"_s);
    QGuiApplication app(argc, argv);
    QAccessible::setActive(true);
    QmlSmokeTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qml_smoke.moc"
