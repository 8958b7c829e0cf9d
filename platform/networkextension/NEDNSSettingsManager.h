#pragma once

#include "foundation/NSError.h"
#include "networkextension/NEDNSSettings.h"
#include "networkextension/NEOnDemandRule.h"

#include <functional>
#include <memory>
#include <optional>

/** Error domain of every configuration failure; code 9 means "equal to the stored one". */
inline const QString NEConfigurationErrorDomain = QStringLiteral("NEConfigurationErrorDomain");

enum NEConfigurationErrorCode : qint64 {
    NEConfigurationErrorInvalid = 1,
    NEConfigurationErrorInternal = 6,
    NEConfigurationErrorUnchanged = 9,
    /** This computer could not make the change take effect; nothing stored was changed. */
    NEConfigurationErrorNotEnforced = 10,
};

/**
 * The calling application's system DNS configuration, kept by the platform in its own folder
 * beside every other app's (see DNSConfigurationStore). The manager holds an in-memory snapshot:
 * a load replaces it with what is stored, the setters change it, nothing else does. Every
 * completion runs later on the GUI thread, never inside the call.
 *
 * Saving or removing a configuration that is switched on also changes what this computer
 * blocks (see EnforcedList), before the stored file changes and outside the store's lock; if
 * that fails the stored configuration stays as it was and the completion gets an error with
 * code NEConfigurationErrorNotEnforced. An update that finds the list out of step with the
 * stored switch (an earlier change was interrupted) brings it back into step first.
 */
class NEDNSSettingsManager {
public:
    using Completion = std::function<void(OptionalError)>;

    /** The one process-wide manager for the app named by NSBundle::mainBundle(). */
    static NEDNSSettingsManager &sharedManager();
    /**
     * A manager over the platform folder `platformRoot` (see DNSConfigurationStore), for a
     * test that wants its own. A load that completes after it is gone leaves it alone; the
     * completion still runs.
     */
    explicit NEDNSSettingsManager(QString platformRoot);
    NEDNSSettingsManager(const NEDNSSettingsManager &) = delete;
    NEDNSSettingsManager &operator=(const NEDNSSettingsManager &) = delete;

    void loadFromPreferencesWithCompletionHandler(Completion completion);
    /** Stores the snapshot's settings and rules; never switches the configuration on. */
    void saveToPreferencesWithCompletionHandler(Completion completion);
    /** Deletes the stored configuration (switching it off); leaves the snapshot as it is. */
    void removeFromPreferencesWithCompletionHandler(Completion completion);

    /**
     * True only when the loaded configuration is switched on and this computer enforces it for
     * this account now (see EnforcedList); a stored switch whose list is not in force reads
     * false, and the stored file stays as it is.
     */
    bool isEnabled() const { return m_enabled; }
    const std::shared_ptr<NEDNSSettings> &dnsSettings() const { return m_dnsSettings; }
    void setDnsSettings(std::shared_ptr<NEDNSSettings> settings);
    const NEOnDemandRuleList &onDemandRules() const { return m_onDemandRules; }
    void setOnDemandRules(NEOnDemandRuleList rules);

    /**
     * Test seam, for tests only: the next load, save or remove (whichever is named) completes
     * with `error` and touches neither the store nor the snapshot.
     */
    enum class Operation { load, save, remove };
    static void failNextOperationForTesting(Operation operation, NSError error);

private:
    NEDNSSettingsManager() = default;

    QString m_platformRoot; ///< empty: where the environment says now
    std::shared_ptr<int> m_lifetime = std::make_shared<int>();
    bool m_enabled = false;
    std::shared_ptr<NEDNSSettings> m_dnsSettings;
    NEOnDemandRuleList m_onDemandRules;
};
