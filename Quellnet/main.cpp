#include "AppStoreView/AppCatalogue.h"
#include "Translations.h"
#include "app/AppIdentity.h"
#include "app/FirstFrameReport.h"
#include "app/SingleInstance.h"
#include "blocklist/BlocklistStore.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "screens/AppView.h"
#include "screens/Appearance.h"
#include "screens/QmlTypes.h"
#include "screens/ScenePhase.h"
#include "screens/WindowState.h"
#include "storekit/RequestReviewAction.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QtQml/qqmlextensionplugin.h>

#include <thread>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcApp, "quellnet.app")

namespace {

/** What the desktop gave this launch to bring a window forward with, if anything. */
QByteArray activationToken() {
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qgetenv("DESKTOP_STARTUP_ID") : token;
}

/**
 * Loads the fonts the first frame draws with (Theme.qml's text and symbol sizes) while the QML
 * types are still loading on the engine's thread, so the window's texts find them ready. A
 * size the theme no longer uses costs only its own load.
 */
void loadFirstFrameFonts() {
    struct Use {
        QString family; // empty: the application font
        int pixelSize;
        QFont::Weight weight;
    };
    const QString symbols = Symbols::fontFamily();
    for (const Use &use :
         {Use{{}, 17, QFont::Normal}, Use{{}, 13, QFont::Normal}, Use{{}, 11, QFont::Medium},
          Use{symbols, 22, QFont::Normal}, Use{symbols, 26, QFont::Normal}}) {
        QFont font = QGuiApplication::font();
        if (!use.family.isEmpty())
            font.setFamily(use.family);
        font.setPixelSize(use.pixelSize);
        font.setWeight(use.weight);
        QFontMetricsF(font).height(); // loads the font engine into this thread's cache
    }
}

/** Main.qml's window properties that open it where the user left it; none on a first run. */
QVariantMap windowProperties(const std::optional<WindowPlacement> &placement) {
    if (!placement)
        return {};
    QVariantMap properties{{u"width"_s, placement->size.width()},
                           {u"height"_s, placement->size.height()}};
    if (placement->position) {
        properties.insert(u"x"_s, placement->position->x());
        properties.insert(u"y"_s, placement->position->y());
    }
    if (placement->maximized)
        properties.insert(u"visibility"_s, int(QWindow::Maximized));
    return properties;
}
} // namespace

/**
 * The process and the app's composition root: opens the one blocklist store every screen shares,
 * takes the platform's shared services and hands them to the screens, follows the application's
 * state as the scene phase, and shows the window with its tab container.
 */
class QuellnetApp {
public:
    QuellnetApp()
        : m_store(QString(),
                  BlocklistStore::Options{.isStoredInMemoryOnly = false, .isAutosaveEnabled = true})
        , m_appView(&m_store, &m_scenePhase,
                    AppServices{.dnsSettings = &NEDNSSettingsManager::sharedManager(),
                                .requestReview = RequestReviewAction(),
                                .promoteApp = &AppCatalogue::promoteRandomApp}) {
        m_scenePhase.followApplicationState();
        m_appearance.followDesktopPortal(); // answers while the window is being made
        markStartupPhase("app-constructed");
    }

    bool show() {
        const QUrl main(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s);
        m_engine.addImportPath(u"qrc:/qt/qml"_s);
        // The QML types load on the engine's thread while this one finishes the fonts; load()
        // below then finds them loaded or waits for them.
        QQmlComponent preload(&m_engine, main, QQmlComponent::Asynchronous);
        markStartupPhase("preload-started");
        if (m_systemFonts.joinable())
            m_systemFonts.join();
        Symbols::fontFamily(); // before the window: a font added later re-lays out all text
        loadFirstFrameFonts();
        markStartupPhase("fonts-loaded");
        AppearanceForeign::setInstance(&m_appearance);
        QVariantMap properties{{u"appView"_s, QVariant::fromValue(&m_appView)}};
        properties.insert(windowProperties(m_windowState.placement()));
        m_engine.setInitialProperties(properties);
        m_engine.load(main);
        markStartupPhase("qml-created");
        if (m_engine.rootObjects().isEmpty())
            return false;
        auto *window = qobject_cast<QQuickWindow *>(m_engine.rootObjects().constFirst());
        if (window)
            m_windowState.follow(window);
        reportFirstFrameIfAsked(window);
        return true;
    }

    /** A later launch asked for this copy: its window comes forward where the desktop allows. */
    void activate(const QByteArray &token) {
        qCInfo(lcApp, "Activation requested by a later launch (token: %s)",
               token.isEmpty() ? "none" : token.constData());
        SingleInstance::bringForward(
            m_engine.rootObjects().isEmpty()
                ? nullptr
                : qobject_cast<QWindow *>(m_engine.rootObjects().constFirst()),
            token);
    }

private:
    // Listing the system fonts reads all of fontconfig's configuration (several ms): it runs
    // while the store opens and the QML engine is set up, and show() waits for it.
    std::jthread m_systemFonts{[] { QFontDatabase::families(); }};
    BlocklistStore m_store;
    ScenePhaseSource m_scenePhase;
    AppView m_appView;
    Appearance m_appearance;
    WindowStateKeeper m_windowState;
    QQmlApplicationEngine m_engine; // last: the window goes before the models it draws
};

int main(int argc, char *argv[]) {
    markStartupPhase("main");
    // The platform layers ask the bundle who is calling, so it comes before anything else.
    installAppIdentity();

    // Before the GUI starts: a later launch leaves without connecting to the display, and the
    // token is read before Qt's platform plugin takes it for itself.
    const QByteArray token = activationToken();
    // One running copy per blocklist file.
    SingleInstance instance(SingleInstance::nameFor(u"quellnet"_s, BlocklistStore::defaultPath()));
    if (const auto launch = instance.handOver(token); launch != SingleInstance::Launch::first)
        return launch == SingleInstance::Launch::handedOver ? 0 : 1;
    markStartupPhase("single-instance");

    // The style by environment rather than QQuickStyle::setStyle(): linking QtQuick.Controls'
    // library only for that call costs its relocations at every launch, while the controls
    // themselves load with the first text field or sheet. Set unconditionally, as setStyle()
    // would override the user's choice too.
    qputenv("QT_QUICK_CONTROLS_STYLE", "Basic");
    QGuiApplication app(argc, argv);
    // Text drawn as the desktop draws it (hinted glyphs at their size) rather than from
    // distance fields: as crisp in a window that is never scaled, as the screenshots (drawn by
    // the software renderer) always showed it, and its glyphs cost the first frame several ms
    // less.
    QQuickWindow::setTextRenderType(QQuickWindow::NativeTextRendering);
    markStartupPhase("gui-application");
    Translations::installTranslations();

    QuellnetApp quellnet;
    instance.listen([&quellnet](const QByteArray &token) { quellnet.activate(token); });
    markStartupPhase("listening");
    if (!quellnet.show())
        return 1;
    return QGuiApplication::exec();
}
