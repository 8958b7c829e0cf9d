#include "DnsSettingsBackend.h"
#include "SettingsPages.h"
#include "Translations.h"
#include "app/SingleInstance.h"
#include "screens/Appearance.h"
#include "screens/QmlTypes.h"
#include "screens/ScenePhase.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)
Q_IMPORT_QML_PLUGIN(QuellnetSettingsPlugin)

using namespace Qt::StringLiterals;

namespace {

/** What the desktop gave this launch to bring a window forward with, if anything. */
QByteArray activationToken() {
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qgetenv("DESKTOP_STARTUP_ID") : token;
}

/**
 * The window and what it draws. The device's Settings stand apart from the app: their own name,
 * desktop entry and running copy, and no blocklist; what they show of the DNS configurations
 * comes from the platform, as for `device-settings`.
 */
class SettingsWindowApp {
public:
    SettingsWindowApp()
        : m_navigator(DnsSettingsBackend::platform(), &m_scenePhase) {
        m_scenePhase.followApplicationState();
        m_appearance.followDesktopPortal();
    }

    bool show() {
        Symbols::fontFamily(); // before the window: a font added later re-lays out all text
        AppearanceForeign::setInstance(&m_appearance);
        m_engine.addImportPath(u"qrc:/qt/qml"_s);
        m_engine.setInitialProperties({{u"navigator"_s, QVariant::fromValue(&m_navigator)}});
        m_engine.load(QUrl(u"qrc:/qt/qml/QuellnetSettings/qml/SettingsWindow.qml"_s));
        return !m_engine.rootObjects().isEmpty();
    }

    /** A later launch asked for this copy: its window comes forward where the desktop allows. */
    void activate(const QByteArray &token) {
        SingleInstance::bringForward(
            m_engine.rootObjects().isEmpty()
                ? nullptr
                : qobject_cast<QWindow *>(m_engine.rootObjects().constFirst()),
            token);
    }

private:
    ScenePhaseSource m_scenePhase;
    SettingsNavigator m_navigator;
    Appearance m_appearance;
    QQmlApplicationEngine m_engine; // last: the window goes before the models it draws
};

} // namespace

int main(int argc, char *argv[]) {
    // The window class and desktop file name are the menu entry's (data/), so the desktop
    // matches the running window to its entry and icon.
    QCoreApplication::setOrganizationName(u"Quellnet"_s);
    QCoreApplication::setApplicationName(u"quellnet-device-settings"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUELLNET_VERSION));
    QGuiApplication::setDesktopFileName(u"net.quellnet.DeviceSettings"_s);

    // One copy per account: a later launch hands its activation token over and leaves before it
    // connects to the display.
    const QByteArray token = activationToken();
    SingleInstance instance(
        SingleInstance::nameFor(u"quellnet-settings"_s, DNSConfigurationStore().directory()));
    if (const auto launch = instance.handOver(token); launch != SingleInstance::Launch::first)
        return launch == SingleInstance::Launch::handedOver ? 0 : 1;

    qputenv("QT_QUICK_CONTROLS_STYLE", "Basic");
    QGuiApplication app(argc, argv);
    QQuickWindow::setTextRenderType(QQuickWindow::NativeTextRendering); // as the app draws text
    Translations::installTranslations();
    // The window's title, as the phone's Settings app is called in the user's language.
    QGuiApplication::setApplicationDisplayName(SettingsNavigator::tr("Settings"));

    SettingsWindowApp window;
    instance.listen([&window](const QByteArray &token) { window.activate(token); });
    if (!window.show())
        return 1;
    return QGuiApplication::exec();
}
