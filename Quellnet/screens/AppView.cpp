#include "AppView.h"

#include "blocklist/BlocklistStore.h"
#include "screens/DomainsView.h"
#include "screens/InstructionsView.h"
#include "screens/SettingsView.h"
#include "screens/StatusView.h"

#include <QQmlEngine>

using namespace Qt::StringLiterals;

AppView::AppView(BlocklistStore *store, ScenePhaseSource *scenePhase, AppServices services,
                 QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_scenePhase(scenePhase)
    , m_services(std::move(services)) {
    Q_ASSERT(m_services.dnsSettings);
    connect(store, &BlocklistStore::writeProblemChanged, this, &AppView::storageWarningChanged);
    select(instructions);
}

QVariantList AppView::tabs() const {
    const auto tab = [](const QString &id, const QString &title, const QString &systemImage) {
        return QVariantMap{{u"id"_s, id}, {u"title"_s, title}, {u"systemImage"_s, systemImage}};
    };
    return {
        tab(u"instructions"_s, tr("Instructions"), u"info.circle"_s),
        tab(u"domains"_s, tr("Domains"), u"hand.raised"_s),
        tab(u"status"_s, tr("Status"), u"network"_s),
        tab(u"settings"_s, tr("Settings"), u"gear"_s),
    };
}

QVariantList AppView::screens() const {
    QVariantList out;
    for (ScreenModel *screen : m_screens)
        out << (screen ? QVariant::fromValue<QObject *>(screen) : QVariant());
    return out;
}

ScreenModel *AppView::screen(int tab) const {
    return tab >= 0 && tab < tabCount ? m_screens.at(tab) : nullptr;
}

QString AppView::storageWarning() const {
    const QString problem = m_store->writeProblem();
    if (problem.isEmpty())
        return {};
    return tr("Your blocklist can't be saved: %1. Changes will be lost when Quellnet quits.")
        .arg(problem);
}

void AppView::select(int tab) {
    if (tab < 0 || tab >= tabCount || tab == m_currentIndex)
        return;
    ScreenModel *screen = m_screens.at(tab);
    if (!screen) {
        screen = m_screens.at(tab) = createScreen(tab);
        // The screens are ours; QML only draws them.
        QQmlEngine::setObjectOwnership(screen, QQmlEngine::CppOwnership);
        Q_EMIT screensChanged();
    }
    m_currentIndex = tab;
    Q_EMIT currentIndexChanged();
    screen->appear();
}

ScreenModel *AppView::createScreen(int tab) {
    switch (Tab(tab)) {
    case instructions:
        return new InstructionsView(m_scenePhase, this);
    case domains:
        return new DomainsView(m_store, m_scenePhase,
                               {m_services.requestReview, m_services.promoteApp}, this);
    case status:
        return new StatusView(*m_services.dnsSettings, m_scenePhase, this);
    case settings:
    case tabCount:
        break;
    }
    return new SettingsView(*m_services.dnsSettings, m_store->domains(), m_scenePhase, this);
}
