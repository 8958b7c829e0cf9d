// Loads the real window offscreen and fails on any QML warning: tabs and the Domains screen's
// typing, pasting, deleting and sheets must reach the models through accessibility and keys.
#include "TestEnvironment.h"

#include "AppStoreView/AppCatalogue.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "foundation/NSBundle.h"
#include "screens/AppView.h"
#include "screens/DomainsView.h"
#include "screens/ReviewPrompt.h"
#include "screens/ScenePhase.h"
#include "screens/SymbolGlyphs.h"
#include "storekit/StoreReachability.h"
#include "uikit/UIApplication.h"

#include <QAccessible>
#include <QClipboard>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
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
} // namespace

class QmlSmokeTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    std::unique_ptr<BlocklistStore> m_store;
    ScenePhaseSource m_phase;
    std::unique_ptr<AppView> m_app;
    QQmlApplicationEngine *m_engine = nullptr;
    QQuickWindow *m_window = nullptr;

    // Visible items in drawing order (delegates are not QObject children: findChildren misses them)
    QList<QQuickItem *> items(const QString &objectName = {}) {
        QList<QQuickItem *> out;
        const std::function<void(QQuickItem *)> walk = [&](QQuickItem *at) {
            if (!at->isVisible())
                return;
            if (objectName.isNull() || at->objectName() == objectName)
                out << at;
            for (QQuickItem *child : at->childItems())
                walk(child);
        };
        walk(m_window->contentItem());
        return out;
    }
    QList<QAccessibleInterface *> accessibles(QAccessible::Role role, const QString &name = {}) {
        QList<QAccessibleInterface *> out;
        for (QQuickItem *item : items())
            if (QAccessibleInterface *a = QAccessible::queryAccessibleInterface(item);
                a && a->role() == role && (name.isNull() || a->text(QAccessible::Name) == name))
                out << a;
        return out;
    }
    QAccessibleInterface *accessible(QAccessible::Role role, const QString &name) {
        return accessibles(role, name).value(0);
    }
    // The match inside a list row still in the model (removed rows fade out).
    QAccessibleInterface *liveAccessible(QAccessible::Role role, const QString &name) {
        for (QAccessibleInterface *a : accessibles(role, name)) {
            auto *row = qobject_cast<QQuickItem *>(a->object());
            while (row && !row->property("view").isValid())
                row = row->parentItem();
            if (row && row->property("index").toInt() >= 0)
                return a;
        }
        return nullptr;
    }
    QStringList names(QAccessible::Role role) {
        QStringList out;
        for (QAccessibleInterface *a : accessibles(role))
            out << a->text(QAccessible::Name) + u'|' + a->text(QAccessible::Description);
        return out;
    }
    DomainsView *domains() { return qobject_cast<DomainsView *>(m_app->screen(AppView::domains)); }
    // Descriptions a screen reader would read out as symbol ids ("hand dot raised dot fill").
    QStringList spokenSymbolNames() {
        const QStringList symbols = SymbolGlyphs::symbolNames();
        QStringList out;
        for (QQuickItem *item : items())
            if (QAccessibleInterface *a = QAccessible::queryAccessibleInterface(item);
                a && symbols.contains(a->text(QAccessible::Description)))
                out << a->text(QAccessible::Name) + u'|' + a->text(QAccessible::Description);
        return out;
    }
    // The opacity an item is drawn with, its own times its ancestors'.
    static qreal drawnOpacity(const QQuickItem *item) {
        qreal opacity = 1;
        for (; item; item = item->parentItem())
            opacity *= item->opacity();
        return opacity;
    }

private Q_SLOTS:
    void initTestCase() {
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleIdentifier"_s, u"net.quellnet.Quellnet"_s},
                        {u"CFBundleDisplayName"_s, u"Quellnet"_s},
                        {u"CFBundleShortVersionString"_s, QStringLiteral(QUELLNET_VERSION)}});
        QQuickStyle::setStyle(u"Basic"_s);
        UIApplication::shared().setURLOpener([](const QUrl &) { return true; });
        // This version's review request and promotion were seen already: no sheet takes the
        // keyboard until the Domains tests ask for them.
        QSettings settings;
        settings.setValue(ReviewPrompt::appReviewVersionKey, ReviewPrompt::currentAppVersion());
        settings.setValue(ReviewPrompt::promotedAppVersionKey, ReviewPrompt::currentAppVersion());
        qInstallMessageHandler(collectWarnings);
        m_store = std::make_unique<BlocklistStore>(m_env.dataHome() + u"/domains.sqlite"_s);
        m_app = std::make_unique<AppView>(m_store.get(), &m_phase);
        m_engine = new QQmlApplicationEngine(this);
        m_engine->addImportPath(u"qrc:/qt/qml"_s);
        m_engine->setInitialProperties({{u"appView"_s, QVariant::fromValue(m_app.get())}});
        m_engine->load(QUrl(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s));
        QCOMPARE(m_engine->rootObjects().size(), 1);
        m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
        QVERIFY(m_window);
        m_window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QCOMPARE(m_window->size(), QSize(390, 844));
    }
    void cleanupTestCase() {
        delete m_engine; // the window goes before the models it draws
        qInstallMessageHandler(nullptr);
    }
    void cleanup() {
        const QStringList warnings = std::exchange(g_warnings, {});
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(u'\n')));
    }

    void everyTabDrawsItsScreenAndPressesLikeATap() {
        // The tab and row symbols only decorate: a screen reader hears the texts alone.
        QCOMPARE(names(QAccessible::PageTab),
                 (QStringList{u"Instructions|"_s, u"Domains|"_s, u"Status|"_s, u"Settings|"_s}));
        QVERIFY(names(QAccessible::ListItem).contains(u"Add domains to the list|"_s));
        for (int tab = 0; tab < AppView::tabCount; ++tab) {
            QVERIFY(press(accessibles(QAccessible::PageTab).at(tab)));
            QCOMPARE(m_app->currentIndex(), tab);
            QCOMPARE(spokenSymbolNames(), QStringList());
        }
        QTRY_VERIFY(accessible(QAccessible::ListItem, u"No preferences to remove"_s));
    }

    void domainsFirstVisitBringsBothSheetsReviewBelow() {
        QSettings().remove(ReviewPrompt::appReviewVersionKey);
        QSettings().remove(ReviewPrompt::promotedAppVersionKey);
        QVERIFY(press(accessible(QAccessible::PageTab, u"Domains"_s)));
        QTRY_COMPARE(items(u"sheetCloseButton"_s).size(), 2);
        QVERIFY(accessible(QAccessible::Dialog, u"Enjoying Quellnet?"_s));
        // The later sheet (the store page) is on top: Escape closes it first.
        QTRY_VERIFY(m_window->activeFocusItem() &&
                    m_window->activeFocusItem()->objectName() == u"sheetCloseButton"_s);
        QTest::keyClick(m_window, Qt::Key_Escape);
        QTRY_COMPARE(items(u"sheetCloseButton"_s).size(), 1);
        QVERIFY(press(accessible(QAccessible::Button, u"Not Now"_s)));
        QTRY_VERIFY(items(u"sheetCloseButton"_s).isEmpty());
    }

    void domainsTypePasteSuggestAndSearch() {
        QQuickItem *field = items(u"addField"_s).value(0);
        QVERIFY(field);
        field->forceActiveFocus();
        typeText(m_window, "typed.example");
        QTest::keyClick(m_window, Qt::Key_Return);
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"typed.example"_s});
        QCOMPARE(field->property("text").toString(), QString());

        QGuiApplication::clipboard()->setText(u"pasted.example"_s);
        QVERIFY(press(accessible(QAccessible::Button, u"Paste"_s)));
        QTRY_COMPARE(field->property("text").toString(), u"pasted.example"_s);
        domains()->setDomain({});

        // Where the symbol tells something, the listener hears it in words.
        QCOMPARE(accessible(QAccessible::Button, u"adnxs.com"_s)->text(QAccessible::Description),
                 u"add"_s);
        QVERIFY(press(accessible(QAccessible::Button, u"adnxs.com"_s)));
        QCOMPARE(m_store->domains()->count(), 2);
        items(u"searchField"_s).value(0)->forceActiveFocus();
        typeText(m_window, "ADNX");
        QTRY_VERIFY(accessible(QAccessible::ListItem, u"adnxs.com"_s));
        QVERIFY(!accessible(QAccessible::Button, u"adnxs.com"_s));
        QCOMPARE(accessible(QAccessible::ListItem, u"adnxs.com"_s)->text(QAccessible::Description),
                 u"built-in tracker"_s);
        domains()->setSearchText(u"typed"_s);
        QTRY_VERIFY(liveAccessible(QAccessible::ListItem, u"typed.example"_s));
        QCOMPARE(liveAccessible(QAccessible::ListItem, u"typed.example"_s)
                     ->text(QAccessible::Description),
                 u"added by you"_s);
        QCOMPARE(spokenSymbolNames(), QStringList());
    }

    void domainsDeleteByAccessibleButton() {
        // Rows of an earlier search may still be fading out; press the live one.
        domains()->setSearchText(u"typed"_s);
        QTRY_VERIFY(liveAccessible(QAccessible::Button, u"Delete typed.example"_s));
        QVERIFY(press(liveAccessible(QAccessible::Button, u"Delete typed.example"_s)));
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"adnxs.com"_s});
        domains()->setSearchText({});
    }

    void domainsStoreSheetClosesWithDone() {
        QVERIFY(StoreReachability::setReachable(true));
        QVERIFY(
            press(accessible(QAccessible::Button, AppCatalogue::moreOptionsInfo().at(2).title)));
        QTRY_VERIFY(accessible(QAccessible::Dialog, AppCatalogue::moreOptionsInfo().at(2).title));
        QVERIFY(press(accessible(QAccessible::Button, u"Done"_s)));
        QTRY_VERIFY(items(u"sheetCloseButton"_s).isEmpty());
    }

    // At 200 records no route adds one: tap, keys, accessibility, or a call made from QML. The
    // paste button stays available and is drawn so.
    void domainsFullListAddsNothingByAnyRoute() {
        for (int i = m_store->domains()->count(); i < listCapacity; ++i)
            m_store->insert(
                std::make_shared<Domain>(u"filler%1.example"_s.arg(i), QUuid::createUuid()));
        domains()->setSearchText(u"2mdn"_s);
        QTRY_VERIFY(liveAccessible(QAccessible::Button, u"2mdn.net"_s));
        QAccessibleInterface *suggestion = liveAccessible(QAccessible::Button, u"2mdn.net"_s);
        auto *suggestionRow = qobject_cast<QQuickItem *>(suggestion->object());
        QVERIFY(suggestionRow);

        QTest::mouseClick(
            m_window, Qt::LeftButton, {},
            suggestionRow->mapToScene(suggestionRow->boundingRect().center()).toPoint());
        QVERIFY(press(suggestion));
        suggestionRow->forceActiveFocus();
        QTest::keyClick(m_window, Qt::Key_Return);
        QTest::keyClick(m_window, Qt::Key_Space);
        QQuickItem *field = items(u"addField"_s).value(0);
        QVERIFY(field);
        QVERIFY(!field->isEnabled());
        domains()->setDomain(u"direct.example"_s);
        QQmlExpression fromQml(qmlContext(suggestionRow), suggestionRow,
                               u"screen.submitDomain(); screen.addSuggestedDomain('2mdn.net');"
                               u"screen.submit('add'); screen.activate('suggestion:2mdn.net')"_s);
        fromQml.evaluate();
        QVERIFY2(!fromQml.hasError(), qPrintable(fromQml.error().toString()));
        QCOMPARE(m_store->domains()->count(), listCapacity);
        QCOMPARE(domains()->domain(), u"direct.example"_s);

        // The field looks disabled; its paste button does not, and still fills it.
        QQuickItem *paste = items(u"pasteButton"_s).value(0);
        QVERIFY(paste);
        QCOMPARE(drawnOpacity(paste), 1.0);
        QVERIFY(drawnOpacity(field) < 1.0);
        QGuiApplication::clipboard()->setText(u"pasted.example"_s);
        QVERIFY(press(accessible(QAccessible::Button, u"Paste"_s)));
        QTRY_COMPARE(domains()->domain(), u"pasted.example"_s);
        QCOMPARE(m_store->domains()->count(), listCapacity);
        domains()->setSearchText({});
        domains()->setDomain({});
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
