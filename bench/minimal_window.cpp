// The baseline for start-up: the smallest Qt Quick window the same toolkit can show.
#include "screens/FirstFrameReport.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\nWindow { width: 390; height: 844; visible: true }");
    if (engine.rootObjects().isEmpty())
        return 1;
    reportFirstFrameIfAsked(qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst()));
    return app.exec();
}
