#include "screens/DomainsView.h"

#include "AppStoreView/AppCatalogue.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/BuiltInDomains.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "screens/ReviewPrompt.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const QString moreOptionsPrefix = u"moreOptions:"_s;
const QString suggestionPrefix = u"suggestion:"_s;
const QString entryPrefix = u"domain:"_s;
} // namespace

DomainsView::DomainsView(BlocklistStore *store, ScenePhaseSource *scenePhase, Actions actions,
                         QObject *parent)
    : ScreenModel(tr("Domains"), scenePhase, parent)
    , m_store(store)
    , m_actions(std::move(actions)) {
    DomainListModel *domains = m_store->domains();
    const auto changed = [this] { domainsChanged(); };
    connect(domains, &QAbstractItemModel::rowsInserted, this, changed);
    connect(domains, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(domains, &QAbstractItemModel::rowsMoved, this, changed);
    connect(domains, &QAbstractItemModel::dataChanged, this, changed);
    connect(domains, &QAbstractItemModel::modelReset, this, changed);
    connect(domains, &QAbstractItemModel::layoutChanged, this, changed);
    domainsChanged();
}

QString DomainsView::moreOptionsKey(int index) {
    return moreOptionsPrefix + QString::number(index);
}

QString DomainsView::suggestionKey(const QString &entry) {
    return suggestionPrefix + entry;
}

QString DomainsView::entryKey(const Domain &record) {
    // The id alone could repeat in a damaged store, the address alone could be reused by a
    // later record; together they name one live record.
    return entryPrefix + record.id().toString(QUuid::WithoutBraces) + u'@' +
           QString::number(quintptr(&record), 16);
}

void DomainsView::setSearchText(const QString &text) {
    if (text == m_searchText)
        return;
    m_searchText = text;
    Q_EMIT searchTextChanged();
    refresh();
}

void DomainsView::setDomain(const QString &text) {
    if (text == m_domain)
        return;
    m_domain = text;
    Q_EMIT domainChanged();
    refresh();
}

bool DomainsView::isListFull() const {
    return m_listFull;
}

void DomainsView::domainsChanged() {
    const QList<DomainRef> &records = m_store->domains()->records();

    QSet<QString> present;
    present.reserve(records.size());
    for (const DomainRef &record : records)
        present.insert(EntryRules::canonicalForm(record->domain()));
    m_offered.clear();
    for (const QString &entry : builtInDomains())
        if (!present.contains(EntryRules::canonicalForm(entry)))
            m_offered.append(entry);

    m_entryRows.clear();
    m_entryRows.reserve(records.size());
    for (const DomainRef &record : records) {
        const bool builtIn = isBuiltIn(record->domain());
        Screen::Row row = Screen::label(entryKey(*record), record->domain(),
                                        builtIn ? u"hand.raised.fill"_s : u"crown"_s);
        row.accessibleDescription = builtIn ? tr("built-in tracker") : tr("added by you");
        row.deletable = true;
        m_entryRows.append(std::move(row));
    }

    const bool full = EntryRules::isListFull(records.size());
    const bool fullChanged = full != m_listFull;
    m_listFull = full;
    refresh();
    if (fullChanged)
        Q_EMIT listFullChanged();
}

QList<Screen::Section> DomainsView::sections() const {
    Screen::Section moreOptions{tr("More Options"), {}};
    const QList<AppInfo> &apps = AppCatalogue::moreOptionsInfo();
    for (int i = 0; i < apps.size(); ++i)
        moreOptions.rows.append(
            Screen::button(moreOptionsKey(i), apps.at(i).title, u"arrow.down.circle"_s));

    Screen::Section domains{tr("Domains"), {}};
    domains.rows.reserve(2 + m_offered.size() + m_entryRows.size());

    Screen::Row field;
    field.key = addKey;
    field.kind = Screen::RowKind::textField;
    field.text = m_domain;
    field.placeholder = tr("Type here to add a new domain");
    field.enabled = !m_listFull;
    domains.rows.append(std::move(field));

    Screen::Row pasteButton;
    pasteButton.key = pasteKey;
    pasteButton.kind = Screen::RowKind::pasteButton;
    pasteButton.systemImage = u"doc.on.clipboard"_s;
    domains.rows.append(std::move(pasteButton));

    for (const QString &entry : m_offered) {
        if (!EntryRules::matchesSearch(entry, m_searchText))
            continue;
        Screen::Row row =
            Screen::button(suggestionKey(entry), entry, u"plus"_s, Screen::ButtonStyle::plain);
        row.tint = Screen::Tint::teal;
        row.accessibleDescription = tr("add");
        row.enabled = !m_listFull;
        domains.rows.append(std::move(row));
    }
    for (const Screen::Row &row : m_entryRows)
        if (EntryRules::matchesSearch(row.text, m_searchText))
            domains.rows.append(row);

    return {std::move(moreOptions), std::move(domains)};
}

void DomainsView::submitDomain() {
    // The field is disabled while the list is full, and so is every way of submitting it.
    if (m_listFull)
        return;
    QString text = m_domain;
    EntryRules::submitDomain(text,
                             *m_store); // may change the rows; the field is cleared either way
    setDomain(text);
}

void DomainsView::pasteDomain(const QStringList &texts) {
    if (!texts.isEmpty())
        setDomain(texts.first());
}

void DomainsView::addSuggestedDomain(const QString &entry) {
    if (m_listFull) // as its disabled button
        return;
    EntryRules::addSuggestedDomain(entry, *m_store);
}

void DomainsView::deleteDomains(const QList<int> &positions) {
    const QList<DomainRef> records = m_store->domains()->records();
    QList<int> sorted = positions;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QList<DomainRef> named;
    for (const int position : std::as_const(sorted))
        if (position >= 0 && position < records.size())
            named.append(records.at(position));
    for (const DomainRef &record : std::as_const(named)) {
        m_store->remove(record);
        m_store->save(); // a failed save stays pending for autosave
    }
}

void DomainsView::presentMoreOptionsApp(int index) {
    if (const auto app = AppCatalogue::moreOptionsApp(index))
        app->presentProductPage();
}

void DomainsView::requestReviewIfNeeded() {
    ReviewPrompt::runOncePerVersion(ReviewPrompt::appReviewVersionKey, m_actions.requestReview);
}

void DomainsView::promoteAppIfNeeded() {
    ReviewPrompt::runOncePerVersion(ReviewPrompt::promotedAppVersionKey, m_actions.promoteApp);
}

void DomainsView::appear() {
    requestReviewIfNeeded();
    promoteAppIfNeeded();
}

void DomainsView::scenePhaseChanged(ScenePhase phase) {
    if (phase != ScenePhase::active)
        return;
    requestReviewIfNeeded();
    promoteAppIfNeeded();
}

void DomainsView::activate(const QString &key) {
    if (key.startsWith(moreOptionsPrefix)) {
        bool ok = false;
        const int index = QStringView(key).mid(moreOptionsPrefix.size()).toInt(&ok);
        if (ok)
            presentMoreOptionsApp(index);
    } else if (key.startsWith(suggestionPrefix)) {
        // Only an entry still offered may be added, as only those rows exist.
        const QString entry = key.mid(suggestionPrefix.size());
        if (m_offered.contains(entry))
            addSuggestedDomain(entry);
    }
}

void DomainsView::editText(const QString &key, const QString &text) {
    if (key == addKey)
        setDomain(text);
}

void DomainsView::submit(const QString &key) {
    if (key == addKey)
        submitDomain();
}

void DomainsView::paste(const QString &key, const QStringList &texts) {
    if (key == pasteKey || key == addKey)
        pasteDomain(texts);
}

void DomainsView::deleteRows(const QStringList &keys) {
    const QList<DomainRef> &records = m_store->domains()->records();
    QList<int> positions;
    for (int i = 0; i < records.size(); ++i)
        if (keys.contains(entryKey(*records.at(i))))
            positions.append(i);
    deleteDomains(positions);
}
