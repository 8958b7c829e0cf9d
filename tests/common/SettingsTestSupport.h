#pragma once

// Helpers that check with QVERIFY report into the running test; callers that go on after one
// check QTest::currentTestFailed().

#include "blocklist/BlocklistStore.h"
#include "blocklist/Domain.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/DeviceDNSSettings.h"
#include "networkextension/NEDNSSettings.h"
#include "networkextension/NEDNSSettingsManager.h"

#include <QStringList>
#include <QTest>
#include <QUuid>

#include <memory>

namespace TestSupport {

inline const QString appIdentifier = QStringLiteral("net.quellnet.Quellnet");

/** Every platform answer asked for so far has arrived: completions keep their order. */
inline bool settle(NEDNSSettingsManager &manager = NEDNSSettingsManager::sharedManager()) {
    bool done = false;
    manager.loadFromPreferencesWithCompletionHandler([&done](OptionalError) { done = true; });
    return QTest::qWaitFor([&done] { return done; });
}

inline void addDomains(BlocklistStore &store, const QStringList &names) {
    for (const QString &name : names) {
        store.insert(std::make_shared<Domain>(name, QUuid::createUuid()));
        QVERIFY(!store.save());
    }
}

/** What the user does in the device's Settings: switches the configuration on or off there. */
inline void switchOn(bool on) {
    const auto outcome = DeviceDNSSettings().setEnabled(appIdentifier, on);
    QVERIFY2(outcome.status == DeviceDNSSettings::Outcome::done, qPrintable(outcome.message));
}

} // namespace TestSupport
