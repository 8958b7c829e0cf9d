#include "screens/DomainsView.h"

#include "AppStoreView/AppCatalogue.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/BuiltInDomains.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "screens/ReviewPrompt.h"

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {
const QString moreOptionsPrefix = u"moreOptions:"_s;
const QString suggestionPrefix = u"suggestion:"_s;
const QString entryPrefix = u"domain:"_s;
constexpr int domainsSection = 1; // after More Options

// The built-in entries' canonical forms, in the same order, made once: every record added or
// removed checks which built-ins are still offered.
const QStringList &canonicalBuiltInDomains() {
    static const QStringList forms = [] {
        QStringList out;
        for (const QString &entry : builtInDomains())
            out.append(EntryRules::canonicalForm(entry));
        return out;
    }();
    return forms;
}
} // namespace

DomainsView::DomainsView(BlocklistStore *store, ScenePhaseSource *scenePhase, Actions actions,
                         QObject *parent)
    : ScreenModel(tr("Domains"), scenePhase, parent)
    , m_store(store)
    , m_actions(std::move(actions)) {
    // The list model reports single inserts and removals; a reset (never sent so far) is
    // followed by building everything again.
    DomainListModel *domains = m_store->domains();
    connect(domains, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { recordsInserted(first, last); });
    connect(
        domains, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex &, int first, int last) { recordsAboutToBeRemoved(first, last); });
    connect(domains, &QAbstractItemModel::rowsRemoved, this, &DomainsView::updateOffer);
    connect(domains, &QAbstractItemModel::modelReset, this, &DomainsView::rebuild);
    rebuild();
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
    showSuggestions();
    showEntries();
}

void DomainsView::setDomain(const QString &text) {
    if (text == m_domain)
        return;
    m_domain = text;
    Q_EMIT domainChanged();
    showAddRow();
}

bool DomainsView::isListFull() const {
    return m_listFull;
}

bool DomainsView::matches(const DomainRef &record) const {
    return EntryRules::matchesSearch(record->domain(), m_searchText);
}

Screen::Row DomainsView::addRow() const {
    Screen::Row field;
    field.key = addKey;
    field.kind = Screen::RowKind::textField;
    field.text = m_domain;
    field.systemImage = u"doc.on.clipboard"_s;
    field.placeholder = tr("Type here to add a new domain");
    field.enabled = !m_listFull;
    return field;
}

QList<Screen::Row> DomainsView::suggestionRows() const {
    QList<Screen::Row> rows;
    for (const QString &entry : m_offered) {
        if (!EntryRules::matchesSearch(entry, m_searchText))
            continue;
        Screen::Row row =
            Screen::button(suggestionKey(entry), entry, u"plus"_s, Screen::ButtonStyle::plain);
        row.tint = Screen::Tint::teal;
        row.accessibleDescription = tr("add");
        row.enabled = !m_listFull;
        rows.append(std::move(row));
    }
    return rows;
}

Screen::Row DomainsView::entryRow(const Domain &record) const {
    const bool builtIn = isBuiltIn(record.domain());
    Screen::Row row = Screen::label(entryKey(record), record.domain(),
                                    builtIn ? u"hand.raised.fill"_s : u"crown"_s);
    row.accessibleDescription = builtIn ? tr("built-in tracker") : tr("added by you");
    row.deletable = true;
    return row;
}

void DomainsView::rebuild() {
    const QList<DomainRef> &records = m_store->domains()->records();
    m_present.clear();
    for (const DomainRef &record : records)
        ++m_present[EntryRules::canonicalForm(record->domain())];
    const bool wasFull = std::exchange(m_listFull, EntryRules::isListFull(records.size()));
    m_offered.clear();
    const QStringList &builtIns = builtInDomains();
    for (qsizetype i = 0; i < builtIns.size(); ++i)
        if (!m_present.contains(canonicalBuiltInDomains().at(i)))
            m_offered.append(builtIns.at(i));

    Screen::Section moreOptions{tr("More Options"), {}};
    const QList<AppInfo> &apps = AppCatalogue::moreOptionsInfo();
    for (int i = 0; i < apps.size(); ++i)
        moreOptions.rows.append(
            Screen::button(moreOptionsKey(i), apps.at(i).title, u"arrow.down.circle"_s));
    m_moreOptionsCount = int(moreOptions.rows.size());

    Screen::Section domains{m_domainsHeader, {addRow()}};
    domains.rows += suggestionRows();
    m_shownSuggestions = domains.rows.size() - 1;
    m_shownEntries.clear();
    for (const DomainRef &record : records) {
        if (matches(record)) {
            m_shownEntries.append(record);
            domains.rows.append(entryRow(*record));
        }
    }
    rows()->apply({std::move(moreOptions), std::move(domains)});
    if (wasFull != m_listFull)
        Q_EMIT listFullChanged();
}

void DomainsView::recordsInserted(int first, int last) {
    const QList<DomainRef> &records = m_store->domains()->records();
    for (int i = first; i <= last; ++i)
        ++m_present[EntryRules::canonicalForm(records.at(i)->domain())];
    // A suggestion row that goes does so before its entry row comes, as in any other update.
    updateOffer();
    for (int i = first; i <= last; ++i) {
        const DomainRef &record = records.at(i);
        if (!matches(record))
            continue;
        const auto at = std::lower_bound(m_shownEntries.cbegin(), m_shownEntries.cend(), record,
                                         DomainListModel::lessThan);
        const int position = int(at - m_shownEntries.cbegin());
        m_shownEntries.insert(position, record);
        rows()->insertRowsAt(entriesStart() + position, m_domainsHeader, domainsSection,
                             {entryRow(*record)});
    }
}

void DomainsView::recordsAboutToBeRemoved(int first, int last) {
    const QList<DomainRef> &records = m_store->domains()->records();
    for (int i = first; i <= last; ++i) {
        const DomainRef &record = records.at(i);
        const QString canonical = EntryRules::canonicalForm(record->domain());
        if (--m_present[canonical] <= 0)
            m_present.remove(canonical);
        const auto at = std::find(m_shownEntries.cbegin(), m_shownEntries.cend(), record);
        if (at == m_shownEntries.cend())
            continue;
        const int position = int(at - m_shownEntries.cbegin());
        m_shownEntries.remove(position);
        rows()->removeRowsAt(entriesStart() + position, 1);
    }
    // The offer and the cap follow once the list model counts without them (updateOffer).
}

void DomainsView::updateOffer() {
    const bool full = EntryRules::isListFull(m_store->domains()->count());
    QStringList offered;
    const QStringList &builtIns = builtInDomains();
    const QStringList &canonicalBuiltIns = canonicalBuiltInDomains();
    for (qsizetype i = 0; i < builtIns.size(); ++i)
        if (!m_present.contains(canonicalBuiltIns.at(i)))
            offered.append(builtIns.at(i));
    const bool fullChanged = full != m_listFull;
    const bool offerChanged = offered != m_offered;
    if (!fullChanged && !offerChanged)
        return;
    m_listFull = full;
    if (offerChanged) {
        m_offered = std::move(offered);
        if (fullChanged)
            showAddRow();
        showSuggestions();
    } else {
        // Only the cap moved (the 200th record came or went): the add row and the suggestions
        // after it flip `enabled` together, nothing else about them changes.
        rows()->setRowsEnabled(addIndex(), 1 + int(m_shownSuggestions), !full);
    }
    if (fullChanged)
        Q_EMIT listFullChanged();
}

void DomainsView::showAddRow() {
    rows()->applyRange(addIndex(), 1, m_domainsHeader, domainsSection, {addRow()});
}

void DomainsView::showSuggestions() {
    const QList<Screen::Row> suggestions = suggestionRows();
    rows()->applyRange(suggestionsStart(), int(m_shownSuggestions), m_domainsHeader, domainsSection,
                       suggestions);
    m_shownSuggestions = suggestions.size();
}

void DomainsView::showEntries() {
    RowListModel *rows = this->rows();
    const int start = entriesStart();
    // Rows that no longer match go first, back to front in runs.
    for (qsizetype end = m_shownEntries.size(); end > 0;) {
        if (matches(m_shownEntries.at(end - 1))) {
            --end;
            continue;
        }
        qsizetype from = end - 1;
        while (from > 0 && !matches(m_shownEntries.at(from - 1)))
            --from;
        rows->removeRowsAt(start + int(from), int(end - from));
        m_shownEntries.remove(from, end - from);
        end = from;
    }
    // Then the matches not shown yet, in runs at their places.
    const QList<DomainRef> &records = m_store->domains()->records();
    QList<DomainRef> shown;
    shown.reserve(records.size());
    qsizetype kept = 0;
    for (qsizetype i = 0; i < records.size();) {
        if (kept < m_shownEntries.size() && m_shownEntries.at(kept) == records.at(i)) {
            shown.append(records.at(i++));
            ++kept;
            continue;
        }
        QList<Screen::Row> run;
        for (; i < records.size() &&
               !(kept < m_shownEntries.size() && m_shownEntries.at(kept) == records.at(i));
             ++i) {
            if (matches(records.at(i))) {
                run.append(entryRow(*records.at(i)));
                shown.append(records.at(i));
            }
        }
        rows->insertRowsAt(start + int(shown.size() - run.size()), m_domainsHeader, domainsSection,
                           run);
    }
    m_shownEntries = std::move(shown);
}

QList<Screen::Section> DomainsView::sections() const {
    return rowList().sections();
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
    if (key == addKey)
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
