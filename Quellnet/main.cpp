#include "Translations.h"
#include "blocklist/BlocklistStore.h"
#include "screens/AppIdentity.h"
#include "screens/AppView.h"
#include "screens/FirstFrameReport.h"
#include "screens/QmlTypes.h"
#include "screens/ScenePhase.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QtQml/qqmlextensionplugin.h>

#include <thread>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

namespace {
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
} // namespace

/**
 * The process: opens the one blocklist store every screen shares, follows the application's
 * state as the scene phase, and shows the window with its tab container.
 */
class QuellnetApp {
public:
    QuellnetApp()
        : m_store(QString(), BlocklistStore::Options{.isStoredInMemoryOnly = false,
                                                     .isAutosaveEnabled = true,
                                                     .isUndoEnabled = false})
        , m_appView(&m_store, &m_scenePhase) {
        m_scenePhase.followApplicationState();
    }

    bool show() {
        const QUrl main(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s);
        m_engine.addImportPath(u"qrc:/qt/qml"_s);
        // The QML types load on the engine's thread while this one finishes the fonts; load()
        // below then finds them loaded or waits for them.
        QQmlComponent preload(&m_engine, main, QQmlComponent::Asynchronous);
        if (m_systemFonts.joinable())
            m_systemFonts.join();
        Symbols::fontFamily(); // before the window: a font added later re-lays out all text
        loadFirstFrameFonts();
        m_engine.setInitialProperties({{u"appView"_s, QVariant::fromValue(&m_appView)}});
        m_engine.load(main);
        if (m_engine.rootObjects().isEmpty())
            return false;
        reportFirstFrameIfAsked(qobject_cast<QQuickWindow *>(m_engine.rootObjects().constFirst()));
        return true;
    }

private:
    // Listing the system fonts reads all of fontconfig's configuration (several ms): it runs
    // while the store opens and the QML engine is set up, and show() waits for it.
    std::jthread m_systemFonts{[] { QFontDatabase::families(); }};
    BlocklistStore m_store;
    ScenePhaseSource m_scenePhase;
    AppView m_appView;
    QQmlApplicationEngine m_engine; // last: the window goes before the models it draws
};

int main(int argc, char *argv[]) {
    // The platform layers ask the bundle who is calling, so it comes before anything else.
    installAppIdentity();

    // The style by environment rather than QQuickStyle::setStyle(): linking QtQuick.Controls'
    // library only for that call costs its relocations at every launch, while the controls
    // themselves load with the first text field or sheet. Set unconditionally, as setStyle()
    // would override the user's choice too.
    qputenv("QT_QUICK_CONTROLS_STYLE", "Basic");
    QGuiApplication app(argc, argv);
    Translations::installTranslations();

    QuellnetApp quellnet;
    if (!quellnet.show())
        return 1;
    return QGuiApplication::exec();
}
