#pragma once

#include <QObject>

/** The application's scene phase as screens see it. */
enum class ScenePhase { active, inactive, background };

/**
 * Where screens learn the scene phase. The app feeds it from Qt's application state; tests set
 * it directly. It reports changes only, never the value it starts with.
 */
class ScenePhaseSource : public QObject {
    Q_OBJECT
public:
    explicit ScenePhaseSource(QObject *parent = nullptr);

    /** Qt's active is active, inactive is inactive, hidden and suspended are background. */
    static ScenePhase fromApplicationState(Qt::ApplicationState state);
    /** Follows QGuiApplication's state from now on (needs a QGuiApplication). */
    void followApplicationState();

    ScenePhase phase() const { return m_phase; }
    void setPhase(ScenePhase phase);

Q_SIGNALS:
    void phaseChanged(ScenePhase phase);

private:
    ScenePhase m_phase = ScenePhase::active;
};
