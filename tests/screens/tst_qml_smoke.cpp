// Loads the real window offscreen and fails on any QML warning: tabs and the Domains screen's
// typing, pasting, deleting and sheets must reach the models through accessibility and keys.
#include "TestEnvironment.h"

#include "AppStoreView/AppCatalogue.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "foundation/NSBundle.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "screens/AppView.h"
#include "screens/DomainsView.h"
#include "screens/ReviewPrompt.h"
#include "screens/ScenePhase.h"
#include "screens/SymbolGlyphs.h"
#include "storekit/RequestReviewAction.h"
#include "uikit/UIApplication.h"

#include <QAccessible>
#include <QClipboard>
#include <QPalette>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
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
    if (a && a->actionInterface())
        a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    return a && a->actionInterface();
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
    // With `live`, only those inside a list row still in the model (removed rows fade out).
    QList<QAccessibleInterface *> accessibles(QAccessible::Role role, const QString &name = {},
                                              bool live = false) {
        QList<QAccessibleInterface *> out;
        for (QQuickItem *item : items()) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(item);
            if (!a || a->role() != role || (!name.isNull() && a->text(QAccessible::Name) != name))
                continue;
            QQuickItem *row = item;
            while (live && row && !row->property("view").isValid())
                row = row->parentItem();
            if (!live || (row && row->property("index").toInt() >= 0))
                out << a;
        }
        return out;
    }
    QAccessibleInterface *accessible(QAccessible::Role role, const QString &name,
                                     bool live = false) {
        return accessibles(role, name, live).value(0);
    }
    QQuickItem *item(QAccessible::Role role, const QString &name, bool live = false) {
        QAccessibleInterface *a = accessible(role, name, live);
        return a ? qobject_cast<QQuickItem *>(a->object()) : nullptr;
    }
    DomainsView *domains() { return qobject_cast<DomainsView *>(m_app->screen(AppView::domains)); }
    // "name|description" of what a screen reader hears read out as symbol ids.
    QStringList spokenSymbolNames() {
        QStringList out;
        for (QQuickItem *at : items())
            if (QAccessibleInterface *a = QAccessible::queryAccessibleInterface(at);
                a && SymbolGlyphs::symbolNames().contains(a->text(QAccessible::Description)))
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
    // The keyboard focus as "role:name" (role: tab, row, button, field).
    QString focus() {
        QQuickItem *at = m_window->activeFocusItem();
        QAccessibleInterface *a = at ? QAccessible::queryAccessibleInterface(at) : nullptr;
        if (!a)
            return at ? u"item:"_s + at->objectName() : QString();
        const QHash<QAccessible::Role, QString> roles{{QAccessible::PageTab, u"tab"_s},
                                                      {QAccessible::ListItem, u"row"_s},
                                                      {QAccessible::Button, u"button"_s},
                                                      {QAccessible::EditableText, u"field"_s}};
        return roles.value(a->role(), u"other"_s) + u':' + a->text(QAccessible::Name);
    }
    // Presses `key` until the focus reads `target`; the foci passed on the way.
    QStringList keyUntil(Qt::Key key, const QString &target, Qt::KeyboardModifiers mods = {}) {
        QStringList passed;
        do {
            QTest::keyClick(m_window, key, mods);
            passed << focus();
        } while (passed.size() < 40 && passed.last() != target);
        return passed;
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
        // The app's own services: the drawing of the review and promotion sheets is tested too.
        m_app = std::make_unique<AppView>(
            m_store.get(), &m_phase,
            AppServices{.dnsSettings = &NEDNSSettingsManager::sharedManager(),
                        .requestReview = RequestReviewAction(),
                        .promoteApp = &AppCatalogue::promoteRandomApp});
        m_engine = new QQmlApplicationEngine(this);
        m_engine->addImportPath(u"qrc:/qt/qml"_s);
        m_engine->setInitialProperties({{u"appView"_s, QVariant::fromValue(m_app.get())}});
        m_engine->load(QUrl(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s));
        QCOMPARE(m_engine->rootObjects().size(), 1);
        m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
        QVERIFY(m_window);
        m_window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
    }
    void cleanupTestCase() {
        delete m_engine; // the window goes before the models it draws
        qInstallMessageHandler(nullptr);
    }
    void cleanup() {
        const QStringList warnings = std::exchange(g_warnings, {});
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(u'\n')));
    }

    // Every tab presses like a tap; its symbols only decorate: a screen reader hears texts.
    void everyTabDrawsItsScreen() {
        for (int tab = 0; tab < AppView::tabCount; ++tab) {
            QVERIFY(press(accessibles(QAccessible::PageTab).at(tab)));
            QCOMPARE(m_app->currentIndex(), tab);
            QCOMPARE(spokenSymbolNames(), QStringList());
        }
        QTRY_VERIFY(accessible(QAccessible::ListItem, u"No preferences to remove"_s));
    }

    void domainsTypePasteSuggestSearchAndDelete() {
        m_app->select(AppView::domains);
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

        QVERIFY(press(accessible(QAccessible::Button, u"adnxs.com"_s)));
        QCOMPARE(m_store->domains()->count(), 2);
        items(u"searchField"_s).value(0)->forceActiveFocus();
        typeText(m_window, "TYPED");
        QTRY_VERIFY(accessible(QAccessible::ListItem, u"typed.example"_s, true));
        QCOMPARE(accessible(QAccessible::ListItem, u"typed.example"_s, true)
                     ->text(QAccessible::Description),
                 u"added by you"_s);
        QCOMPARE(spokenSymbolNames(), QStringList());

        QVERIFY(press(accessible(QAccessible::Button, u"Delete typed.example"_s, true)));
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"adnxs.com"_s});
        domains()->setSearchText({});
    }

    // At 200 records no route adds one: tap, keys, accessibility, or a call made from QML. The
    // paste button stays available and is drawn so.
    void domainsFullListAddsNothingByAnyRoute() {
        // The later tests expect the list as it was: the fillers go again, even on a failure.
        QList<DomainRef> fillers;
        const auto removeFillers = qScopeGuard([&] {
            for (const DomainRef &filler : std::as_const(fillers))
                m_store->remove(filler);
        });
        for (int i = m_store->domains()->count(); i < EntryRules::listCapacity; ++i) {
            fillers << std::make_shared<Domain>(u"filler%1.example"_s.arg(i), QUuid::createUuid());
            m_store->insert(fillers.last());
        }
        domains()->setSearchText(u"2mdn"_s);
        QTRY_VERIFY(item(QAccessible::Button, u"2mdn.net"_s, true));
        QQuickItem *suggestion = item(QAccessible::Button, u"2mdn.net"_s, true);
        QTest::mouseClick(m_window, Qt::LeftButton, {},
                          suggestion->mapToScene(suggestion->boundingRect().center()).toPoint());
        QVERIFY(press(accessible(QAccessible::Button, u"2mdn.net"_s, true)));
        suggestion->forceActiveFocus();
        QTest::keyClick(m_window, Qt::Key_Return);
        QTest::keyClick(m_window, Qt::Key_Space);
        domains()->setDomain(u"direct.example"_s);
        QQmlExpression fromQml(qmlContext(suggestion), suggestion,
                               u"screen.submitDomain(); screen.addSuggestedDomain('2mdn.net');"
                               u"screen.submit('add'); screen.activate('suggestion:2mdn.net')"_s);
        fromQml.evaluate();
        QVERIFY2(!fromQml.hasError(), qPrintable(fromQml.error().toString()));
        QCOMPARE(m_store->domains()->count(), EntryRules::listCapacity);
        QCOMPARE(domains()->domain(), u"direct.example"_s);

        // The field looks disabled; its paste button does not, and still fills it.
        QQuickItem *field = items(u"addField"_s).value(0);
        QVERIFY(field && !field->isEnabled() && drawnOpacity(field) < 1.0);
        QCOMPARE(drawnOpacity(items(u"pasteButton"_s).value(0)), 1.0);
        QGuiApplication::clipboard()->setText(u"pasted.example"_s);
        QVERIFY(press(accessible(QAccessible::Button, u"Paste"_s)));
        QTRY_COMPARE(domains()->domain(), u"pasted.example"_s);
        QCOMPARE(m_store->domains()->count(), EntryRules::listCapacity);
        domains()->setSearchText({});
        domains()->setDomain({});
    }

    // Tab runs through the page's rows in order, then the tabs, and round again; Shift+Tab runs
    // back the same way; arrows move along the tabs.
    void tabGoesRoundRowsThenTabs() {
        m_app->select(AppView::instructions);
        item(QAccessible::PageTab, u"Settings"_s)->forceActiveFocus();
        QStringList round; // the rows in the model's order, then the tabs
        for (const QString &text : m_app->screen(AppView::instructions)->content().texts())
            round << u"row:"_s + text;
        for (const QString &title : {u"Instructions"_s, u"Domains"_s, u"Status"_s, u"Settings"_s})
            round << u"tab:"_s + title;
        QCOMPARE(keyUntil(Qt::Key_Tab, u"tab:Settings"_s), round);
        QStringList back = round.mid(0, round.size() - 1);
        std::reverse(back.begin(), back.end());
        QCOMPARE(keyUntil(Qt::Key_Backtab, u"tab:Settings"_s, Qt::ShiftModifier),
                 back + QStringList{u"tab:Settings"_s});
        QTest::keyClick(m_window, Qt::Key_Left);
        QTest::keyClick(m_window, Qt::Key_Space);
        QCOMPARE(m_app->currentIndex(), int(AppView::status));
    }

    void domainsRowsByKeys() {
        // Ctrl+F from another tab selects the search text; typing replaces it.
        domains()->setSearchText(u"earlier"_s);
        QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(m_app->currentIndex(), int(AppView::domains));
        QCOMPARE(m_window->activeFocusItem()->property("selectedText").toString(), u"earlier"_s);
        typeText(m_window, "2mdn");
        QCOMPARE(domains()->searchText(), u"2mdn"_s);

        // Down from the search reaches the More Options rows, the add field and the suggestion;
        // Space adds it and the focus stays on the new entry, which Delete removes again.
        const QStringList passed = keyUntil(Qt::Key_Down, u"button:2mdn.net"_s);
        QCOMPARE(passed.at(passed.size() - 2), u"field:Type here to add a new domain"_s);
        QTest::keyClick(m_window, Qt::Key_Space);
        QVERIFY(m_store->domains()->domainNames().contains(u"2mdn.net"_s));
        QTRY_COMPARE(focus(), u"row:2mdn.net"_s);
        QTest::keyClick(m_window, Qt::Key_Delete);
        QVERIFY(!m_store->domains()->domainNames().contains(u"2mdn.net"_s));
        QTRY_COMPARE(focus(), u"button:2mdn.net"_s);

        // Tab visits the add row's field, then its paste button, then the next row.
        QCOMPARE(
            keyUntil(Qt::Key_Backtab, u"field:Type here to add a new domain"_s, Qt::ShiftModifier),
            (QStringList{u"button:Paste"_s, u"field:Type here to add a new domain"_s}));
        QCOMPARE(keyUntil(Qt::Key_Tab, u"button:2mdn.net"_s),
                 (QStringList{u"button:Paste"_s, u"button:2mdn.net"_s}));
    }

    // A sheet keeps the keyboard: Ctrl+F waits, Tab goes round the sheet's own buttons; closed,
    // it gives the focus back.
    void sheetKeepsTheKeyboardThenGivesItBack() {
        QSettings().remove(ReviewPrompt::appReviewVersionKey);
        m_app->select(AppView::status);
        QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(focus(), u"button:Not Now"_s);
        QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(focus(), u"button:Not Now"_s);
        QCOMPARE(keyUntil(Qt::Key_Tab, u"button:Not Now"_s).size(), 6); // 5 stars, Not Now
        QCOMPARE(keyUntil(Qt::Key_Backtab, u"button:5 star(s)"_s, Qt::ShiftModifier).size(), 1);
        QTest::keyClick(m_window, Qt::Key_Escape);
        QTRY_VERIFY(items(u"sheetCloseButton"_s).isEmpty());
        QCOMPARE(focus(), u"field:Search"_s);
    }

    // Another tab selected (as by a click) while a row has the focus: the hidden row no longer
    // takes the keys, so Delete cannot remove an entry no one sees.
    void hiddenPageGivesUpTheKeyboard() {
        m_app->select(AppView::domains);
        domains()->setSearchText(u"adnxs"_s);
        QTRY_VERIFY(item(QAccessible::ListItem, u"adnxs.com"_s, true));
        item(QAccessible::ListItem, u"adnxs.com"_s, true)->forceActiveFocus();
        QCOMPARE(focus(), u"row:adnxs.com"_s);
        m_app->select(AppView::status);
        QCOMPARE(focus(), u"tab:Status"_s);
        QTest::keyClick(m_window, Qt::Key_Delete);
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"adnxs.com"_s});
        domains()->setSearchText({});
    }

    // A wide window puts the tabs in a rail at the left and keeps the rows a readable width;
    // the screens follow the desktop palette to dark and back.
    void wideWindowAndDarkPalette() {
        m_app->select(AppView::domains);
        m_window->resize(1100, 700);
        QTRY_COMPARE(m_window->contentItem()->width(), 1100.0);
        QPointF above;
        for (const QString &title : {u"Instructions"_s, u"Domains"_s, u"Status"_s, u"Settings"_s}) {
            const QPointF at = item(QAccessible::PageTab, title)->mapToScene({});
            QVERIFY(above.isNull() || (at.x() == above.x() && at.y() > above.y()));
            above = at;
        }
        const qreal left = items(u"searchField"_s).value(0)->mapToScene({}).x();
        QVERIFY2(left > 200 && left < 400, qPrintable(QString::number(left)));
        m_window->resize(390, 844);
        QTRY_COMPARE(item(QAccessible::PageTab, u"Settings"_s)->mapToScene({}).y(),
                     item(QAccessible::PageTab, u"Instructions"_s)->mapToScene({}).y());

        const QPalette light = QGuiApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::WindowText, Qt::white);
        QGuiApplication::setPalette(dark);
        QTRY_COMPARE(m_window->color(), QColor(u"#000000"_s));
        QGuiApplication::setPalette(light);
        QTRY_COMPARE(m_window->color(), QColor(u"#f2f2f7"_s));
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
