#include "networkextension/NEDNSSettingsManager.h"

#include "foundation/MainQueue.h"
#include "foundation/NSBundle.h"
#include "foundation/PlatformLog.h"
#include "foundation/SerialQueue.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/EnforcedList.h"

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

OptionalError internalError(const QString &message) {
    return configurationError(NEConfigurationErrorInternal, message);
}

using ReadResult = DNSConfigurationStore::ReadResult;

// Another process changing the same file between our decision and our write makes us decide
// again; this many times in a row means something keeps rewriting it.
constexpr int maximumAttempts = 5;
const QString keptChanging = u"The stored configuration kept changing; nothing was saved."_s;

OptionalError notEnforced(const QString &reason) {
    return configurationError(NEConfigurationErrorNotEnforced,
                              u"This computer cannot enforce the change: %1"_s.arg(reason));
}

bool sameFile(const ReadResult &a, const ReadResult &b) {
    return a.status == b.status && a.bytes == b.bytes;
}

/** After a failed write, the enforced list goes back to what the stored file still says. */
void restoreEnforcement(const ReadResult &stored) {
    if (stored.status != ReadResult::ok || !stored.configuration->enabled)
        return;
    const auto restored = EnforcedList::enforce(*stored.configuration);
    if (!restored.outcome.ok())
        qCWarning(lcPlatformDns).noquote() << "the enforced list no longer matches" << stored.path
                                           << "-" << restored.outcome.message;
}

/** What a load found, carried from the worker to the GUI thread. */
struct Loaded {
    bool enabled = false;
    std::shared_ptr<NEDNSSettings> settings;
    NEOnDemandRuleList onDemandRules;
};

/**
 * Runs `work` on the platform's serial worker, unless the test seam or a missing identifier
 * decides the outcome first; either way the completion is queued to the GUI thread behind every
 * operation started before it. `work` returns the error the completion receives; `apply` runs on
 * the GUI thread just before the completion, for results that change the manager.
 */
template<typename Work>
void runInBackground(Operation operation, QString identifier, Completion completion, Work work,
                     std::function<void()> apply = {}) {
    auto failure = takePendingFailure(operation);
    if (!failure && identifier.isEmpty())
        failure = missingIdentifier;
    runSerially([failure = std::move(failure), completion = std::move(completion),
                 work = std::move(work), apply = std::move(apply)]() mutable {
        OptionalError error = failure ? failure : work();
        dispatchToMain([completion = std::move(completion), error = std::move(error),
                        apply = std::move(apply), decided = failure.has_value()] {
            if (apply && !decided && !error)
                apply();
            complete(completion, error);
        });
    });
}

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
    const Caller caller = Caller::current();
    auto loaded = std::make_shared<Loaded>();
    // Reading needs no lock: every file is replaced whole by a rename.
    auto work = [loaded, identifier = caller.identifier]() -> OptionalError {
        auto result = DNSConfigurationStore().read(identifier);
        switch (result.status) {
        case DNSConfigurationStore::ReadResult::absent:
            return std::nullopt;
        case DNSConfigurationStore::ReadResult::ok:
            loaded->enabled = result.configuration->enabled;
            loaded->settings = std::move(result.configuration->settings);
            loaded->onDemandRules = std::move(result.configuration->onDemandRules);
            return std::nullopt;
        default:
            break;
        }
        qCWarning(lcPlatformDns).noquote() << "load refused:" << result.message();
        return internalError(result.message());
    };
    runInBackground(Operation::load, caller.identifier, std::move(completion), std::move(work),
                    [this, loaded] {
                        m_enabled = loaded->enabled;
                        m_dnsSettings = std::move(loaded->settings);
                        m_onDemandRules = std::move(loaded->onDemandRules);
                    });
}

void NEDNSSettingsManager::saveToPreferencesWithCompletionHandler(Completion completion) {
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

    auto work = [candidate = std::move(candidate)]() mutable -> OptionalError {
        if (!candidate.settings)
            return configurationError(NEConfigurationErrorInvalid, u"No DNS settings to save."_s);
        const DNSConfigurationStore store;
        for (int attempt = 0; attempt < maximumAttempts; ++attempt) {
            // Decided without the lock: enforcing may wait for a person at a prompt.
            const auto stored = store.read(candidate.identifier);
            candidate.enabled = false;
            if (stored.status == ReadResult::ok) {
                if (DNSConfigurationStore::sameContent(*stored.configuration, candidate))
                    return configurationError(NEConfigurationErrorUnchanged,
                                              u"The configuration is unchanged."_s);
                // Only the user switches a configuration on or off; an update keeps the switch.
                candidate.enabled = stored.configuration->enabled;
            }
            if (candidate.enabled) {
                const auto enforcement = EnforcedList::enforce(candidate);
                if (!enforcement.outcome.ok())
                    return notEnforced(enforcement.outcome.message);
            }
            QString message;
            const auto lock = store.lock(&message);
            if (!lock)
                return internalError(message);
            if (!sameFile(stored, store.read(candidate.identifier)))
                continue; // changed meanwhile: decide again
            if (store.write(candidate, &message))
                return std::nullopt;
            if (candidate.enabled)
                restoreEnforcement(stored);
            return internalError(message);
        }
        return internalError(keptChanging);
    };
    runInBackground(Operation::save, caller.identifier, std::move(completion), std::move(work));
}

void NEDNSSettingsManager::removeFromPreferencesWithCompletionHandler(Completion completion) {
    const Caller caller = Caller::current();
    auto work = [identifier = caller.identifier]() -> OptionalError {
        const DNSConfigurationStore store;
        for (int attempt = 0; attempt < maximumAttempts; ++attempt) {
            const auto stored = store.read(identifier);
            const bool on = stored.status == ReadResult::ok && stored.configuration->enabled;
            if (on) {
                const auto released = EnforcedList::release(identifier);
                if (!released.ok())
                    return notEnforced(released.message);
            }
            QString message;
            const auto lock = store.lock(&message);
            if (!lock)
                return internalError(message);
            if (!sameFile(stored, store.read(identifier)))
                continue;
            if (store.remove(identifier, &message))
                return std::nullopt;
            if (on)
                restoreEnforcement(stored);
            return internalError(message);
        }
        return internalError(keptChanging);
    };
    runInBackground(Operation::remove, caller.identifier, std::move(completion), std::move(work));
}
