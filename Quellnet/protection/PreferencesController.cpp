#include "PreferencesController.h"

#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "resolver/DNSSettingsBuilder.h"

#include <QPointer>

PreferencesController::PreferencesController(NEDNSSettingsManager &manager,
                                             DomainListModel *domains, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_domains(domains) {}

std::optional<OutcomeMessage> PreferencesController::saveRowMessage() const {
    const qsizetype count = m_domains ? m_domains->count() : 0;
    const bool enabled = m_state.isDNSEnabled;
    if (count == 0)
        return OutcomeMessage{tr("Blocklist is empty"), QStringLiteral("exclamationmark.circle")};
    if (count >= EntryRules::listCapacity)
        return OutcomeMessage{tr("Blocklist is full"), QStringLiteral("exclamationmark.triangle")};
    if (m_state.saveDNSUnchanged)
        return OutcomeMessage{tr("Preferences already up to date"), QStringLiteral("info.circle")};
    if (m_state.saveDNSError)
        return OutcomeMessage{enabled ? tr("Error updating preferences")
                                      : tr("Error saving preferences"),
                              QStringLiteral("exclamationmark.triangle")};
    if (m_state.saveDNSSuccess)
        return OutcomeMessage{enabled ? tr("Preferences updated!") : tr("Preferences saved!"),
                              QStringLiteral("checkmark")};
    return std::nullopt;
}

std::optional<OutcomeMessage> PreferencesController::removeRowMessage() const {
    if (m_state.dnsSettingsEmpty)
        return OutcomeMessage{tr("No preferences to remove"), QStringLiteral("info.circle")};
    if (m_state.removeDNSError)
        return OutcomeMessage{tr("Error removing preferences"),
                              QStringLiteral("exclamationmark.triangle")};
    if (m_state.removeDNSSuccess)
        return OutcomeMessage{tr("Preferences removed!"), QStringLiteral("checkmark")};
    return std::nullopt;
}

void PreferencesController::loadPreferences() {
    NEDNSSettingsManager &manager = m_manager;
    manager.loadFromPreferencesWithCompletionHandler(
        [self = QPointer(this), &manager](OptionalError error) {
            if (self)
                self->handleLoadResult(error, manager);
        });
}

void PreferencesController::handleLoadResult(const OptionalError &error,
                                             const NEDNSSettingsManager &manager) {
    if (error)
        return;
    update(&PreferencesState::isDNSEnabled, manager.isEnabled());
    if (!manager.dnsSettings())
        update(&PreferencesState::dnsSettingsEmpty, true);
}

void PreferencesController::savePreferences() {
    const QStringList names = m_domains ? m_domains->domainNames() : QStringList();
    saveResolver(makeBlockingResolver(names));
}

void PreferencesController::saveResolver(const Resolver &resolver) {
    NEDNSSettingsManager &manager = m_manager;
    manager.setDnsSettings(makeDNSSettings(resolver.configuration));
    manager.setOnDemandRules(makeOnDemandRules(resolver.onDemandRules));
    manager.saveToPreferencesWithCompletionHandler([self = QPointer(this)](OptionalError error) {
        if (self)
            self->handleSaveResult(error);
    });
}

void PreferencesController::handleSaveResult(const OptionalError &error) {
    if (!error) {
        update(&PreferencesState::saveDNSSuccess, true);
        return;
    }
    if (error->domain == NEConfigurationErrorDomain &&
        error->code == NEConfigurationErrorUnchanged) {
        update(&PreferencesState::saveDNSUnchanged, true);
        return;
    }
    // A configuration the platform would not take must not linger half-applied.
    update(&PreferencesState::saveDNSError, true);
    removePreferences();
}

void PreferencesController::removePreferences() {
    NEDNSSettingsManager &manager = m_manager;
    if (!manager.dnsSettings()) {
        update(&PreferencesState::dnsSettingsEmpty, true);
        return;
    }
    manager.removeFromPreferencesWithCompletionHandler(
        [self = QPointer(this)](OptionalError error) {
            if (self)
                self->handleRemoveResult(error);
        });
}

void PreferencesController::handleRemoveResult(const OptionalError &error) {
    loadPreferences();
    if (error)
        update(&PreferencesState::removeDNSError, true);
    else
        update(&PreferencesState::removeDNSSuccess, true);
}

void PreferencesController::update(bool PreferencesState::*flag, bool value) {
    if (m_state.*flag == value)
        return;
    m_state.*flag = value;
    Q_EMIT stateChanged();
}
