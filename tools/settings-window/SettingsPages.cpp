#include "SettingsPages.h"

#include "foundation/MainQueue.h"
#include "foundation/SerialQueue.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

MenuPage::MenuPage(QString title, QList<Link> links, ScenePhaseSource *scenePhase, QObject *parent)
    : ScreenModel(std::move(title), scenePhase, parent)
    , m_links(std::move(links)) {
    refresh();
}

void MenuPage::activate(const QString &key) {
    if (offersButton(key))
        Q_EMIT linkActivated(key);
}

QList<Screen::Section> MenuPage::sections() const {
    Screen::Section section;
    for (const Link &link : m_links)
        section.rows.append(
            Screen::button(link.key, link.title, link.systemImage, Screen::ButtonStyle::plain));
    return {section};
}

DnsPage::DnsPage(std::shared_ptr<DnsSettingsBackend> backend, ScenePhaseSource *scenePhase,
                 QObject *parent)
    : ScreenModel(tr("DNS"), scenePhase, parent)
    , m_backend(std::move(backend)) {
    // A file replaced by a rename leaves the watcher; the read this starts watches it anew.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &DnsPage::reload);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DnsPage::reload);
    refresh();
}

QString DnsPage::rowKey(const QString &identifier) {
    return u"dns:"_s + identifier;
}

void DnsPage::appear() {
    reload();
}

void DnsPage::scenePhaseChanged(ScenePhase phase) {
    // The app or the command may have changed something while another window had the focus.
    if (phase == ScenePhase::active)
        reload();
}

void DnsPage::reload() {
    if (m_reading) {
        m_readAgain = true; // what changed meanwhile may have been read already: read once more
        return;
    }
    m_reading = true;
    runSerially([page = QPointer(this), backend = m_backend] {
        QString error;
        auto entries = backend->entries(&error);
        QStringList watched = backend->watchedPaths();
        dispatchToMain([page, entries = std::move(entries), error, watched = std::move(watched)] {
            if (page)
                page->apply(entries, error, watched);
        });
    });
}

void DnsPage::apply(std::optional<QList<DnsSettingsBackend::Entry>> entries, const QString &error,
                    const QStringList &watched) {
    m_reading = false;
    m_error = entries ? QString() : error;
    // Nothing could be read: no switch is offered, rather than switches that may be stale.
    if (!entries)
        entries.emplace();
    for (auto note = m_notes.begin(); note != m_notes.end();) {
        const auto entry = std::find_if(entries->cbegin(), entries->cend(),
                                        [&](const auto &e) { return e.identifier == note.key(); });
        // Switched elsewhere since (or gone): what the note says is no longer the news.
        if (entry == entries->cend() || entry->switchedOn != note->storedSwitch)
            note = m_notes.erase(note);
        else
            ++note;
    }
    m_entries = std::move(*entries);
    watch(watched);
    const bool first = !std::exchange(m_loaded, true);
    refresh();
    if (first)
        Q_EMIT loadedChanged();
    Q_EMIT reloaded();
    if (std::exchange(m_readAgain, false))
        reload();
}

void DnsPage::watch(const QStringList &paths) {
    QStringList wanted;
    for (const QString &path : paths) {
        // What does not exist yet is seen being made from the nearest folder that does.
        QFileInfo info(path);
        while (!info.exists() && !info.isRoot() && info.absolutePath() != info.absoluteFilePath())
            info.setFile(info.absolutePath());
        if (info.exists())
            wanted.append(info.absoluteFilePath());
    }
    wanted.removeDuplicates();
    const QStringList watching = m_watcher.files() + m_watcher.directories();
    QStringList gone;
    for (const QString &path : watching)
        if (!wanted.contains(path))
            gone.append(path);
    if (!gone.isEmpty())
        m_watcher.removePaths(gone);
    QStringList added;
    for (const QString &path : std::as_const(wanted))
        if (!watching.contains(path))
            added.append(path);
    if (!added.isEmpty())
        m_watcher.addPaths(added);
}

void DnsPage::activate(const QString &key) {
    if (!m_loaded)
        return;
    const auto entry = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                    [&](const auto &e) { return rowKey(e.identifier) == key; });
    if (entry == m_entries.cend() || m_busy.contains(entry->identifier) ||
        entry->state == DeviceDNSSettings::State::unreadable)
        return;
    const QString identifier = entry->identifier;
    const bool on = !entry->switchedOn;
    m_busy.insert(identifier, on);
    m_notes.remove(identifier);
    refresh();
    runSerially([page = QPointer(this), backend = m_backend, identifier, on] {
        const DnsSettingsBackend::Outcome outcome = backend->setEnabled(identifier, on);
        dispatchToMain([page, identifier, on, outcome] {
            if (page)
                page->finishSwitch(identifier, on, outcome);
        });
    });
}

void DnsPage::finishSwitch(const QString &identifier, bool on,
                           const DnsSettingsBackend::Outcome &outcome) {
    m_busy.remove(identifier);
    if (outcome.status != DeviceDNSSettings::Outcome::done)
        m_notes.insert(identifier, Note{outcome.message, !on});
    refresh();
    Q_EMIT switched(identifier, int(outcome.status));
    reload();
}

QList<Screen::Section> DnsPage::sections() const {
    Screen::Section section;
    if (!m_error.isEmpty()) {
        Screen::Row error = Screen::label(u"error"_s, tr("The DNS configurations cannot be read"),
                                          u"exclamationmark.triangle"_s);
        error.detail = m_error;
        section.rows.append(error);
    } else if (m_loaded && m_entries.isEmpty())
        section.rows.append(Screen::label(u"none"_s, tr("No app has stored a DNS configuration."),
                                          u"info.circle"_s));
    for (const auto &entry : m_entries) {
        const QString name = entry.displayName.isEmpty() ? entry.identifier : entry.displayName;
        QString detail = entry.explanation;
        if (const auto busy = m_busy.constFind(entry.identifier); busy != m_busy.cend())
            detail = *busy ? tr("Switching on…") : tr("Switching off…");
        else if (const auto note = m_notes.constFind(entry.identifier); note != m_notes.cend())
            detail = note->text;
        Screen::Row row = Screen::toggle(rowKey(entry.identifier), name, entry.switchedOn, detail);
        row.busy = m_busy.contains(entry.identifier);
        row.enabled = entry.state != DeviceDNSSettings::State::unreadable;
        section.rows.append(row);
    }
    return {section};
}

SettingsNavigator::SettingsNavigator(std::shared_ptr<DnsSettingsBackend> backend,
                                     ScenePhaseSource *scenePhase, QObject *parent)
    : QObject(parent)
    , m_settings(
          new MenuPage(tr("Settings"), {{generalKey, tr("General"), u"gear"_s}}, scenePhase, this))
    , m_general(
          new MenuPage(tr("General"), {{vpnKey, tr("VPN"), u"lock.shield"_s}}, scenePhase, this))
    , m_vpn(new MenuPage(tr("VPN"), {{dnsKey, tr("DNS"), u"network"_s}}, scenePhase, this))
    , m_dns(new DnsPage(std::move(backend), scenePhase, this))
    , m_stack{m_settings} {
    // Queued: the press comes from inside the row that the new page's rows replace.
    for (MenuPage *menu : {m_settings, m_general, m_vpn})
        connect(menu, &MenuPage::linkActivated, this, &SettingsNavigator::open,
                Qt::QueuedConnection);
}

QString SettingsNavigator::backTitle() const {
    return canGoBack() ? m_stack.at(m_stack.size() - 2)->navigationTitle() : QString();
}

void SettingsNavigator::open(const QString &key) {
    // Only the page below the one shown: a press that raced a back() does nothing.
    const std::pair<ScreenModel *, ScreenModel *> links[] = {
        {m_settings, m_general}, {m_general, m_vpn}, {m_vpn, m_dns}};
    const QString keys[] = {generalKey, vpnKey, dnsKey};
    for (int i = 0; i < 3; ++i) {
        if (keys[i] == key && links[i].first == page()) {
            m_stack.append(links[i].second);
            Q_EMIT pageChanged();
            page()->appear();
            return;
        }
    }
}

void SettingsNavigator::back() {
    if (!canGoBack())
        return;
    m_stack.removeLast();
    Q_EMIT pageChanged();
    page()->appear();
}
