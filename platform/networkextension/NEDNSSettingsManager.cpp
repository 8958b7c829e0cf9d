#include "networkextension/NEDNSSettingsManager.h"

#include "foundation/MainQueue.h"
#include "foundation/NSBundle.h"
#include "foundation/PlatformLog.h"
#include "foundation/SerialQueue.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/DeviceDNSSettings.h"
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

OptionalError notEnforced(const QString &reason) {
    return configurationError(NEConfigurationErrorNotEnforced,
                              u"This computer cannot enforce the change: %1"_s.arg(reason));
}

/** The error a completion gets for what the transaction did. */
OptionalError errorOf(const DNSChangeResult &result) {
    switch (result.status) {
    case DNSChangeResult::done:
        return std::nullopt;
    case DNSChangeResult::unchanged:
        return configurationError(NEConfigurationErrorUnchanged,
                                  u"The configuration is unchanged."_s);
    case DNSChangeResult::refused:
        return configurationError(NEConfigurationErrorInvalid, result.message);
    case DNSChangeResult::cancelled:
    case DNSChangeResult::notEnforced:
        return notEnforced(result.message);
    case DNSChangeResult::failed:
        break;
    }
    return internalError(result.message);
}

DNSConfigurationStore storeAt(const QString &platformRoot) {
    return platformRoot.isEmpty() ? DNSConfigurationStore() : DNSConfigurationStore(platformRoot);
}

/**
 * An interrupted change (a killed save or switch) can leave this computer's list out of step
 * with a stored configuration: blocking while it is Off, or missing or stale while it is On.
 * Every writer brings it back in the direction the stored switch says.
 */
void bringIntoStep(DNSChange &change, const DNSSnapshot &snapshot, const DNSConfiguration &stored) {
    if (stored.enabled && !EnforcedList::matches(snapshot.list, stored))
        change.enforce = stored;
    else if (!stored.enabled && snapshot.listIsMineFor(stored.identifier))
        change.release = {stored.identifier};
}

DNSChange::File fileChange(DNSChange::File::Kind kind, DNSConfiguration configuration) {
    DNSChange::File file;
    file.kind = kind;
    file.configuration = std::move(configuration);
    return file;
}

DNSChange saveDecision(const DNSConfigurationStore &store, const DNSSnapshot &snapshot,
                       DNSConfiguration &candidate) {
    DNSChange change;
    const ReadResult stored = snapshot.slot(store, candidate.identifier);
    candidate.enabled = false;
    if (stored.status == ReadResult::ok) {
        // Only the user switches a configuration on or off; an update keeps the switch.
        candidate.enabled = stored.configuration->enabled;
        if (DNSConfigurationStore::sameContent(*stored.configuration, candidate)) {
            // Nothing to store; whether the list could be brought back into step does not
            // change that verdict (a load reports whether it is in force).
            change.verdict = DNSChange::Verdict::unchanged;
            change.listMustFollow = false;
            bringIntoStep(change, snapshot, *stored.configuration);
            return change;
        }
    }
    if (candidate.enabled) {
        // The new names are blocked before the file says so, or neither changes.
        change.enforce = candidate;
    } else if (snapshot.listIsMineFor(candidate.identifier)) {
        // Off, yet its list still blocks: released, though the save does not depend on it.
        change.release = {candidate.identifier};
        change.listMustFollow = false;
    }
    change.files.append(fileChange(DNSChange::File::Kind::write, candidate));
    return change;
}

DNSChange removeDecision(const DNSConfigurationStore &store, const DNSSnapshot &snapshot,
                         const QString &identifier) {
    DNSChange change;
    const ReadResult stored = snapshot.slot(store, identifier);
    const bool on = stored.status == ReadResult::ok && stored.configuration->enabled;
    // A list of this app stays blocking only while a stored switch says On: never after this.
    if (on || snapshot.listIsMineFor(identifier))
        change.release = {identifier};
    DNSConfiguration removed;
    removed.identifier = identifier;
    change.files.append(fileChange(DNSChange::File::Kind::remove, removed));
    return change;
}

/** Switched on, and its list is what this computer enforces for this account now. */
bool inForceHere(const DNSConfiguration &configuration) {
    return configuration.enabled &&
           DeviceDNSSettings::stateOf(configuration, EnforcedList::inForce(),
                                      EnforcedList::installation()) ==
               DeviceDNSSettings::State::blocking;
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

NEDNSSettingsManager::NEDNSSettingsManager(QString platformRoot)
    : m_platformRoot(std::move(platformRoot)) {}

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
    auto work = [loaded, identifier = caller.identifier, root = m_platformRoot]() -> OptionalError {
        auto result = storeAt(root).read(identifier);
        switch (result.status) {
        case DNSConfigurationStore::ReadResult::absent:
            return std::nullopt;
        case DNSConfigurationStore::ReadResult::ok:
            // Reported on only when it blocks here: a stored switch alone protects nothing.
            loaded->enabled = inForceHere(*result.configuration);
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
                    [this, alive = std::weak_ptr<int>(m_lifetime), loaded] {
                        if (alive.expired())
                            return; // a test's own manager, gone before the answer
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

    auto work = [candidate = std::move(candidate),
                 root = m_platformRoot]() mutable -> OptionalError {
        if (!candidate.settings)
            return configurationError(NEConfigurationErrorInvalid, u"No DNS settings to save."_s);
        const DNSConfigurationStore store = storeAt(root);
        return errorOf(changeDnsConfigurations(store, [&](const DNSSnapshot &snapshot) {
            return saveDecision(store, snapshot, candidate);
        }));
    };
    runInBackground(Operation::save, caller.identifier, std::move(completion), std::move(work));
}

void NEDNSSettingsManager::removeFromPreferencesWithCompletionHandler(Completion completion) {
    const Caller caller = Caller::current();
    auto work = [identifier = caller.identifier, root = m_platformRoot]() -> OptionalError {
        const DNSConfigurationStore store = storeAt(root);
        return errorOf(changeDnsConfigurations(store, [&](const DNSSnapshot &snapshot) {
            return removeDecision(store, snapshot, identifier);
        }));
    };
    runInBackground(Operation::remove, caller.identifier, std::move(completion), std::move(work));
}
