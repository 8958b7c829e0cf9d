#pragma once

// What the tests of concurrent DNS configuration writers share: settings stamped with a
// generation (so a torn or mixed file shows), running a manager operation to its end, and the
// test binary re-invoked as another process that holds the store's lock or saves generations.

#include "foundation/NSBundle.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/NEDNSSettingsManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <array>

namespace TestSupport {

/** `count` match domains that all carry `generation`; "0.0.0.0" is a dead end, so enforced. */
inline std::shared_ptr<NEDNSOverHTTPSSettings>
generationSettings(qint64 generation, int count = 1,
                   const QString &server = QStringLiteral("0.0.0.0")) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{server});
    QStringList domains;
    for (int i = 0; i < count; ++i)
        domains.append(QStringLiteral("g%1-%2.example").arg(generation).arg(i));
    settings->setMatchDomains(domains);
    return settings;
}

/** The generation of a configuration made by generationSettings; -1 if it is torn or foreign. */
inline qint64 generationOf(const DNSConfiguration &configuration) {
    const QStringList domains = configuration.settings->matchDomains().value_or(QStringList());
    const qint64 generation = domains.value(0).mid(1).section(u'-', 0, 0).toLongLong();
    const DNSConfiguration expected{{},
                                    {},
                                    false,
                                    generationSettings(generation, int(domains.size()),
                                                       configuration.settings->servers().value(0)),
                                    {}};
    return DNSConfigurationStore::sameContent(configuration, expected) ? generation : -1;
}

/** The app the manager speaks for. */
inline void setBundle(const QString &identifier) {
    NSBundle::mainBundle().setInfoDictionary(
        QVariantMap{{QStringLiteral("CFBundleIdentifier"), identifier},
                    {QStringLiteral("CFBundleDisplayName"), QStringLiteral("Quellnet")}});
}

/** Runs one manager operation to its completion. */
inline OptionalError run(NEDNSSettingsManager::Operation operation) {
    static const std::array calls{
        &NEDNSSettingsManager::loadFromPreferencesWithCompletionHandler,
        &NEDNSSettingsManager::saveToPreferencesWithCompletionHandler,
        &NEDNSSettingsManager::removeFromPreferencesWithCompletionHandler};
    std::optional<OptionalError> result;
    (NEDNSSettingsManager::sharedManager().*
     calls[int(operation)])([&](OptionalError error) { result = std::move(error); });
    while (!result)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return *result;
}

/** Saves generations first..first+count-1 for each app in turn; false at the first failure. */
inline bool saveGenerations(qint64 first, int count, const QStringList &identifiers) {
    for (qint64 g = first; g < first + count; ++g) {
        for (const QString &identifier : identifiers) {
            setBundle(identifier);
            NEDNSSettingsManager::sharedManager().setDnsSettings(generationSettings(g));
            if (run(NEDNSSettingsManager::Operation::save))
                return false;
        }
    }
    return true;
}

/**
 * The child side of the re-invoked test binary: "hold-lock" takes the store's lock, says
 * "locked" and holds it until its stdin ends; "save FIRST COUNT APP..." runs saveGenerations.
 * nullopt when the arguments name no child, so main() runs the tests.
 */
inline std::optional<int> runChild(const QStringList &arguments) {
    if (arguments.value(1) == u"hold-lock") {
        QString error;
        const auto lock = DNSConfigurationStore().lock(&error);
        QFile in;
        if (!lock || !in.open(stdin, QIODevice::ReadOnly))
            return 1;
        QTextStream(stdout) << "locked" << Qt::endl;
        in.readAll();
        return 0;
    }
    if (arguments.value(1) == u"save")
        return saveGenerations(arguments.value(2).toLongLong(), arguments.value(3).toInt(),
                               arguments.mid(4))
                   ? 0
                   : 1;
    return std::nullopt;
}

/** Another process holding the store's lock until release() or until it is killed. */
class LockHolder {
public:
    bool start() {
        process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("hold-lock")});
        return process.waitForReadyRead(30'000) && process.readLine() == "locked\n";
    }
    void release() { process.closeWriteChannel(); }
    QProcess process;
};

} // namespace TestSupport
