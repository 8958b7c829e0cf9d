#include "ScreenModel.h"

#include "AppStoreView/MoreApps.h"

ScreenModel::ScreenModel(QString navigationTitle, ScenePhaseSource *scenePhase, QObject *parent)
    : QObject(parent)
    , m_navigationTitle(std::move(navigationTitle))
    , m_scenePhase(scenePhase) {
    if (m_scenePhase)
        connect(m_scenePhase, &ScenePhaseSource::phaseChanged, this,
                [this](ScenePhase phase) { scenePhaseChanged(phase); });
}

Screen::Content ScreenModel::content() const {
    return {m_navigationTitle, sections()};
}

void ScreenModel::refresh() {
    m_rows.apply(sections());
}

bool ScreenModel::offersButton(const QString &key) const {
    const int index = m_rows.indexOfKey(key);
    if (index < 0)
        return false;
    const Screen::Row &row = m_rows.rowAt(index);
    return row.kind == Screen::RowKind::button && row.enabled;
}

Screen::Row ScreenModel::featuredAppRow() {
    return Screen::button(MoreApps::rowKey, MoreApps::featuredAppTitle(),
                          QStringLiteral("arrow.down.circle"), Screen::ButtonStyle::plain);
}
