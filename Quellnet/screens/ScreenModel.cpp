#include "ScreenModel.h"

ScreenModel::ScreenModel(QString navigationTitle, ScenePhaseSource *scenePhase, QObject *parent)
    : QObject(parent)
    , m_navigationTitle(std::move(navigationTitle))
    , m_scenePhase(scenePhase)
{
    if (m_scenePhase)
        connect(m_scenePhase, &ScenePhaseSource::phaseChanged, this,
                [this](ScenePhase phase) { scenePhaseChanged(phase); });
}

Screen::Content ScreenModel::content() const { return {m_navigationTitle, sections()}; }

void ScreenModel::refresh() { m_rows.apply(sections()); }
