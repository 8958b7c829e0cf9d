// The baselines for start-up: the smallest Qt Quick window the same toolkit can show and, as
// context, the same window with one line of text (which sets up the fonts every app with text
// pays for) and a QtQuick.Controls ApplicationWindow in the Basic style.
#include "app/FirstFrameReport.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>

int main(int argc, char **argv) {
    markStartupPhase("main");
    const QByteArray kind = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (kind == "controls")
        qputenv("QT_QUICK_CONTROLS_STYLE", "Basic"); // no QQuickStyle: the plain window stays plain
    QGuiApplication app(argc, argv);
    markStartupPhase("gui-application");
    QQmlApplicationEngine engine;
    if (kind == "text")
        engine.loadData("import QtQuick\nWindow { width: 390; height: 844; visible: true\n"
                        "Text { text: \"Instructions\"; font.pixelSize: 17 } }");
    else if (kind == "controls")
        engine.loadData("import QtQuick\nimport QtQuick.Controls\n"
                        "ApplicationWindow { width: 390; height: 844; visible: true }");
    else
        engine.loadData("import QtQuick\nWindow { width: 390; height: 844; visible: true }");
    markStartupPhase("qml-created");
    if (engine.rootObjects().isEmpty())
        return 1;
    reportFirstFrameIfAsked(qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst()));
    return app.exec();
}
