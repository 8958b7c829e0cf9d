#pragma once

// A QML window loaded offscreen for a test that fails on any warning: load() starts gathering
// every message above debug, takeWarnings() hands them over.

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTest>

struct QmlWindow {
    QQmlApplicationEngine *engine = nullptr;
    QQuickWindow *window = nullptr;
    static inline QStringList warnings;

    /** True once the window of `url` is up and active. */
    bool load(QObject *owner, const QString &url, const QVariantMap &properties) {
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &m) {
            if (type != QtDebugMsg && type != QtInfoMsg)
                warnings << m;
        });
        engine = new QQmlApplicationEngine(owner);
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        engine->setInitialProperties(properties);
        engine->load(QUrl(url));
        window = qobject_cast<QQuickWindow *>(engine->rootObjects().value(0));
        if (window)
            window->requestActivate();
        return window && QTest::qWaitForWindowActive(window);
    }
    void unload() {
        delete engine; // the window goes before the models it draws
        qInstallMessageHandler(nullptr);
    }
    static QString takeWarnings() { return std::exchange(warnings, {}).join(u'\n'); }
};
