#pragma once

#include "foundation/NSError.h"
#include "resolver/Resolver.h"

#include <QObject>
#include <QString>

#include <optional>

class DomainListModel;
class NEDNSSettingsManager;

/**
 * The Settings screen's state. Every flag but `isDNSEnabled` is a latch: once true it stays
 * true while the state lives, so a row moves from its button to a message and never back.
 */
struct PreferencesState {
    bool dnsSettingsEmpty = false;
    bool isDNSEnabled = false;
    bool removeDNSError = false;
    bool removeDNSSuccess = false;
    bool saveDNSError = false;
    bool saveDNSSuccess = false;
    bool saveDNSUnchanged = false;

    friend bool operator==(const PreferencesState &, const PreferencesState &) = default;
};

/** A one-line outcome shown in place of the button whose operation produced it. */
struct OutcomeMessage {
    QString text;
    QString systemImage;

    friend bool operator==(const OutcomeMessage &, const OutcomeMessage &) = default;
};

/**
 * Saves the blocklist as the system DNS configuration, updates and removes it, and reads back
 * whether one is stored and switched on. It never shows a dialog: each platform outcome sets a
 * flag of the screen's state, and the row messages are chosen from those flags.
 */
class PreferencesController : public QObject {
    Q_OBJECT
public:
    /** `manager` and `domains` must outlive the controller. */
    PreferencesController(NEDNSSettingsManager &manager, DomainListModel *domains,
                          QObject *parent = nullptr);

    const PreferencesState &state() const { return m_state; }

    /** The save row's message, or nothing when the save button is offered. */
    std::optional<OutcomeMessage> saveRowMessage() const;
    /** The remove row's message, or nothing when the remove button is offered. */
    std::optional<OutcomeMessage> removeRowMessage() const;

    void loadPreferences();
    void savePreferences();
    void saveResolver(const Resolver &resolver);
    void removePreferences();

    void handleLoadResult(const OptionalError &error, const NEDNSSettingsManager &manager);
    void handleSaveResult(const OptionalError &error);
    void handleRemoveResult(const OptionalError &error);

Q_SIGNALS:
    void stateChanged();

private:
    void update(bool PreferencesState::*flag, bool value);

    NEDNSSettingsManager &m_manager;
    DomainListModel *m_domains;
    PreferencesState m_state;
};
