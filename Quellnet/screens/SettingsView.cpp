#include "SettingsView.h"

#include "AppStoreView/MoreApps.h"
#include "blocklist/DomainListModel.h"
#include "protection/PreferencesController.h"

using namespace Qt::StringLiterals;
using namespace Screen;

SettingsView::SettingsView(NEDNSSettingsManager &manager, DomainListModel *domains,
                           ScenePhaseSource *scenePhase, QObject *parent)
    : ScreenModel(tr("Settings"), scenePhase, parent)
    , m_controller(new PreferencesController(manager, domains, this)) {
    connect(m_controller, &PreferencesController::stateChanged, this, &SettingsView::refresh);
    // The guards read the record count: the first record or the 200th changes the save row.
    connect(domains, &DomainListModel::countChanged, this, &SettingsView::refresh);
    refresh();
}

void SettingsView::appear() {
    m_controller->loadPreferences();
}

void SettingsView::activate(const QString &key) {
    if (!offersButton(key))
        return;
    if (key == saveButtonKey)
        m_controller->savePreferences();
    else if (key == removeButtonKey)
        m_controller->removePreferences();
    else if (key == MoreApps::rowKey)
        MoreApps::presentFeaturedApp();
}

QList<Section> SettingsView::sections() const {
    Row save;
    if (const auto message = m_controller->saveRowMessage()) {
        save = label(saveMessageKey, message->text, message->systemImage);
    } else {
        save = m_controller->state().isDNSEnabled
                   ? button(saveButtonKey, tr("Update preferences"),
                            u"arrow.trianglehead.2.clockwise"_s, ButtonStyle::plain)
                   : button(saveButtonKey, tr("Save preferences"), u"square.and.arrow.down"_s,
                            ButtonStyle::plain);
        save.tint = Tint::teal;
    }

    Row remove;
    if (const auto message = m_controller->removeRowMessage()) {
        remove = label(removeMessageKey, message->text, message->systemImage);
    } else {
        remove = button(removeButtonKey, tr("Remove preferences"), u"trash"_s, ButtonStyle::plain);
        remove.tint = Tint::red;
    }

    return {
        {tr("Network Settings"), {save, remove}},
        {tr("More Apps"), {featuredAppRow()}},
    };
}

void SettingsView::scenePhaseChanged(ScenePhase phase) {
    if (phase == ScenePhase::active)
        m_controller->loadPreferences();
}
