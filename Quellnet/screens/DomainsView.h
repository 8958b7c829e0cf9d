#pragma once

#include "screens/ScreenModel.h"

class BlocklistStore;

/** The Domains tab: the blocklist with its add field, suggestions, search and deletion. */
class DomainsView : public ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the app")
public:
    DomainsView(BlocklistStore *store, ScenePhaseSource *scenePhase, QObject *parent = nullptr);

protected:
    QList<Screen::Section> sections() const override;

private:
    BlocklistStore *m_store;
};
