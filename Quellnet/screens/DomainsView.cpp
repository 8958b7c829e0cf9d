#include "DomainsView.h"

DomainsView::DomainsView(BlocklistStore *store, ScenePhaseSource *scenePhase, QObject *parent)
    : ScreenModel(tr("Domains"), scenePhase, parent)
    , m_store(store)
{
    refresh();
}

QList<Screen::Section> DomainsView::sections() const { return {{tr("Domains"), {}}}; }
