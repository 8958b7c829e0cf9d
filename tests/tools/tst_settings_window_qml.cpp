// The Settings window for real, offscreen, failing on any QML warning: its rows pressed through
// the accessibility interface and by keys, the way back by button, Escape and Alt+Left, the
// switch checked through its accessibility toggle, and dark as the desktop asks.
#include "FakeDnsBackend.h"
#include "SettingsPages.h"
#include "screens/Appearance.h"
#include "screens/QmlTypes.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSemaphore>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <functional>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)
Q_IMPORT_QML_PLUGIN(QuellnetSettingsPlugin)

using namespace Qt::StringLiterals;
using namespace FakeDns;

namespace {
QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << message;
}

bool act(QQuickItem *item, const QString &action) {
    QAccessibleInterface *a = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
    if (!a || !a->actionInterface() || !a->actionInterface()->actionNames().contains(action))
        return false;
    a->actionInterface()->doAction(action);
    return true;
}
} // namespace

class SettingsWindowQmlTest : public QObject {
    Q_OBJECT

    std::shared_ptr<FakeBackend> m_backend = std::make_shared<FakeBackend>();
    ScenePhaseSource m_phase;
    Appearance m_appearance;
    std::unique_ptr<SettingsNavigator> m_nav;
    QQmlApplicationEngine *m_engine = nullptr;
    QQuickWindow *m_window = nullptr;

    QList<QQuickItem *> visibleItems() {
        QList<QQuickItem *> out;
        const std::function<void(QQuickItem *)> walk = [&](QQuickItem *at) {
            if (!at->isVisible())
                return;
            out << at;
            for (QQuickItem *child : at->childItems())
                walk(child);
        };
        walk(m_window->contentItem());
        return out;
    }
    QQuickItem *item(QAccessible::Role role, const QString &name) {
        for (QQuickItem *at : visibleItems()) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(at);
            if (a && a->role() == role && a->text(QAccessible::Name) == name)
                return at;
        }
        return nullptr;
    }
    QAccessibleInterface *accessible(QAccessible::Role role, const QString &name) {
        QQuickItem *at = item(role, name);
        return at ? QAccessible::queryAccessibleInterface(at) : nullptr;
    }
    QString focus() {
        QQuickItem *at = m_window->activeFocusItem();
        QAccessibleInterface *a = at ? QAccessible::queryAccessibleInterface(at) : nullptr;
        return a ? a->text(QAccessible::Name) : u"no accessible item"_s;
    }
    QString title() { return m_nav->page()->navigationTitle(); }

private Q_SLOTS:
    void initTestCase() {
        QQuickStyle::setStyle(u"Basic"_s);
        qInstallMessageHandler(collectWarnings);
        m_backend->list = {
            entry(u"net.quellnet.Quellnet"_s, u"Quellnet"_s, false, State::off, u"Off."_s),
            entry(u"org.other"_s, u"Other"_s, false, State::off, u"Off."_s)};
        m_nav = std::make_unique<SettingsNavigator>(m_backend, &m_phase);
        Symbols::fontFamily();
        AppearanceForeign::setInstance(&m_appearance);
        m_engine = new QQmlApplicationEngine(this);
        m_engine->addImportPath(u"qrc:/qt/qml"_s);
        m_engine->setInitialProperties({{u"navigator"_s, QVariant::fromValue(m_nav.get())}});
        m_engine->load(QUrl(u"qrc:/qt/qml/QuellnetSettings/qml/SettingsWindow.qml"_s));
        m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().value(0));
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
        while (m_nav->canGoBack())
            m_nav->back();
    }

    // Down by the accessibility press action, back by the back button's: every row and the
    // button are what a screen reader finds by those exact names, and the page's first row
    // has the keyboard, drawn with its focus ring.
    void roadThroughTheAccessibilityTree() {
        QCOMPARE(m_window->title(), QGuiApplication::applicationDisplayName());
        QTRY_COMPARE(focus(), u"General"_s);
        for (const auto &[row, page] :
             {std::pair(u"General"_s, u"General"_s), std::pair(u"VPN"_s, u"VPN"_s),
              std::pair(u"DNS"_s, u"DNS"_s)}) {
            QTRY_VERIFY(item(QAccessible::Button, row));
            QVERIFY(act(item(QAccessible::Button, row), QAccessibleActionInterface::pressAction()));
            QTRY_COMPARE(title(), page);
        }
        QTRY_COMPARE(focus(), u"Quellnet"_s);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        QAccessibleInterface *back = accessible(QAccessible::Button, u"Back"_s);
        QVERIFY(back);
        QCOMPARE(back->text(QAccessible::Description), u"VPN"_s);
        back->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(title(), u"VPN"_s);
        QTRY_COMPARE(focus(), u"DNS"_s);
    }

    // The same road by keys alone: Enter and Space open, Escape and Alt+Left go back, and Tab
    // runs round the back button and the rows.
    void roadByKeys() {
        QTRY_COMPARE(focus(), u"General"_s);
        QTest::keyClick(m_window, Qt::Key_Return);
        QTRY_COMPARE(title(), u"General"_s);
        QTRY_COMPARE(focus(), u"VPN"_s);
        QTest::keyClick(m_window, Qt::Key_Space);
        QTRY_COMPARE(title(), u"VPN"_s);
        QTRY_COMPARE(focus(), u"DNS"_s);
        QTest::keyClick(m_window, Qt::Key_Tab);
        QCOMPARE(focus(), u"Back"_s);
        QTest::keyClick(m_window, Qt::Key_Tab);
        QCOMPARE(focus(), u"DNS"_s);
        QTest::keyClick(m_window, Qt::Key_Enter);
        QTRY_COMPARE(title(), u"DNS"_s);
        QTRY_COMPARE(focus(), u"Quellnet"_s);
        QTest::keyClick(m_window, Qt::Key_Down);
        QCOMPARE(focus(), u"Other"_s);
        QTest::keyClick(m_window, Qt::Key_Escape);
        QCOMPARE(title(), u"VPN"_s);
        QTest::keyClick(m_window, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(title(), u"General"_s);
        QTest::keyClick(m_window, Qt::Key_Escape);
        QCOMPARE(title(), u"Settings"_s);
        QTest::keyClick(m_window, Qt::Key_Escape); // nothing below the first page
        QCOMPARE(title(), u"Settings"_s);
        QTRY_COMPARE(focus(), u"General"_s);
    }

    // Each configuration is a check box named by its display name with its line as the
    // description; the toggle action switches it on the worker, the box is busy meanwhile and
    // checked once the platform is done. Space on the focused switch turns it off again.
    void switchThroughTheAccessibilityTree() {
        for (const QString &key :
             {SettingsNavigator::generalKey, SettingsNavigator::vpnKey, SettingsNavigator::dnsKey})
            m_nav->open(key);
        QTRY_VERIFY(item(QAccessible::CheckBox, u"Quellnet"_s));
        QAccessibleInterface *box = accessible(QAccessible::CheckBox, u"Quellnet"_s);
        QVERIFY(box->state().checkable);
        QVERIFY(!box->state().checked);
        QCOMPARE(box->text(QAccessible::Description), u"Off."_s);

        QSemaphore gate;
        m_backend->gate = &gate;
        QVERIFY(act(item(QAccessible::CheckBox, u"Quellnet"_s),
                    QAccessibleActionInterface::toggleAction()));
        QTRY_COMPARE(
            accessible(QAccessible::CheckBox, u"Quellnet"_s)->text(QAccessible::Description),
            DnsPage::tr("Switching on…"));
        QVERIFY(!accessible(QAccessible::CheckBox, u"Quellnet"_s)->state().checked);
        gate.release();
        QTRY_VERIFY(accessible(QAccessible::CheckBox, u"Quellnet"_s)->state().checked);

        gate.release();
        QTRY_COMPARE(focus(), u"Quellnet"_s);
        QTest::keyClick(m_window, Qt::Key_Space);
        QTRY_VERIFY(!accessible(QAccessible::CheckBox, u"Quellnet"_s)->state().checked);
        m_backend->gate = nullptr;
        QCOMPARE(m_backend->switches.size(), 2);
    }

    // A refusal leaves the box unchecked with the platform's words as its description.
    void refusalInWords() {
        for (const QString &key :
             {SettingsNavigator::generalKey, SettingsNavigator::vpnKey, SettingsNavigator::dnsKey})
            m_nav->open(key);
        m_backend->next = {
            Outcome::cancelled, u"The password prompt was cancelled."_s, {}, {}, false};
        QTRY_VERIFY(item(QAccessible::CheckBox, u"Other"_s));
        QVERIFY(act(item(QAccessible::CheckBox, u"Other"_s),
                    QAccessibleActionInterface::pressAction()));
        QTRY_COMPARE(accessible(QAccessible::CheckBox, u"Other"_s)->text(QAccessible::Description),
                     u"The password prompt was cancelled."_s);
        QVERIFY(!accessible(QAccessible::CheckBox, u"Other"_s)->state().checked);
        m_backend->next = {};
    }

    // Dark as the desktop asks, light again when it asks for light.
    void followsTheDesktopsDarkness() {
        const QColor light = m_window->color();
        m_appearance.setPortalColorScheme(Appearance::preferDark);
        QTRY_VERIFY(m_window->color() != light);
        QVERIFY(m_window->color().lightness() < 64);
        m_appearance.setPortalColorScheme(Appearance::preferLight);
        QTRY_COMPARE(m_window->color(), light);
    }
};

QTEST_MAIN(SettingsWindowQmlTest)
#include "tst_settings_window_qml.moc"
