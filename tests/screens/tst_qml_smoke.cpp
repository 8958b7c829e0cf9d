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
#include "storekit/StoreReachability.h"
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

    // The keyboard focus as "role:name" (role: tab, row, button, field).
    QString focus() {
        QQuickItem *item = m_window->activeFocusItem();
        QAccessibleInterface *a = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
        if (!a)
            return item ? u"item:"_s + item->objectName() : QString();
        const QString role = a->role() == QAccessible::PageTab        ? u"tab"_s
                             : a->role() == QAccessible::ListItem     ? u"row"_s
                             : a->role() == QAccessible::Button       ? u"button"_s
                             : a->role() == QAccessible::EditableText ? u"field"_s
                                                                      : u"other"_s;
        return role + u':' + a->text(QAccessible::Name);
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
    QQuickItem *tabItem(const QString &title) {
        QAccessibleInterface *a = accessible(QAccessible::PageTab, title);
        return a ? qobject_cast<QQuickItem *>(a->object()) : nullptr;
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
        QCOMPARE(m_store->domains()->count(), EntryRules::listCapacity);
        QCOMPARE(domains()->domain(), u"direct.example"_s);

        // The field looks disabled; its paste button does not, and still fills it.
        QQuickItem *paste = items(u"pasteButton"_s).value(0);
        QVERIFY(paste);
        QCOMPARE(drawnOpacity(paste), 1.0);
        QVERIFY(drawnOpacity(field) < 1.0);
        QGuiApplication::clipboard()->setText(u"pasted.example"_s);
        QVERIFY(press(accessible(QAccessible::Button, u"Paste"_s)));
        QTRY_COMPARE(domains()->domain(), u"pasted.example"_s);
        QCOMPARE(m_store->domains()->count(), EntryRules::listCapacity);
        domains()->setSearchText({});
        domains()->setDomain({});
    }

    // Keyboard: Tab runs through the page's rows in order, then the tabs, and round again;
    // Shift+Tab runs back the same way.
    void tabGoesRoundRowsThenTabs() {
        m_app->select(AppView::instructions);
        tabItem(u"Settings"_s)->forceActiveFocus();
        const QStringList round{u"row:Add domains to the list"_s,
                                u"row:Save your preferences"_s,
                                u"row:Open Settings"_s,
                                u"row:Go to General > VPN > DNS"_s,
                                u"row:Enable the app"_s,
                                u"row:Turn off Wi-Fi to reset settings"_s,
                                u"tab:Instructions"_s,
                                u"tab:Domains"_s,
                                u"tab:Status"_s,
                                u"tab:Settings"_s};
        QCOMPARE(keyUntil(Qt::Key_Tab, u"tab:Settings"_s).mid(0, 11), round);
        QStringList back = round.mid(0, round.size() - 1);
        std::reverse(back.begin(), back.end());
        QCOMPARE(keyUntil(Qt::Key_Backtab, u"tab:Settings"_s, Qt::ShiftModifier),
                 back + QStringList{u"tab:Settings"_s});
        // Arrows move along the tabs and between the rows; Space selects the focused tab.
        QTest::keyClick(m_window, Qt::Key_Left);
        QCOMPARE(focus(), u"tab:Status"_s);
        QTest::keyClick(m_window, Qt::Key_Space);
        QCOMPARE(m_app->currentIndex(), int(AppView::status));
        QCOMPARE(keyUntil(Qt::Key_Tab, u"row:DNS protection is disabled"_s),
                 (QStringList{u"tab:Settings"_s, u"row:DNS protection is disabled"_s}));
        QTest::keyClick(m_window, Qt::Key_Down);
        QVERIFY2(focus().startsWith(u"button:"_s), qPrintable(focus()));
        QTest::keyClick(m_window, Qt::Key_Up);
        QCOMPARE(focus(), u"row:DNS protection is disabled"_s);
    }

    void ctrlFSelectsTheSearchFromAnyTab() {
        m_app->select(AppView::status);
        domains()->setSearchText(u"earlier"_s);
        QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(m_app->currentIndex(), int(AppView::domains));
        QCOMPARE(focus(), u"field:Search"_s);
        QCOMPARE(m_window->activeFocusItem()->property("selectedText").toString(), u"earlier"_s);
        typeText(m_window, "2mdn");
        QCOMPARE(domains()->searchText(), u"2mdn"_s);
    }

    void domainsRowsByArrowsSpaceAndDelete() {
        // Down from the search reaches the More Options rows, the add field (its paste button
        // skipped) and the suggestion; Space adds it and the focus stays on the new entry.
        const QStringList passed = keyUntil(Qt::Key_Down, u"button:2mdn.net"_s);
        QCOMPARE(passed.last(), u"button:2mdn.net"_s);
        QCOMPARE(passed.at(passed.size() - 2), u"field:Type here to add a new domain"_s);
        QTest::keyClick(m_window, Qt::Key_Space);
        QVERIFY(m_store->domains()->domainNames().contains(u"2mdn.net"_s));
        QTRY_COMPARE(focus(), u"row:2mdn.net"_s);
        QTest::keyClick(m_window, Qt::Key_Delete);
        QVERIFY(!m_store->domains()->domainNames().contains(u"2mdn.net"_s));
        QTRY_COMPARE(focus(), u"button:2mdn.net"_s);

        // Tab visits the add row's field, then its paste button, then the next row.
        QTest::keyClick(m_window, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focus(), u"button:Paste"_s);
        QTest::keyClick(m_window, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focus(), u"field:Type here to add a new domain"_s);
        QTest::keyClick(m_window, Qt::Key_Tab);
        QTest::keyClick(m_window, Qt::Key_Tab);
        QCOMPARE(focus(), u"button:2mdn.net"_s);

        // Typing a search that drops the row focused last leaves the focus in the field.
        QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
        typeText(m_window, "typed");
        QCOMPARE(focus(), u"field:Search"_s);
        domains()->setSearchText({});
    }

    void sheetKeepsTheKeyboardThenGivesItBack() {
        QSettings().remove(ReviewPrompt::appReviewVersionKey);
        m_app->select(AppView::status);
        QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(focus(), u"button:Not Now"_s);
        // Ctrl+F waits while a sheet is up; Tab goes round the sheet's own buttons.
        QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(focus(), u"button:Not Now"_s);
        QCOMPARE(keyUntil(Qt::Key_Tab, u"button:Not Now"_s),
                 (QStringList{u"button:1 star(s)"_s, u"button:2 star(s)"_s, u"button:3 star(s)"_s,
                              u"button:4 star(s)"_s, u"button:5 star(s)"_s, u"button:Not Now"_s}));
        QTest::keyClick(m_window, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focus(), u"button:5 star(s)"_s);
        QTest::keyClick(m_window, Qt::Key_Escape);
        QTRY_VERIFY(items(u"sheetCloseButton"_s).isEmpty());
        QCOMPARE(focus(), u"field:Search"_s);
    }

    // Another tab selected (as by a click) while a row has the focus: the hidden row no longer
    // takes the keys, so Delete cannot remove an entry no one sees.
    void hiddenPageGivesUpTheKeyboard() {
        m_app->select(AppView::domains);
        domains()->setSearchText(u"adnxs"_s);
        QTRY_VERIFY(liveAccessible(QAccessible::ListItem, u"adnxs.com"_s));
        qobject_cast<QQuickItem *>(liveAccessible(QAccessible::ListItem, u"adnxs.com"_s)->object())
            ->forceActiveFocus();
        QCOMPARE(focus(), u"row:adnxs.com"_s);
        m_app->select(AppView::status);
        QCOMPARE(focus(), u"tab:Status"_s);
        QTest::keyClick(m_window, Qt::Key_Delete);
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"adnxs.com"_s});
        domains()->setSearchText({});
    }

    // A wide window puts the tabs in a rail at the left and keeps the rows a readable width.
    void wideWindowTakesATabRail() {
        m_app->select(AppView::domains);
        m_window->resize(1100, 700);
        QTRY_COMPARE(m_window->contentItem()->width(), 1100.0);
        QList<QPointF> tabs;
        for (const QString &title : {u"Instructions"_s, u"Domains"_s, u"Status"_s, u"Settings"_s})
            tabs << tabItem(title)->mapToScene({});
        for (int i = 1; i < tabs.size(); ++i) {
            QCOMPARE(tabs.at(i).x(), tabs.at(0).x());
            QVERIFY(tabs.at(i).y() > tabs.at(i - 1).y());
        }
        QQuickItem *search = items(u"searchField"_s).value(0);
        QVERIFY(search);
        const qreal left = search->mapToScene({}).x();
        QVERIFY2(left > 200 && left < 400, qPrintable(QString::number(left)));
        m_window->resize(390, 844);
        QTRY_COMPARE(tabItem(u"Settings"_s)->mapToScene({}).y(),
                     tabItem(u"Instructions"_s)->mapToScene({}).y());
    }

    // The screens follow the desktop palette to dark and back.
    void darkDesktopPaletteTurnsTheScreensDark() {
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
