// The Domains screen and the sheet layer drawn offscreen: typing, submitting, pasting and
// deleting reach the model through the keyboard and the accessibility tree, and a presented
// store page can be closed. Any QML warning fails the test.
#include "common/TestEnvironment.h"

#include "AppStoreView/AppCatalogue.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "foundation/NSBundle.h"
#include "screens/DomainsView.h"
#include "storekit/StoreReachability.h"
#include "uikit/UIApplication.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

namespace {
QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << message;
}

void findAccessibles(QQuickItem *item, QAccessible::Role role, const QString &name,
                     QList<QAccessibleInterface *> &out) {
    if (!item->isVisible())
        return;
    if (QAccessibleInterface *a = QAccessible::queryAccessibleInterface(item);
        a && a->role() == role && a->text(QAccessible::Name) == name)
        out << a;
    for (QQuickItem *child : item->childItems())
        findAccessibles(child, role, name, out);
}

QAccessibleInterface *findAccessible(QQuickItem *item, QAccessible::Role role,
                                     const QString &name) {
    if (!item->isVisible())
        return nullptr;
    if (QAccessibleInterface *a = QAccessible::queryAccessibleInterface(item);
        a && a->role() == role && a->text(QAccessible::Name) == name)
        return a;
    for (QQuickItem *child : item->childItems())
        if (QAccessibleInterface *found = findAccessible(child, role, name))
            return found;
    return nullptr;
}

void typeText(QWindow *window, const char *text) {
    for (; *text; ++text)
        QTest::keyClick(window, *text);
}

bool press(QAccessibleInterface *a) {
    if (!a || !a->actionInterface())
        return false;
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    return true;
}

const char *scene = R"(
import QtQuick
import Quellnet

Item {
    id: root
    required property ScreenModel screen
    DomainsView { anchors.fill: parent; screen: root.screen }
    SheetLayer { anchors.fill: parent; z: 1000 }
}
)";
} // namespace

class TestDomainsViewQml : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<BlocklistStore> m_store;
    std::unique_ptr<DomainsView> m_view;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
    std::unique_ptr<QQuickItem> m_root;

    /** Visible items named `objectName`, in drawing-tree order (delegates are not QObject
        children of their view, so findChildren does not see them). */
    QList<QQuickItem *> items(const QString &objectName) {
        QList<QQuickItem *> out;
        const std::function<void(QQuickItem *)> walk = [&](QQuickItem *at) {
            if (!at->isVisible())
                return;
            if (at->objectName() == objectName)
                out << at;
            for (QQuickItem *child : at->childItems())
                walk(child);
        };
        walk(m_window->contentItem());
        return out;
    }
    QQuickItem *item(const QString &objectName) {
        const QList<QQuickItem *> found = items(objectName);
        return found.isEmpty() ? nullptr : found.first();
    }
    /** The match inside a list row that is still in the model (removed rows fade out). */
    QAccessibleInterface *liveAccessible(QAccessible::Role role, const QString &name) {
        QList<QAccessibleInterface *> found;
        findAccessibles(m_window->contentItem(), role, name, found);
        for (QAccessibleInterface *a : found) {
            QObject *row = a->object();
            while (row && !row->property("view").isValid())
                row = row->parent();
            if (row && row->property("index").toInt() >= 0)
                return a;
        }
        return nullptr;
    }
    QAccessibleInterface *accessible(QAccessible::Role role, const QString &name) {
        return findAccessible(m_window->contentItem(), role, name);
    }

private Q_SLOTS:
    void initTestCase() {
        m_env = std::make_unique<TestEnvironment>();
        QCoreApplication::setOrganizationName(u"Quellnet"_s);
        QCoreApplication::setApplicationName(u"Quellnet"_s);
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleIdentifier"_s, u"net.quellnet.Quellnet"_s},
                        {u"CFBundleDisplayName"_s, u"Quellnet"_s},
                        {u"CFBundleShortVersionString"_s, u"1.0"_s}});
        QQuickStyle::setStyle(u"Basic"_s);
        UIApplication::shared().setURLOpener([](const QUrl &) { return true; });
        qInstallMessageHandler(collectWarnings);

        m_store = std::make_unique<BlocklistStore>(m_env->dataHome() + u"/domains.sqlite"_s);
        m_view = std::make_unique<DomainsView>(m_store.get(), nullptr);
        m_engine = std::make_unique<QQmlEngine>();
        m_engine->addImportPath(u"qrc:/qt/qml"_s);
        QQmlComponent component(m_engine.get());
        component.setData(scene, QUrl(u"qrc:/test/Scene.qml"_s));
        QVERIFY2(component.isReady(), qPrintable(component.errorString()));
        m_root.reset(qobject_cast<QQuickItem *>(component.createWithInitialProperties(
            {{u"screen"_s, QVariant::fromValue(static_cast<ScreenModel *>(m_view.get()))}})));
        QVERIFY(m_root);
        m_window = std::make_unique<QQuickWindow>();
        m_window->resize(390, 800);
        m_root->setParentItem(m_window->contentItem());
        m_root->setSize(m_window->size());
        m_window->show();
        m_window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }
    void cleanupTestCase() {
        m_root.reset();
        m_window.reset();
        m_engine.reset();
        qInstallMessageHandler(nullptr);
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(u'\n')));
    }

    void typeAndSubmit() {
        QQuickItem *field = item(u"addField"_s);
        QVERIFY(field);
        // A click puts the caret in the field.
        QTest::mouseClick(
            m_window.get(), Qt::LeftButton, {},
            field->mapToScene(QPointF(field->width() / 2, field->height() / 2)).toPoint());
        QTRY_VERIFY(field->hasActiveFocus());
        typeText(m_window.get(), "typed.example");
        QCOMPARE(m_view->domain(), u"typed.example"_s);
        QTest::keyClick(m_window.get(), Qt::Key_Return);
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"typed.example"_s});
        QCOMPARE(field->property("text").toString(), QString());
    }

    void pasteFillsTheField() {
        QGuiApplication::clipboard()->setText(u"pasted.example"_s);
        QVERIFY(press(accessible(QAccessible::Button, u"Paste"_s)));
        QCOMPARE(m_view->domain(), u"pasted.example"_s);
        QTRY_COMPARE(item(u"addField"_s)->property("text").toString(), u"pasted.example"_s);
        QCOMPARE(m_store->domains()->count(), 1);
        m_view->setDomain({});
    }

    void suggestionAndSearch() {
        QVERIFY(press(accessible(QAccessible::Button, u"adnxs.com"_s)));
        QCOMPARE(m_store->domains()->count(), 2);
        QQuickItem *search = item(u"searchField"_s);
        search->forceActiveFocus();
        typeText(m_window.get(), "ADNX");
        QCOMPARE(m_view->searchText(), u"ADNX"_s);
        QTRY_VERIFY(accessible(QAccessible::ListItem, u"adnxs.com"_s));
        QVERIFY(!accessible(QAccessible::Button, u"adnxs.com"_s));
        m_view->setSearchText({});
    }

    void deleteThroughAccessibilityAndKeyboard() {
        // Rows of an earlier search may still be fading out; press the live one.
        m_view->setSearchText(u"typed"_s);
        QTRY_VERIFY(liveAccessible(QAccessible::Button, u"Delete typed.example"_s));
        QVERIFY(press(liveAccessible(QAccessible::Button, u"Delete typed.example"_s)));
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"adnxs.com"_s});
        m_view->setSearchText({});

        m_view->setSearchText(u"adnxs"_s);
        QTRY_VERIFY(liveAccessible(QAccessible::ListItem, u"adnxs.com"_s));
        QAccessibleInterface *row = liveAccessible(QAccessible::ListItem, u"adnxs.com"_s);
        qobject_cast<QQuickItem *>(row->object())->forceActiveFocus();
        QTest::keyClick(m_window.get(), Qt::Key_Delete);
        QCOMPARE(m_store->domains()->count(), 0);
        m_view->setSearchText({});
    }

    void storeSheetOpensAndCloses() {
        QVERIFY(StoreReachability::setReachable(true));
        AppCatalogue::moreOptionsApp(2)->presentProductPage();
        QTRY_VERIFY(item(u"sheetCloseButton"_s));
        QVERIFY(accessible(QAccessible::Dialog, AppCatalogue::moreOptionsInfo().at(2).title));
        QVERIFY(press(accessible(QAccessible::Button, u"Done"_s)));
        QTRY_VERIFY(!item(u"sheetCloseButton"_s));
    }

    void firstAppearanceBringsBothSheetsReviewBelow() {
        m_view->appear();
        QTRY_COMPARE(items(u"sheetCloseButton"_s).size(), 2);
        QVERIFY(accessible(QAccessible::Dialog, u"Enjoying Quellnet?"_s));
        // The later sheet (the store page) is on top: Escape closes it first.
        QTRY_VERIFY(m_window->activeFocusItem() &&
                    m_window->activeFocusItem()->objectName() == u"sheetCloseButton"_s);
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_COMPARE(items(u"sheetCloseButton"_s).size(), 1);
        QVERIFY(press(accessible(QAccessible::Button, u"Not Now"_s)));
        QTRY_VERIFY(!item(u"sheetCloseButton"_s));
    }
};

QTEST_MAIN(TestDomainsViewQml)
#include "tst_domainsview_qml.moc"
