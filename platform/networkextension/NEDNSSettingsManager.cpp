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

/**
 * Runs `work` later on the GUI thread with the platform folder locked, unless the test seam,
 * a missing identifier or the lock decides the outcome first. `work` returns the error the
 * completion receives.
 */
template<typename Work>
void runLocked(Operation operation, QString identifier, Completion completion, Work work) {
    if (auto failure = takePendingFailure(operation)) {
        dispatchToMain([completion, error = *failure] { complete(completion, error); });
        return;
    }
    dispatchToMain([identifier = std::move(identifier), completion = std::move(completion),
                    work = std::move(work)]() mutable {
        if (identifier.isEmpty())
            return complete(completion, missingIdentifier);
        const DNSConfigurationStore store;
        QString message;
        const auto lock = store.lock(&message);
        if (!lock)
            return complete(completion, configurationError(NEConfigurationErrorInternal, message));
        complete(completion, work(store));
    });
}

OptionalError internalError(const QString &message) {
    return configurationError(NEConfigurationErrorInternal, message);
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
    runLocked(Operation::load, caller.identifier, std::move(completion),
              [this, identifier = caller.identifier](const DNSConfigurationStore &store) {
                  auto result = store.read(identifier);
                  switch (result.status) {
                  case DNSConfigurationStore::ReadResult::absent:
                      m_enabled = false;
                      m_dnsSettings.reset();
                      m_onDemandRules.clear();
                      return OptionalError();
                  case DNSConfigurationStore::ReadResult::ok:
                      m_enabled = result.configuration->enabled;
                      m_dnsSettings = std::move(result.configuration->settings);
                      m_onDemandRules = std::move(result.configuration->onDemandRules);
                      return OptionalError();
                  case DNSConfigurationStore::ReadResult::damaged:
                  case DNSConfigurationStore::ReadResult::failed:
                      break;
                  }
                  return internalError(result.message);
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

    runLocked(Operation::save, caller.identifier, std::move(completion),
              [candidate = std::move(candidate)](const DNSConfigurationStore &store) mutable {
                  if (!candidate.settings)
                      return OptionalError(configurationError(NEConfigurationErrorInvalid,
                                                              u"No DNS settings to save."_s));
                  const auto stored = store.read(candidate.identifier);
                  if (stored.status == DNSConfigurationStore::ReadResult::failed)
                      return internalError(stored.message);
                  if (stored.status == DNSConfigurationStore::ReadResult::ok) {
                      if (DNSConfigurationStore::sameContent(*stored.configuration, candidate))
                          return OptionalError(configurationError(
                              NEConfigurationErrorUnchanged, u"The configuration is unchanged."_s));
                      // Only the user switches a configuration on or off; an update keeps the
                      // switch.
                      candidate.enabled = stored.configuration->enabled;
                  }
                  QString message;
                  return store.write(candidate, &message) ? OptionalError()
                                                          : internalError(message);
              });
}

void NEDNSSettingsManager::removeFromPreferencesWithCompletionHandler(Completion completion) {
    const Caller caller = Caller::current();
    runLocked(Operation::remove, caller.identifier, std::move(completion),
              [identifier = caller.identifier](const DNSConfigurationStore &store) {
                  // A damaged file is already moved aside by the read: nothing is stored now.
                  const auto stored = store.read(identifier);
                  if (stored.status == DNSConfigurationStore::ReadResult::failed)
                      return internalError(stored.message);
                  QString message;
                  if (stored.status == DNSConfigurationStore::ReadResult::ok &&
                      !store.remove(identifier, &message))
                      return internalError(message);
                  return OptionalError();
              });
}
