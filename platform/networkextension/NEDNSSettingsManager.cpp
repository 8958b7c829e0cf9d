#include "networkextension/NEDNSSettingsManager.h"

#include "foundation/MainQueue.h"
#include "foundation/NSBundle.h"
#include "networkextension/DNSConfigurationStore.h"

#include <QLockFile>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Operation = NEDNSSettingsManager::Operation;
using Completion = NEDNSSettingsManager::Completion;

std::optional<NSError> &pendingFailure(Operation operation) {
    static std::array<std::optional<NSError>, 3> failures;
    return failures[static_cast<std::size_t>(operation)];
}

std::optional<NSError> takePendingFailure(Operation operation) {
    return std::exchange(pendingFailure(operation), std::nullopt);
}

NSError configurationError(qint64 code, const QString &description) {
    return NSError{NEConfigurationErrorDomain, code, description};
}

void complete(const Completion &completion, OptionalError error) {
    if (completion)
        completion(std::move(error));
}

/** Identity of the calling app, taken when the operation is started. */
struct Caller {
    QString identifier;
    QString displayName;

    static Caller current() {
        const NSBundle &bundle = NSBundle::mainBundle();
        return {bundle.bundleIdentifier(), bundle.displayName()};
    }
};

const NSError missingIdentifier =
    configurationError(NEConfigurationErrorInvalid, u"The application has no bundle identifier."_s);

} // namespace

NEDNSSettingsManager &NEDNSSettingsManager::sharedManager() {
    static NEDNSSettingsManager manager;
    return manager;
}

void NEDNSSettingsManager::setDnsSettings(std::shared_ptr<NEDNSSettings> settings) {
    m_dnsSettings = std::move(settings);
}

void NEDNSSettingsManager::setOnDemandRules(NEOnDemandRuleList rules) {
    m_onDemandRules = std::move(rules);
}

void NEDNSSettingsManager::failNextOperationForTesting(Operation operation, NSError error) {
    pendingFailure(operation) = std::move(error);
}

void NEDNSSettingsManager::loadFromPreferencesWithCompletionHandler(Completion completion) {
    if (auto failure = takePendingFailure(Operation::load)) {
        dispatchToMain([completion, error = *failure] { complete(completion, error); });
        return;
    }
    dispatchToMain([this, completion, caller = Caller::current()] {
        if (caller.identifier.isEmpty())
            return complete(completion, missingIdentifier);
        const DNSConfigurationStore store;
        QString message;
        const auto lock = store.lock(&message);
        if (!lock)
            return complete(completion, configurationError(NEConfigurationErrorInternal, message));
        auto result = store.read(caller.identifier);
        switch (result.status) {
        case DNSConfigurationStore::ReadResult::absent:
            m_enabled = false;
            m_dnsSettings.reset();
            m_onDemandRules.clear();
            return complete(completion, std::nullopt);
        case DNSConfigurationStore::ReadResult::ok:
            m_enabled = result.configuration->enabled;
            m_dnsSettings = std::move(result.configuration->settings);
            m_onDemandRules = std::move(result.configuration->onDemandRules);
            return complete(completion, std::nullopt);
        case DNSConfigurationStore::ReadResult::damaged:
        case DNSConfigurationStore::ReadResult::failed:
            return complete(completion,
                            configurationError(NEConfigurationErrorInternal, result.message));
        }
    });
}

void NEDNSSettingsManager::saveToPreferencesWithCompletionHandler(Completion completion) {
    if (auto failure = takePendingFailure(Operation::save)) {
        dispatchToMain([completion, error = *failure] { complete(completion, error); });
        return;
    }
    // Copied now: what the caller changes after this call is not what it asked to save.
    const Caller caller = Caller::current();
    DNSConfiguration candidate;
    candidate.identifier = caller.identifier;
    candidate.displayName = caller.displayName;
    if (m_dnsSettings)
        candidate.settings = m_dnsSettings->copy();
    for (const auto &rule : m_onDemandRules) {
        if (rule)
            candidate.onDemandRules.append(rule->copy());
    }

    dispatchToMain([completion, candidate = std::move(candidate)]() mutable {
        if (candidate.identifier.isEmpty())
            return complete(completion, missingIdentifier);
        if (!candidate.settings)
            return complete(completion, configurationError(NEConfigurationErrorInvalid,
                                                           u"No DNS settings to save."_s));
        const DNSConfigurationStore store;
        QString message;
        const auto lock = store.lock(&message);
        if (!lock)
            return complete(completion, configurationError(NEConfigurationErrorInternal, message));
        const auto stored = store.read(candidate.identifier);
        if (stored.status == DNSConfigurationStore::ReadResult::failed)
            return complete(completion,
                            configurationError(NEConfigurationErrorInternal, stored.message));
        if (stored.status == DNSConfigurationStore::ReadResult::ok) {
            if (DNSConfigurationStore::sameContent(*stored.configuration, candidate))
                return complete(completion,
                                configurationError(NEConfigurationErrorUnchanged,
                                                   u"The configuration is unchanged."_s));
            // Only the user switches a configuration on or off; an update keeps the switch.
            candidate.enabled = stored.configuration->enabled;
        }
        if (!store.write(candidate, &message))
            return complete(completion, configurationError(NEConfigurationErrorInternal, message));
        complete(completion, std::nullopt);
    });
}

void NEDNSSettingsManager::removeFromPreferencesWithCompletionHandler(Completion completion) {
    if (auto failure = takePendingFailure(Operation::remove)) {
        dispatchToMain([completion, error = *failure] { complete(completion, error); });
        return;
    }
    dispatchToMain([completion, caller = Caller::current()] {
        if (caller.identifier.isEmpty())
            return complete(completion, missingIdentifier);
        const DNSConfigurationStore store;
        QString message;
        const auto lock = store.lock(&message);
        if (!lock)
            return complete(completion, configurationError(NEConfigurationErrorInternal, message));
        // A damaged file is already moved aside by the read: nothing is stored any more.
        const auto stored = store.read(caller.identifier);
        if (stored.status == DNSConfigurationStore::ReadResult::failed)
            return complete(completion,
                            configurationError(NEConfigurationErrorInternal, stored.message));
        if (stored.status == DNSConfigurationStore::ReadResult::ok &&
            !store.remove(caller.identifier, &message))
            return complete(completion, configurationError(NEConfigurationErrorInternal, message));
        complete(completion, std::nullopt);
    });
}
