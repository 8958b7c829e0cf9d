// Takes PNGs of the real window, drawn offscreen over a few sample records in a throw-away home
// folder: every tab at phone size, light (<tab>.png) and dark (<tab>-dark.png), and the Domains
// tab in a desktop-sized window, light and dark (desktop-domains[-dark].png).
// quellnet-screenshots <output folder>; run with QT_SCALE_FACTOR=2 to check high-density drawing.
#include "AppStoreView/AppCatalogue.h"
#include "app/AppIdentity.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/Domain.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "screens/AppView.h"
#include "screens/Appearance.h"
#include "screens/QmlTypes.h"
#include "screens/ReviewPrompt.h"
#include "screens/ScenePhase.h"
#include "storekit/RequestReviewAction.h"

#include <QAnimationDriver>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

namespace {
/** Runs events until `start` calls its `done` argument; false if that took over ten seconds.
    `done` may still be called after that, so it holds nothing of this frame. */
bool runUntil(const std::function<void(std::function<void()> done)> &start) {
    QEventLoop loop;
    auto state = std::make_shared<std::pair<bool, QEventLoop *>>(false, &loop);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit); // the deadline, not a poll interval
    start([state] {
        state->first = true;
        if (state->second)
            state->second->quit();
    });
    if (!state->first)
        loop.exec();
    state->second = nullptr;
    return state->first;
}

/** Waits until every platform answer asked for so far has arrived. */
bool settle() {
    return runUntil([](std::function<void()> done) {
        NEDNSSettingsManager::sharedManager().loadFromPreferencesWithCompletionHandler(
            [done](OptionalError) { done(); });
    });
}

/** Asks for a frame and waits until it has been drawn. */
bool nextFrame(QQuickWindow *window) {
    return runUntil([window](std::function<void()> done) {
        auto *connection = new QMetaObject::Connection;
        *connection = QObject::connect(window, &QQuickWindow::frameSwapped, window, [=] {
            QObject::disconnect(*connection);
            delete connection;
            done();
        });
        window->update();
    });
}

/** Moves animations on by one 16 ms step per drawn frame instead of by the clock, so the tool
    draws every step and knows when the last animation has finished. */
class FrameStepDriver : public QAnimationDriver {
public:
    qint64 elapsed() const override { return m_elapsed; }
    void step() { // NOLINT(bugprone-virtual-near-miss): one frame on, not QAnimationDriver::stop()
        m_elapsed += 16;
        advance();
    }

private:
    qint64 m_elapsed = 0;
};

/** The window once the change just made has been drawn and every animation it started is over. */
QImage settledFrame(QQuickWindow *window, FrameStepDriver &driver) {
    bool drawn = nextFrame(window); // lays out the change, which starts its animations
    for (int i = 0; drawn && i < 1000; ++i) {
        // Animations start the driver through queued calls, up to two hops away.
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::sendPostedEvents();
        if (!driver.isRunning())
            break;
        driver.step();
        drawn = nextFrame(window);
    }
    return drawn ? window->grabWindow() : QImage();
}
} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QUICK_BACKEND", "software");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char *variable :
         {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const QString path = home.path() + u'/' + QString::fromLatin1(variable);
        QDir().mkpath(path);
        qputenv(variable, path.toUtf8());
    }
    installAppIdentity();
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(u"Basic"_s);
    FrameStepDriver animations;
    animations.install();
    const QString out = app.arguments().value(1, u"docs/screenshots"_s);
    QDir().mkpath(out);

    // The once-per-version sheets have been seen: the pictures show the screens themselves.
    QSettings settings;
    settings.setValue(ReviewPrompt::appReviewVersionKey, QStringLiteral(QUELLNET_VERSION));
    settings.setValue(ReviewPrompt::promotedAppVersionKey, QStringLiteral(QUELLNET_VERSION));
    settings.sync();

    BlocklistStore store(home.path() + u"/XDG_DATA_HOME/domains.sqlite"_s);
    for (const QString &name :
         {u"doubleclick.net"_s, u"tracker.example.com"_s, u"ads.example.org"_s})
        store.insert(std::make_shared<Domain>(name, QUuid::createUuid()));
    store.save();

    ScenePhaseSource phase;
    AppView appView(&store, &phase,
                    AppServices{.dnsSettings = &NEDNSSettingsManager::sharedManager(),
                                .requestReview = RequestReviewAction(),
                                .promoteApp = &AppCatalogue::promoteRandomApp});
    // Light or dark as the tool says, whatever the desktop it runs on prefers.
    Appearance appearance;
    AppearanceForeign::setInstance(&appearance);
    QQmlApplicationEngine engine;
    engine.addImportPath(u"qrc:/qt/qml"_s);
    engine.setInitialProperties({{u"appView"_s, QVariant::fromValue(&appView)}});
    engine.load(QUrl(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s));
    auto *window = engine.rootObjects().isEmpty()
                       ? nullptr
                       : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window || !nextFrame(window))
        return 1;

    struct Shot {
        QSize size;
        bool dark;
        QList<int> tabs;
        const char *prefix;
    };
    const QList<int> allTabs{AppView::instructions, AppView::domains, AppView::status,
                             AppView::settings};
    const Shot shots[] = {{QSize(390, 844), false, allTabs, ""},
                          {QSize(390, 844), true, allTabs, ""},
                          {QSize(1100, 720), false, {AppView::domains}, "desktop-"},
                          {QSize(1100, 720), true, {AppView::domains}, "desktop-"}};
    const char *names[] = {"instructions", "domains", "status", "settings"};
    for (const Shot &shot : shots) {
        appearance.setPortalColorScheme(shot.dark ? Appearance::preferDark
                                                  : Appearance::preferLight);
        window->resize(shot.size);
        for (const int tab : shot.tabs) {
            appView.select(tab);
            if (!settle())
                return 1;
            const QString file = out + u'/' + QString::fromLatin1(shot.prefix) +
                                 QString::fromLatin1(names[tab]) +
                                 (shot.dark ? u"-dark.png"_s : u".png"_s);
            if (!settledFrame(window, animations).save(file))
                return 1;
            std::printf("%s\n", qPrintable(file));
        }
    }
    return 0;
}
