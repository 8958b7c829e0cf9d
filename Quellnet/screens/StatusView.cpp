#include "StatusView.h"

#include "AppStoreView/MoreApps.h"
#include "protection/ProtectionStatus.h"

using namespace Qt::StringLiterals;

StatusView::StatusView(NEDNSSettingsManager &manager, ScenePhaseSource *scenePhase, QObject *parent)
    : ScreenModel(tr("Status"), scenePhase, parent)
    , m_manager(manager) {
    refresh();
}

void StatusView::appear() {
    refreshStatus();
}

void StatusView::activate(const QString &key) {
    if (key == MoreApps::rowKey && offersButton(key))
        MoreApps::presentFeaturedApp();
}

QList<Screen::Section> StatusView::sections() const {
    const Screen::Row status =
        m_isDNSEnabled
            ? Screen::label(statusRowKey, tr("DNS protection is enabled"), u"checkmark"_s)
            : Screen::label(statusRowKey, tr("DNS protection is disabled"), u"xmark"_s);
    return {
        {tr("Network Status"), {status}},
        {tr("More Apps"), {featuredAppRow()}},
    };
}

void StatusView::scenePhaseChanged(ScenePhase phase) {
    // The user may have switched the configuration in the system settings meanwhile.
    if (phase == ScenePhase::active)
        refreshStatus();
}

void StatusView::refreshStatus() {
    refreshProtectionStatus(m_manager, this, [this](bool enabled) { setDNSEnabled(enabled); });
}

void StatusView::setDNSEnabled(bool enabled) {
    if (enabled == m_isDNSEnabled)
        return;
    m_isDNSEnabled = enabled;
    refresh();
    Q_EMIT isDNSEnabledChanged();
}
