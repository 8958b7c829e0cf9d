// Takes a phone-sized PNG of every tab of the real window, drawn offscreen over a few sample
// records, for the README: quellnet_screenshots <output folder>.
#include "TestEnvironment.h"

#include "blocklist/BlocklistStore.h"
#include "blocklist/Domain.h"
#include "foundation/NSBundle.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "screens/AppView.h"
#include "screens/ReviewPrompt.h"
#include "screens/ScenePhase.h"

#include <QDir>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(QuellnetPlugin)

using namespace Qt::StringLiterals;

namespace {
/** Waits until every platform answer asked for so far has arrived. */
bool settle()
{
    bool done = false;
    NEDNSSettingsManager::sharedManager().loadFromPreferencesWithCompletionHandler(
        [&done](OptionalError) { done = true; });
    return QTest::qWaitFor([&done] { return done; });
}

/** Grabs until two frames in a row agree, so row animations have finished. */
QImage stableFrame(QQuickWindow *window)
{
    QImage previous = window->grabWindow();
    for (int i = 0; i < 100; ++i) {
        QTest::qWait(50); // a tool, not a test: let animation frames run
        QImage next = window->grabWindow();
        if (next == previous)
            return next;
        previous = std::move(next);
    }
    return previous;
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QUICK_BACKEND", "software");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TestEnvironment env;
    NSBundle::mainBundle().setInfoDictionary(QVariantMap{
        {u"CFBundleIdentifier"_s, u"net.quellnet.Quellnet"_s},
        {u"CFBundleDisplayName"_s, u"Quellnet"_s},
        {u"CFBundleShortVersionString"_s, QStringLiteral(QUELLNET_VERSION)},
    });
    QCoreApplication::setOrganizationName(u"Quellnet"_s);
    QCoreApplication::setApplicationName(u"Quellnet"_s);
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(u"Basic"_s);
    const QString out = app.arguments().value(1, u"docs/screenshots"_s);
    QDir().mkpath(out);

    // The once-per-version sheets have been seen: the pictures show the screens themselves.
    QSettings settings;
    settings.setValue(ReviewPrompt::appReviewVersionKey, QStringLiteral(QUELLNET_VERSION));
    settings.setValue(ReviewPrompt::promotedAppVersionKey, QStringLiteral(QUELLNET_VERSION));
    settings.sync();

    BlocklistStore store(env.dataHome() + u"/domains.sqlite"_s);
    for (const QString &name : {u"doubleclick.net"_s, u"tracker.example.com"_s, u"ads.example.org"_s})
        store.insert(std::make_shared<Domain>(name, QUuid::createUuid()));
    store.save();

    ScenePhaseSource phase;
    AppView appView(&store, &phase);
    QQmlApplicationEngine engine;
    engine.addImportPath(u"qrc:/qt/qml"_s);
    engine.setInitialProperties({{u"appView"_s, QVariant::fromValue(&appView)}});
    engine.load(QUrl(u"qrc:/qt/qml/Quellnet/qml/Main.qml"_s));
    auto *window = engine.rootObjects().isEmpty()
                       ? nullptr
                       : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window || !QTest::qWaitForWindowExposed(window))
        return 1;

    const char *names[] = {"instructions", "domains", "status", "settings"};
    for (int tab = 0; tab < AppView::tabCount; ++tab) {
        appView.select(tab);
        settle();
        const QString file = out + u'/' + QString::fromLatin1(names[tab]) + u".png"_s;
        if (!stableFrame(window).save(file))
            return 1;
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
