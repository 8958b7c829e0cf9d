#include "networkextension/DeviceDNSSettings.h"

#include "foundation/PlatformLog.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

using ReadResult = DNSConfigurationStore::ReadResult;

// Another process changing a file between our decision and our write makes us decide again;
// this many times in a row means something keeps rewriting it.
constexpr int maximumAttempts = 5;

/** The same files with the same bytes: nothing changed between our decision and the lock. */
bool sameEntries(const QList<ReadResult> &a, const QList<ReadResult> &b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].path != b[i].path || a[i].status != b[i].status || a[i].bytes != b[i].bytes)
            return false;
    }
    return true;
}

DNSChangeResult resultOf(DNSChangeResult::Status status, const QString &message) {
    DNSChangeResult result;
    result.status = status;
    result.message = message;
    return result;
}

/** A list action that failed: a dismissed prompt is told apart from a refusal. */
DNSChangeResult listFailure(const EnforcedList::Outcome &outcome, const QString &app) {
    DNSChangeResult result =
        resultOf(outcome.status == EnforcedList::Outcome::cancelled ? DNSChangeResult::cancelled
                                                                    : DNSChangeResult::notEnforced,
                 outcome.message);
    result.failedApp = app;
    return result;
}

/** After a failed write, the list goes back to what the stored files still say. */
void restoreList(const DNSConfigurationStore &store, const DNSChange &change,
                 QStringList *warnings) {
    const auto entries = store.readAll(nullptr);
    const DNSConfiguration *on = nullptr;
    for (const auto &entry : entries.value_or(QList<ReadResult>())) {
        if (entry.configuration && entry.configuration->enabled)
            on = &*entry.configuration;
    }
    QStringList apps = change.release;
    if (change.enforce)
        apps.append(change.enforce->identifier);
    QList<EnforcedList::Outcome> outcomes;
    if (on)
        outcomes.append(EnforcedList::enforce(*on).outcome);
    else
        for (const QString &app : std::as_const(apps))
            outcomes.append(EnforcedList::release(app));
    for (const auto &outcome : std::as_const(outcomes)) {
        if (outcome.ok())
            continue;
        qCWarning(lcPlatformDns).noquote()
            << "the enforced list no longer matches the stored configurations:" << outcome.message;
        warnings->append(DeviceDNSSettings::tr(
                             "the enforced list no longer matches the stored configurations: ") +
                         outcome.message);
    }
}

QString keptChanging() {
    return DeviceDNSSettings::tr("the DNS configurations kept changing; nothing was switched");
}

bool applyFile(const DNSConfigurationStore &store, const DNSChange::File &file, QString *error) {
    using Kind = DNSChange::File::Kind;
    switch (file.kind) {
    case Kind::write:
        return store.write(file.configuration, error);
    case Kind::remove:
        return store.remove(file.configuration.identifier, error);
    case Kind::setEnabled:
        return store.setEnabled(file.configuration.identifier, file.configuration.enabled, error);
    case Kind::note:
        return true;
    }
    return false;
}

} // namespace

ReadResult DNSSnapshot::slot(const DNSConfigurationStore &store, const QString &identifier) const {
    const QString path = store.filePath(identifier);
    for (const auto &entry : entries) {
        if (entry.path == path)
            return entry;
    }
    ReadResult absent;
    absent.path = path;
    return absent;
}

bool DNSSnapshot::listIsMineFor(const QString &identifier) const {
    return list.isMine() && list.app == identifier;
}

DNSChangeResult changeDnsConfigurations(const DNSConfigurationStore &store,
                                        const DNSDecision &decide) {
    if (!store.isAvailable())
        return resultOf(DNSChangeResult::failed, store.unavailableReason());
    QString error;
    std::unique_ptr<DNSConfigurationStore::Lock> enforcing;
    for (int attempt = 0; attempt < maximumAttempts; ++attempt) {
        DNSSnapshot snapshot;
        auto entries = store.readAll(&error);
        if (!entries)
            return resultOf(DNSChangeResult::failed, error);
        snapshot.entries = std::move(*entries);
        snapshot.list = EnforcedList::inForce();
        const DNSChange change = decide(snapshot);
        DNSChangeResult result;
        result.warnings = change.warnings;
        if (change.verdict == DNSChange::Verdict::refused) {
            result.status = DNSChangeResult::refused;
            result.message = change.message;
            return result;
        }
        const bool writes =
            std::any_of(change.files.begin(), change.files.end(),
                        [](const auto &f) { return f.kind != DNSChange::File::Kind::note; });
        if (!writes && !change.touchesList()) {
            // Nothing to do: take no lock, so nothing is created either.
            result.status = change.verdict == DNSChange::Verdict::unchanged
                                ? DNSChangeResult::unchanged
                                : DNSChangeResult::done;
            result.message = change.message;
            for (const auto &file : change.files)
                result.report.append(file.report);
            return result;
        }
        if (change.touchesList() && !enforcing) {
            enforcing = store.enforcementLock(&error);
            if (!enforcing)
                return resultOf(DNSChangeResult::failed, error);
            continue; // decide again now that no other enforcing writer can interleave
        }

        // This computer follows first, without the store's lock: it may ask for a password.
        const auto listFailed = [&](const EnforcedList::Outcome &outcome) {
            if (change.listMustFollow)
                return true;
            qCWarning(lcPlatformDns).noquote()
                << "the enforced list was not brought back into step:" << outcome.message;
            result.warnings.append(outcome.message);
            return false;
        };
        if (change.enforce) {
            result.enforcement = EnforcedList::enforce(*change.enforce);
            if (!result.enforcement.outcome.ok() && listFailed(result.enforcement.outcome)) {
                auto failure = listFailure(result.enforcement.outcome, change.enforce->identifier);
                failure.warnings = result.warnings;
                return failure;
            }
        }
        for (const QString &app : change.release) {
            const auto released = EnforcedList::release(app);
            if (!released.ok() && listFailed(released)) {
                auto failure = listFailure(released, app);
                failure.warnings = result.warnings;
                return failure;
            }
        }

        // The list has followed; if the files cannot, it goes back to what they still say.
        const auto giveUp = [&](const QString &message) {
            if (change.touchesList())
                restoreList(store, change, &result.warnings);
            result.status = DNSChangeResult::failed;
            result.message = message;
            return result;
        };
        const auto lock = store.lock(&error);
        if (!lock)
            return giveUp(error);
        const auto again = store.readAll(&error);
        if (!again)
            return giveUp(error);
        if (!sameEntries(snapshot.entries, *again)) {
            if (attempt + 1 == maximumAttempts)
                return giveUp(keptChanging());
            continue; // changed meanwhile: decide again, and the list follows that decision
        }

        for (const auto &file : change.files) {
            if (!applyFile(store, file, &error))
                return giveUp(error);
            if (!file.report.isEmpty())
                result.report.append(file.report);
        }
        result.status = change.verdict == DNSChange::Verdict::unchanged ? DNSChangeResult::unchanged
                                                                        : DNSChangeResult::done;
        result.message = change.message;
        return result;
    }
    return resultOf(DNSChangeResult::failed, keptChanging());
}

// --- the words ---------------------------------------------------------------------------

QString DeviceDNSSettings::printable(const QString &text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            shown += c;
            shown += text.at(++i);
            continue;
        }
        const char16_t u = c.unicode();
        if (u == u'\\')
            shown += u"\\\\"_s;
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            shown += u"\\x%1"_s.arg(uint(u), 2, 16, QChar(u'0'));
        // Bidirectional overrides, zero-width characters, line separators and lone surrogates
        // can make one text look like another.
        else if (c.isSurrogate() || c.category() == QChar::Other_Format ||
                 c.category() == QChar::Separator_Line ||
                 c.category() == QChar::Separator_Paragraph)
            shown += u"\\u{%1}"_s.arg(uint(u), 4, 16, QChar(u'0'));
        else
            shown += c;
    }
    return shown;
}

QString DeviceDNSSettings::label(const DNSConfiguration &configuration) {
    return u"%1 (%2)"_s.arg(printable(configuration.displayName),
                            printable(configuration.identifier));
}

QString DeviceDNSSettings::onOff(bool on) {
    return on ? tr("On") : tr("Off");
}

QString DeviceDNSSettings::namesText(qsizetype count) {
    return count == 1 ? tr("1 name") : tr("%1 names").arg(count);
}

QString DeviceDNSSettings::listOwner(const EnforcedList::InForce &list) {
    return tr("%1 of uid %2, app %3")
        .arg(namesText(list.names.size()))
        .arg(list.uid)
        .arg(printable(list.app));
}

QString DeviceDNSSettings::leftOutText(const QList<EnforcedList::LeftOut> &leftOut) {
    QStringList items;
    for (const auto &name : leftOut)
        items.append(u"\"%1\" (%2)"_s.arg(printable(name.name), name.reason));
    return items.join(u", "_s);
}

DeviceDNSSettings::State
DeviceDNSSettings::stateOf(const DNSConfiguration &configuration, const EnforcedList::InForce &list,
                           const EnforcedList::Installation &installation) {
    if (!configuration.enabled)
        return State::off;
    const NEDNSSettings &settings = *configuration.settings;
    if (!EnforcedList::isDeadEnd(settings) || !settings.matchDomains())
        return State::notEnforced;
    if (!installation.installed)
        return State::notInstalled;
    if (list.status == EnforcedList::InForce::ok && !list.isMine())
        return State::otherAccount;
    if (!EnforcedList::matches(list, configuration) || !list.problem.isEmpty())
        return State::notEnforced;
    return State::blocking;
}

QString DeviceDNSSettings::enforcementText(const DNSConfiguration &configuration,
                                           const EnforcedList::InForce &list,
                                           const EnforcedList::Installation &installation) {
    const NEDNSSettings &settings = *configuration.settings;
    const QString id = printable(configuration.identifier);
    if (!EnforcedList::isDeadEnd(settings))
        return tr("no, only a dead-end configuration (every server 0.0.0.0 or ::) is enforced "
                  "here");
    if (!settings.matchDomains())
        return tr("no, it has no match domains, so it would block every name");
    if (!installation.installed)
        return tr("no, the system part is not installed: %1; run: sudo device-settings system "
                  "install")
            .arg(printable(installation.reason));
    switch (list.status) {
    case EnforcedList::InForce::none:
        return tr("no, no enforced list is in force; run: device-settings dns enable %1").arg(id);
    case EnforcedList::InForce::unreadable:
        return tr("no, the list in force cannot be read: it %1").arg(printable(list.problem));
    case EnforcedList::InForce::ok:
        break;
    }
    if (!list.isMine())
        return tr("no, another account's list is in force (uid %1, app %2)")
            .arg(list.uid)
            .arg(printable(list.app));
    if (!EnforcedList::matches(list, configuration))
        return tr("no, the list in force (%1) does not match this configuration; run: "
                  "device-settings dns enable %2")
            .arg(listOwner(list), id);
    if (!list.problem.isEmpty())
        return tr("no, ") + list.problem;
    return tr("yes, %1 (list of uid %2, app %3)")
        .arg(namesText(list.names.size()))
        .arg(list.uid)
        .arg(printable(list.app));
}

std::optional<QString> DeviceDNSSettings::offText(const DNSConfiguration &configuration,
                                                  const EnforcedList::InForce &list) {
    // An interrupted switch can leave the list of a configuration that is Off in force.
    if (configuration.enabled || !list.isMine() || list.app != configuration.identifier ||
        !list.problem.isEmpty())
        return std::nullopt;
    return tr("Off, but its list (%1) is still in force on this computer; run: device-settings "
              "dns disable %2")
        .arg(listOwner(list), printable(configuration.identifier));
}

// --- the page ----------------------------------------------------------------------------

std::optional<QList<DeviceDNSSettings::Entry>> DeviceDNSSettings::entries(QString *error) const {
    // No lock: every file is replaced whole by a rename, and a listing must create nothing.
    const auto stored = m_store.readAll(error);
    if (!stored)
        return std::nullopt;
    const EnforcedList::InForce list = EnforcedList::inForce();
    std::optional<EnforcedList::Installation> installation;
    QList<Entry> result;
    for (const auto &file : *stored) {
        Entry entry;
        entry.path = file.path;
        if (!file.configuration) {
            entry.identifier = QString::fromUtf8(
                QByteArray::fromPercentEncoding(QFileInfo(file.path).completeBaseName().toUtf8()));
            entry.displayName = entry.identifier;
            entry.state = State::unreadable;
            entry.explanation = tr("Unreadable file %1: it %2.\n")
                                    .arg(printable(file.path), printable(file.reason))
                                    .trimmed() +
                                u' ' + tr("It is left as it is.");
            result.append(entry);
            continue;
        }
        const DNSConfiguration &configuration = *file.configuration;
        entry.identifier = configuration.identifier;
        entry.displayName = configuration.displayName;
        entry.switchedOn = configuration.enabled;
        if (!installation)
            installation = EnforcedList::installation();
        if (!configuration.enabled) {
            entry.state = State::off;
            entry.explanation = onOff(false);
            // Said before anyone tries: what would keep it from blocking if switched on.
            DNSConfiguration switchedOn = configuration;
            switchedOn.enabled = true;
            const State wouldBe = stateOf(switchedOn, list, *installation);
            if (const auto stillBlocking = offText(configuration, list)) {
                entry.explanation = *stillBlocking;
            } else if (wouldBe == State::notInstalled || wouldBe == State::otherAccount) {
                entry.state = wouldBe;
                entry.explanation = tr("Off; if switched on, enforced on this computer: %1")
                                        .arg(enforcementText(switchedOn, list, *installation));
            }
            result.append(entry);
            continue;
        }
        entry.state = stateOf(configuration, list, *installation);
        if (entry.state == State::blocking) {
            entry.blockedCount = list.names.size();
            entry.leftOut = EnforcedList::convert(*configuration.settings->matchDomains()).leftOut;
        }
        entry.explanation = tr("On; enforced on this computer: %1")
                                .arg(enforcementText(configuration, list, *installation));
        if (!entry.leftOut.isEmpty())
            entry.explanation += tr("; left out: %1").arg(leftOutText(entry.leftOut));
        if (entry.state == State::blocking)
            entry.explanation +=
                tr("; use-application-dns.net is held too: %1").arg(browserSignalText());
        result.append(entry);
    }
    return result;
}

QString DeviceDNSSettings::browserSignalText() {
    return tr("browsers keep their own DNS-over-HTTPS off while this name does not exist, so their "
              "look-ups stay with this computer's resolver and its blocklist");
}

QStringList DeviceDNSSettings::watchedPaths() const {
    QStringList paths;
    if (m_store.isAvailable())
        paths << m_store.directory() << QFileInfo(m_store.directory()).path();
    // The list and nsswitch.conf are replaced by a rename: their folders see that.
    paths << QFileInfo(EnforcedList::listPath()).path() << EnforcedList::listPath()
          << EnforcedList::nsswitchPath() << QFileInfo(EnforcedList::nsswitchPath()).path();
    return paths;
}

namespace {

/** Where `app` names a stored configuration: its index, or why there is none to switch. */
struct Target {
    qsizetype index = -1;
    QString problem;
    /** The app's own file, when that is what cannot be read. */
    const ReadResult *unreadable = nullptr;
};

Target findTarget(const QList<ReadResult> &entries, const DNSConfigurationStore &store,
                  const QString &app) {
    Target target;
    for (qsizetype i = 0; i < entries.size() && target.index < 0; ++i) {
        if (entries[i].configuration && entries[i].configuration->identifier == app)
            target.index = i;
    }
    if (target.index >= 0)
        return target;
    QList<qsizetype> matches;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const auto &configuration = entries[i].configuration;
        if (configuration && (configuration->displayName.compare(app, Qt::CaseInsensitive) == 0 ||
                              configuration->identifier.compare(app, Qt::CaseInsensitive) == 0))
            matches.append(i);
    }
    if (matches.size() == 1) {
        target.index = matches.first();
        return target;
    }
    if (matches.size() > 1) {
        QStringList names;
        for (qsizetype i : matches)
            names.append(entries[i].configuration->identifier);
        target.problem =
            DeviceDNSSettings::tr("\"%1\" names several apps (%2); give the identifier")
                .arg(app, names.join(u", "_s));
        return target;
    }
    for (const auto &entry : entries) {
        if (!entry.configuration && entry.path == store.filePath(app)) {
            target.unreadable = &entry;
            target.problem = DeviceDNSSettings::tr("the DNS configuration of %1 cannot be "
                                                   "switched: %2; it is left as it is")
                                 .arg(app, entry.message());
            return target;
        }
    }
    target.problem =
        DeviceDNSSettings::tr("no DNS configuration is stored for app \"%1\"").arg(app);
    return target;
}

/**
 * A file this version cannot read that may be switched on: one we cannot open, or a newer
 * format that does not plainly say it is off. A damaged file or a non-file is off for every
 * reader, so it does not count.
 */
bool mayBeOn(const ReadResult &entry) {
    if (entry.status == ReadResult::failed)
        return true;
    if (entry.status != ReadResult::newerFormat)
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(entry.bytes);
    return document.object().value(u"enabled"_s) != QJsonValue(false);
}

DNSChange::File switchFile(const DNSConfiguration &configuration, bool on, const QString &report) {
    DNSChange::File file;
    file.kind = DNSChange::File::Kind::setEnabled;
    file.configuration = configuration;
    file.configuration.enabled = on;
    file.report = report;
    return file;
}

DNSChange::File note(const QString &report) {
    DNSChange::File file;
    file.report = report;
    return file;
}

} // namespace

std::optional<DNSConfiguration> DeviceDNSSettings::find(const QString &app,
                                                        QString *problem) const {
    const auto entries = m_store.readAll(problem);
    if (!entries)
        return std::nullopt;
    const Target target = findTarget(*entries, m_store, app);
    if (target.index >= 0)
        return entries->at(target.index).configuration;
    *problem = target.unreadable ? target.unreadable->message() : target.problem;
    return std::nullopt;
}

DeviceDNSSettings::Outcome DeviceDNSSettings::setEnabled(const QString &app, bool on) const {
    Outcome outcome;
    if (!m_store.isAvailable()) {
        outcome.status = Outcome::failed;
        outcome.message = m_store.unavailableReason();
        return outcome;
    }
    const bool all = app.isEmpty();
    if (all && on) {
        outcome.status = Outcome::refused;
        outcome.message = tr("no DNS configuration is stored for app \"%1\"").arg(app);
        outcome.unknownApp = true;
        return outcome;
    }
    std::optional<DNSConfiguration> chosen;
    const auto decide = [&](const DNSSnapshot &snapshot) {
        DNSChange change;
        const auto &entries = snapshot.entries;
        Target target;
        if (!all) {
            target = findTarget(entries, m_store, app);
            if (target.index < 0) {
                change.verdict = DNSChange::Verdict::refused;
                change.message = target.problem;
                outcome.unknownApp = true;
                return change;
            }
        }
        for (const auto &entry : entries) {
            if (entry.configuration)
                continue;
            // Enabling another one could leave two switched on: change nothing.
            if (on && mayBeOn(entry)) {
                change.verdict = DNSChange::Verdict::refused;
                change.message =
                    tr("nothing changed: %1, and it may be switched on").arg(entry.message());
                return change;
            }
            change.warnings.append(entry.message() + tr("; it is left as it is"));
        }
        // What goes off, and the one that goes on.
        chosen.reset();
        QList<DNSConfiguration> turningOff;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const auto &configuration = entries.at(i).configuration;
            if (!configuration)
                continue;
            if (i == target.index)
                chosen = *configuration;
            // When all go off, one that is Off yet whose list still blocks (an interrupted
            // switch) is released too.
            else if ((configuration->enabled && (on || all)) ||
                     (all && snapshot.listIsMineFor(configuration->identifier)))
                turningOff.append(*configuration);
        }
        if (chosen && !on)
            turningOff.append(*chosen);
        if (on)
            change.enforce = *chosen;
        else
            for (const auto &configuration : std::as_const(turningOff))
                change.release.append(configuration.identifier);

        // Others go off before the target goes on, so no moment has two switched on.
        for (const auto &configuration : std::as_const(turningOff)) {
            if (configuration.enabled)
                change.files.append(switchFile(
                    configuration, false,
                    tr("DNS configuration of %1 is now Off.\n").arg(label(configuration))));
            else if (!all)
                change.files.append(note(
                    tr("DNS configuration of %1 is already Off.\n").arg(label(configuration))));
        }
        if (on)
            change.files.append(
                chosen->enabled
                    ? note(tr("DNS configuration of %1 is already On.\n").arg(label(*chosen)))
                    : switchFile(*chosen, true,
                                 tr("DNS configuration of %1 is now On.\n").arg(label(*chosen))));
        return change;
    };
    const DNSChangeResult result = changeDnsConfigurations(m_store, decide);
    outcome.warnings = result.warnings;
    outcome.report = result.report;
    outcome.message = result.message;
    switch (result.status) {
    case DNSChangeResult::done:
    case DNSChangeResult::unchanged:
        break;
    case DNSChangeResult::refused:
        outcome.status = Outcome::refused;
        return outcome;
    case DNSChangeResult::failed:
        outcome.status = Outcome::failed;
        return outcome;
    case DNSChangeResult::cancelled:
    case DNSChangeResult::notEnforced: {
        outcome.status =
            result.status == DNSChangeResult::cancelled ? Outcome::cancelled : Outcome::refused;
        // The list did not follow, so nothing was switched: say what each one stays.
        DNSConfiguration failed;
        failed.identifier = result.failedApp;
        bool wasOn = false;
        const auto stored = m_store.read(result.failedApp);
        if (stored.configuration) {
            failed = *stored.configuration;
            wasOn = stored.configuration->enabled;
        }
        outcome.message = tr("DNS configuration of %1 stays %2: %3")
                              .arg(label(failed), onOff(wasOn), result.message);
        return outcome;
    }
    }
    if (chosen)
        qCInfo(lcPlatformDns).noquote() << chosen->identifier << "switched" << (on ? "On" : "Off");
    if (!on)
        return outcome;
    const auto &enforcement = result.enforcement;
    if (enforcement.enforced)
        outcome.report.append(tr("Enforced on this computer: %1 blocked.\n")
                                  .arg(namesText(enforcement.names.names.size())));
    else
        outcome.report.append(
            tr("Not enforced on this computer: %1.\n").arg(enforcement.notEnforced));
    if (enforcement.enforced && !enforcement.names.leftOut.isEmpty())
        outcome.report.append(
            tr("Left out of the enforced list: %1\n").arg(leftOutText(enforcement.names.leftOut)));
    return outcome;
}
