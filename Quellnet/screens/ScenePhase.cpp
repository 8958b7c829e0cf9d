#include "ScenePhase.h"

#include <QGuiApplication>

ScenePhaseSource::ScenePhaseSource(QObject *parent)
    : QObject(parent) {}

ScenePhase ScenePhaseSource::fromApplicationState(Qt::ApplicationState state) {
    switch (state) {
    case Qt::ApplicationActive:
        return ScenePhase::active;
    case Qt::ApplicationInactive:
        return ScenePhase::inactive;
    case Qt::ApplicationHidden:
    case Qt::ApplicationSuspended:
        break;
    }
    return ScenePhase::background;
}

void ScenePhaseSource::followApplicationState() {
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!app)
        return;
    m_phase = fromApplicationState(QGuiApplication::applicationState());
    connect(app, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) { setPhase(fromApplicationState(state)); });
}

void ScenePhaseSource::setPhase(ScenePhase phase) {
    if (phase == m_phase)
        return;
    m_phase = phase;
    Q_EMIT phaseChanged(phase);
}
