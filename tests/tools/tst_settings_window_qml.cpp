// The Settings window for real, offscreen, over the platform's own DNS settings in a test
// folder, failing on any QML warning: the road by keys (Enter, Space, Tab, Escape, Alt+Left),
// the switch checked and unchecked through its accessibility toggle, and dark as asked.
#include "QmlWindow.h"
#include "SettingsPages.h"
#include "TestEnvironment.h"
#include "screens/Appearance.h"
#include "screens/QmlTypes.h"

#include <QAccessible>
#include <QQuickItem>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)
Q_IMPORT_QML_PLUGIN(QuellnetSettingsPlugin)

using namespace Qt::StringLiterals;

class SettingsWindowQmlTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    ScenePhaseSource m_phase;
    Appearance m_appearance;
    SettingsNavigator m_nav{DnsSettingsBackend::platform(), &m_phase};
    QmlWindow m_qml;

    QAccessibleInterface *focus() {
        QQuickItem *at = m_qml.window->activeFocusItem();
        return at ? QAccessible::queryAccessibleInterface(at) : nullptr;
    }
    QString focusName() { return focus() ? focus()->text(QAccessible::Name) : QString(); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(m_qml.window, key, modifiers);
    }

private Q_SLOTS:
    void initTestCase() {
        DNSConfiguration saved{u"net.quellnet.Quellnet"_s, u"Quellnet"_s, false, nullptr, {}};
        auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
        settings->setMatchDomains(QStringList{u"tracker.example"_s});
        saved.settings = settings;
        QString error;
        QVERIFY2(DNSConfigurationStore().write(saved, &error), qPrintable(error));
        AppearanceForeign::setInstance(&m_appearance);
        QVERIFY(m_qml.load(this, u"qrc:/qt/qml/QuellnetSettings/qml/SettingsWindow.qml"_s,
                           {{u"navigator"_s, QVariant::fromValue(&m_nav)}}));
    }
    void cleanupTestCase() { m_qml.unload(); }
    void cleanup() {
        const QString warnings = QmlWindow::takeWarnings();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
    }

    void roadByKeysAndTheAccessibilityTree() {
        QTRY_COMPARE(focusName(), u"General"_s);
        QCOMPARE(focus()->role(), QAccessible::Button);
        key(Qt::Key_Return);
        QTRY_COMPARE(focusName(), u"VPN"_s);
        key(Qt::Key_Tab);
        QCOMPARE(focusName(), u"Back"_s);
        key(Qt::Key_Tab);
        QCOMPARE(focusName(), u"VPN"_s);
        key(Qt::Key_Space);
        QTRY_COMPARE(focusName(), u"DNS"_s);
        key(Qt::Key_Enter);
        QTRY_COMPARE(focusName(), u"Quellnet"_s); // once the page has read its rows

        QAccessibleInterface *box = focus();
        QCOMPARE(box->role(), QAccessible::CheckBox);
        QVERIFY(box->state().checkable && !box->state().checked);
        box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QTRY_VERIFY(focus()->state().checked);
        QVERIFY(focus()->text(QAccessible::Description).contains(u"yes, 1 name"_s));
        key(Qt::Key_Space);
        QTRY_VERIFY(!focus()->state().checked);

        key(Qt::Key_Escape);
        QCOMPARE(m_nav.page()->navigationTitle(), u"VPN"_s);
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(m_nav.page()->navigationTitle(), u"General"_s);
        key(Qt::Key_Escape);
        key(Qt::Key_Escape); // nothing below the first page
        QCOMPARE(m_nav.depth(), 1);
        QTRY_COMPARE(focusName(), u"General"_s);
    }

    void followsTheDesktopsDarkness() {
        const QColor light = m_qml.window->color();
        m_appearance.setPortalColorScheme(Appearance::preferDark);
        QTRY_VERIFY(m_qml.window->color().lightness() < 64);
        m_appearance.setPortalColorScheme(Appearance::preferLight);
        QTRY_COMPARE(m_qml.window->color(), light);
    }
};

QTEST_MAIN(SettingsWindowQmlTest)
#include "tst_settings_window_qml.moc"
