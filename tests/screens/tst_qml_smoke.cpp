// Loads the real window offscreen and fails on any QML warning. The e2e tests drive the tabs and
// the Domains road through AT-SPI; this one reaches what they cannot: calls made from QML at the
// cap, the keys of a hidden page and a sheet holding the keyboard.
#include "AppWindowSetup.h"
#include "QmlWindow.h"
#include "ScreenFixture.h"

#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "screens/DomainsView.h"
#include "screens/ReviewPrompt.h"
#include "storekit/RequestReviewAction.h"

#include <QAccessible>
#include <QAnimationDriver>
#include <QClipboard>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickView>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

namespace {
// Animations that move only when a test says: after a change, all transitions can be run to
// their end at once, as no frame of the real clock could be relied on to show.
class SteppedAnimations : public QAnimationDriver {
public:
    SteppedAnimations() { install(); }
    ~SteppedAnimations() override { uninstall(); }
    qint64 elapsed() const override { return m_elapsed; }
    void step(qint64 ms) {
        m_elapsed += ms;
        advance();
    }

private:
    qint64 m_elapsed = 0;
};

bool press(QQuickItem *item) {
    QAccessibleInterface *a = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
    if (a && a->actionInterface())
        a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    return a && a->actionInterface();
}

// The opacity an item is drawn with, its own times its ancestors'.
qreal drawnOpacity(const QQuickItem *item) {
    qreal opacity = 1;
    for (; item; item = item->parentItem())
        opacity *= item->opacity();
    return opacity;
}
} // namespace

class QmlSmokeTest : public QObject {
    Q_OBJECT

    ScreenFixture m_f;
    std::unique_ptr<AppView> m_app;
    QmlWindow m_qml;

    // Visible items in drawing order (delegates are not QObject children: findChildren misses them)
    QList<QQuickItem *> items(const QString &objectName = {}, QQuickWindow *window = nullptr) {
        QList<QQuickItem *> out;
        const std::function<void(QQuickItem *)> walk = [&](QQuickItem *at) {
            if (!at->isVisible())
                return;
            if (objectName.isNull() || at->objectName() == objectName)
                out << at;
            for (QQuickItem *child : at->childItems())
                walk(child);
        };
        walk((window ? window : m_qml.window)->contentItem());
        return out;
    }
    // The item a screen reader knows by `role` and `name`; with `live`, only one inside a list
    // row still in the model (removed rows fade out).
    QQuickItem *item(QAccessible::Role role, const QString &name, bool live = false,
                     QQuickWindow *window = nullptr) {
        for (QQuickItem *at : items({}, window)) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(at);
            if (!a || a->role() != role || a->text(QAccessible::Name) != name)
                continue;
            QQuickItem *row = at;
            while (live && row && !row->property("view").isValid())
                row = row->parentItem();
            if (!live || (row && row->property("index").toInt() >= 0))
                return at;
        }
        return nullptr;
    }
    DomainsView *domains() { return qobject_cast<DomainsView *>(m_app->screen(AppView::domains)); }
    // The accessible name of what has the keyboard focus.
    QString focus() {
        QQuickItem *at = m_qml.window->activeFocusItem();
        QAccessibleInterface *a = at ? QAccessible::queryAccessibleInterface(at) : nullptr;
        return a ? a->text(QAccessible::Name) : u"no accessible item"_s;
    }

    void fill(int count) {
        for (int i = 0; i < count; ++i)
            m_f.store.insert(
                std::make_shared<Domain>(u"filler%1.example"_s.arg(i), QUuid::createUuid()));
    }
    /** Removes the records named `name`, or every record if it is empty. */
    void removeNamed(const QString &name) {
        const QList<DomainRef> records = m_f.store.domains()->records();
        for (const DomainRef &record : records)
            if (name.isEmpty() || record->domain() == name)
                m_f.store.remove(record);
    }
    // Lays out the Domains list's last change and runs its transitions to their end on the
    // clock of `animations`, which stops once nothing animates.
    bool settle(SteppedAnimations &animations, QQuickWindow *window = nullptr) {
        QQuickItem *list = item(QAccessible::List, u"Domains"_s, false, window);
        if (!list || !QQuickTest::qWaitForPolish(list))
            return false;
        // The layout started the transitions; their clock starts two queued calls later.
        for (int i = 0; i < 3; ++i)
            QCoreApplication::sendPostedEvents();
        auto *rows = list->property("contentItem").value<QQuickItem *>();
        return QTest::qWaitFor([&animations, rows] {
            if (animations.isRunning()) { // started once the transitions registered
                animations.step(250);
                return false;
            }
            const QList<QQuickItem *> children = rows->childItems();
            return std::none_of(children.cbegin(), children.cend(), [](QQuickItem *row) {
                return row->property("index").toInt() < 0; // still fading out
            });
        });
    }
    // What the add row and the suggestion rows show and tell a screen reader, against what
    // the list's fill demands: dimmed, not enabled and not focusable when `full`, as usual
    // when not. Empty when all agree.
    QString capMismatch(bool full, QQuickWindow *window = nullptr) {
        const auto disagrees = [full](QQuickItem *at, bool refused) {
            const QAccessible::State state = QAccessible::queryAccessibleInterface(at)->state();
            qreal drawn = 1;
            for (QQuickItem *child : at->childItems()) // the row's text, or the field itself
                if (child->isVisible())
                    drawn = std::min(drawn, drawnOpacity(child));
            return (drawn < 1) != refused || state.disabled != refused ||
                   (refused && state.focusable) || at->isEnabled() == refused;
        };
        QQuickItem *list = item(QAccessible::List, u"Domains"_s, false, window);
        auto *rows = list ? qobject_cast<RowListModel *>(list->property("model").value<QObject *>())
                          : nullptr;
        if (!rows)
            return u"no Domains list"_s;
        // The add field at the top (the keys may have taken the view further down), then every
        // suggestion row, scrolled to in turn.
        QMetaObject::invokeMethod(list, "positionViewAtBeginning");
        const auto scrollBack =
            qScopeGuard([list] { QMetaObject::invokeMethod(list, "positionViewAtBeginning"); });
        QQuickItem *field = items(u"addField"_s, window).value(0);
        if (!field || disagrees(field, full))
            return u"the add field"_s;
        int suggestions = 0;
        for (int i = 0; i < rows->rowCount(); ++i) {
            if (!rows->rowAt(i).key.startsWith(u"suggestion:"_s))
                continue;
            ++suggestions;
            QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, i),
                                      Q_ARG(int, 4 /* ListView.Contain */));
            QQuickItem *at = nullptr;
            QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, at),
                                      Q_ARG(int, i));
            if (!at || disagrees(at, full))
                return rows->rowAt(i).text;
        }
        return suggestions > 0 ? QString() : u"no suggestion row"_s;
    }

private Q_SLOTS:
    void initTestCase() {
        setUpAsTheApp();
        AppServices services = ScreenFixture::services();
        services.requestReview = RequestReviewAction(); // its sheet is drawn by the app
        m_app = std::make_unique<AppView>(&m_f.store, &m_f.phase, services);
        QVERIFY(m_qml.load(this, u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s,
                           {{u"appView"_s, QVariant::fromValue(m_app.get())}}));
    }
    void cleanupTestCase() { m_qml.unload(); }
    void cleanup() {
        const QString warnings = QmlWindow::takeWarnings();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
    }

    // Every screen draws without a warning (cleanup() checks) and a glyph for every symbol.
    void everyTabDraws() {
        for (int tab = AppView::tabCount - 1; tab >= 0; --tab) {
            m_app->select(tab);
            for (QQuickItem *at : items())
                if (QByteArray(at->metaObject()->className()).startsWith("Icon_"))
                    QVERIFY2(!at->property("text").toString().isEmpty(),
                             qPrintable(at->property("name").toString()));
        }
        QTRY_VERIFY(item(QAccessible::ListItem, u"Add domains to the list"_s));
    }

    // Every way to the 200th record leaves the refusing rows dimmed and reported disabled to a
    // screen reader (list changes animate rows, which must not undo the dimming), and one
    // record fewer gives them back. At 200 nothing adds a record by any route.
    void domainsRowsTellTheCapOnEveryRoad() {
        SteppedAnimations animations;
        m_app->select(AppView::domains);
        domains()->setSearchText({});
        domains()->setDomain({});
        const auto emptyList = qScopeGuard([&] { removeNamed({}); }); // later tests expect none
        fill(EntryRules::listCapacity - 1);
        QVERIFY(settle(animations));
        QCOMPARE(capMismatch(false), QString());

        // Typing, and the return key.
        QQuickItem *field = items(u"addField"_s).value(0);
        QVERIFY(field);
        field->forceActiveFocus();
        for (const char key : "typed.example"_ba)
            QTest::keyClick(m_qml.window, key);
        QTest::keyClick(m_qml.window, Qt::Key_Return);
        QTRY_COMPARE(m_f.store.domains()->count(), EntryRules::listCapacity);
        QVERIFY(settle(animations));
        QCOMPARE(capMismatch(true), QString());

        // Full, no route adds: tap, keys, accessibility, or a call made from QML. The paste
        // button stays available and is drawn so.
        domains()->setSearchText(u"2mdn"_s);
        QVERIFY(settle(animations));
        QQuickItem *suggestion = item(QAccessible::Button, u"2mdn.net"_s, true);
        QVERIFY(suggestion);
        QTest::mouseClick(m_qml.window, Qt::LeftButton, {},
                          suggestion->mapToScene(suggestion->boundingRect().center()).toPoint());
        QVERIFY(press(suggestion));
        suggestion->forceActiveFocus();
        QTest::keyClick(m_qml.window, Qt::Key_Return);
        QTest::keyClick(m_qml.window, Qt::Key_Space);
        domains()->setDomain(u"direct.example"_s);
        QQmlExpression fromQml(qmlContext(suggestion), suggestion,
                               u"screen.submitDomain(); screen.addSuggestedDomain('2mdn.net');"
                               u"screen.submit('add'); screen.activate('suggestion:2mdn.net')"_s);
        fromQml.evaluate();
        QVERIFY2(!fromQml.hasError(), qPrintable(fromQml.error().toString()));
        QCOMPARE(drawnOpacity(items(u"pasteButton"_s).value(0)), 1.0);
        QGuiApplication::clipboard()->setText(u"pasted.example"_s);
        QVERIFY(press(item(QAccessible::Button, u"Paste"_s)));
        QTRY_COMPARE(domains()->domain(), u"pasted.example"_s);
        QCOMPARE(m_f.store.domains()->count(), EntryRules::listCapacity);
        domains()->setSearchText({});
        QVERIFY(settle(animations));
        removeNamed(u"typed.example"_s);
        QVERIFY(settle(animations));
        QCOMPARE(capMismatch(false), QString());

        // A suggestion holding the keys, added by Space and so removed while focused (the view
        // once crashed here): the rows below it move up.
        suggestion = item(QAccessible::Button, u"2mdn.net"_s, true);
        QVERIFY(suggestion);
        suggestion->forceActiveFocus();
        QTest::keyClick(m_qml.window, Qt::Key_Space);
        QTRY_COMPARE(m_f.store.domains()->count(), EntryRules::listCapacity);
        QVERIFY(settle(animations));
        QCOMPARE(capMismatch(true), QString());

        // A search that takes rows away and brings them back, moving the others.
        for (const QString &search : {u"doubleclick"_s, u"a"_s, QString()}) {
            domains()->setSearchText(search);
            QVERIFY(settle(animations));
            QCOMPARE(capMismatch(true), QString());
        }

        // Launching with 200 stored: the screen and its list made anew over the same store.
        {
            DomainsView screen(&m_f.store, &m_f.phase, {});
            QQuickView view;
            view.setResizeMode(QQuickView::SizeRootObjectToView);
            view.setInitialProperties({{u"screen"_s, QVariant::fromValue(&screen)}});
            view.setSource(QUrl(u"qrc:/qt/qml/Quellnet/qml/DomainsView.qml"_s));
            view.resize(m_qml.window->size());
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            QVERIFY(settle(animations, &view));
            QCOMPARE(capMismatch(true, &view), QString());
        }
        m_qml.window->requestActivate(); // the keys of the later tests go to the app's window
        QVERIFY(QTest::qWaitForWindowActive(m_qml.window));

        removeNamed(u"2mdn.net"_s);
        QVERIFY(settle(animations));
        QCOMPARE(capMismatch(false), QString());
    }

    // The last entry row's rounded corners show the list's background, never the red of the
    // Delete button under the row.
    void closedSwipeHidesItsButton() {
        m_app->select(AppView::domains);
        domains()->setSearchText(u"adnxs"_s);
        domains()->addSuggestedDomain(u"adnxs.com"_s);
        const auto emptyList = qScopeGuard([&] {
            removeNamed({});
            domains()->setSearchText({});
        });
        QQuickItem *entry = nullptr;
        QTRY_VERIFY((entry = item(QAccessible::ListItem, u"adnxs.com"_s, true)));
        QTRY_COMPARE(entry->opacity(), 1.0); // faded in
        const qreal inset = entry->property("sideInset").toReal();
        const QImage shot = m_qml.window->grabWindow();
        const qreal scale = shot.width() / qreal(m_qml.window->width());
        for (const QPointF corner : {QPointF(entry->width() - inset - 1, entry->height() - 1),
                                     QPointF(inset, entry->height() - 1)}) {
            const QColor pixel = shot.pixelColor((entry->mapToScene(corner) * scale).toPoint());
            QVERIFY2(!(pixel.red() > 150 && pixel.green() < 110 && pixel.blue() < 110),
                     qPrintable(pixel.name()));
        }
    }

    // At exit the accessibility cache deletes every interface in its own order, asking each for
    // its object: ours for an item must still answer once the toolkit's under it went first.
    void itemInterfaceOutlivesTheToolkits() {
        QQuickItem *tabs = item(QAccessible::PageTabList, u"Tabs"_s);
        QVERIFY(tabs);
        QAccessibleInterface *ours = QAccessible::queryAccessibleInterface(tabs);
        const QAccessible::Id id = QAccessible::uniqueId(ours);
        // The toolkit's interface is registered while ours is made, just before it.
        QAccessibleInterface *toolkit = QAccessible::accessibleInterface(id - 1);
        QVERIFY(toolkit && toolkit != ours && toolkit->object() == tabs);
        QAccessible::deleteAccessibleInterface(id - 1);
        QCOMPARE(ours->object(), tabs);
        QAccessible::deleteAccessibleInterface(id); // the next query makes both anew
        QVERIFY(item(QAccessible::PageTabList, u"Tabs"_s));
    }

    // Another tab selected (as by a click) while an entry row has the focus: the hidden row gives
    // up the keys, so Delete cannot remove an entry no one sees. Its delete button still works.
    void hiddenPageGivesUpTheKeyboard() {
        domains()->addSuggestedDomain(u"adnxs.com"_s);
        domains()->setSearchText(u"adnxs"_s);
        QTRY_VERIFY(item(QAccessible::ListItem, u"adnxs.com"_s, true));
        item(QAccessible::ListItem, u"adnxs.com"_s, true)->forceActiveFocus();
        QCOMPARE(focus(), u"adnxs.com"_s);
        m_app->select(AppView::status);
        QCOMPARE(focus(), u"Status"_s);
        QTest::keyClick(m_qml.window, Qt::Key_Delete);
        QCOMPARE(m_f.store.domains()->domainNames(), QStringList{u"adnxs.com"_s});
        m_app->select(AppView::domains);
        QVERIFY(press(item(QAccessible::Button, u"Delete adnxs.com"_s, true)));
        QCOMPARE(m_f.store.domains()->count(), 0);
    }

    // A sheet keeps the keyboard: Ctrl+F waits and Tab goes round the sheet's own buttons.
    void sheetKeepsTheKeyboard() {
        QSettings().remove(ReviewPrompt::appReviewVersionKey);
        m_app->select(AppView::status);
        QTest::keyClick(m_qml.window, Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(focus(), u"Not Now"_s);
        QTest::keyClick(m_qml.window, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(focus(), u"Not Now"_s);
        for (const QString &next : {u"1 star(s)"_s, u"2 star(s)"_s, u"3 star(s)"_s, u"4 star(s)"_s,
                                    u"5 star(s)"_s, u"Not Now"_s, u"1 star(s)"_s}) {
            QTest::keyClick(m_qml.window, Qt::Key_Tab);
            QCOMPARE(focus(), next);
        }
        QTest::keyClick(m_qml.window, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focus(), u"Not Now"_s);
        QTest::keyClick(m_qml.window, Qt::Key_Escape);
        QTRY_VERIFY(items(u"sheetCloseButton"_s).isEmpty());
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
