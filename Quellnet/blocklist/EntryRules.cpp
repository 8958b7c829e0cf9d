#include "blocklist/EntryRules.h"

#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"

#include <QUuid>

#include <algorithm>
#include <utility>

namespace {

DomainRef addRecord(const QString &text, BlocklistStore &store) {
    auto record = std::make_shared<Domain>(text, QUuid::createUuid());
    store.insert(record);
    store.save(); // a failed save stays pending and is retried by autosave
    return record;
}

} // namespace

namespace EntryRules {

QString canonicalForm(const QString &text) {
    // Canonically equivalent texts become the same units; ASCII is its own composed form.
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return text.normalized(QString::NormalizationForm_C);
    }
    return text;
}

bool isListFull(qsizetype count) {
    return count > listCapacity - 1;
}

bool textEquals(const QString &a, const QString &b) {
    return a == b || canonicalForm(a) == canonicalForm(b);
}

bool matchesSearch(const QString &text, const QString &searchText) {
    if (searchText.isEmpty())
        return true;
    return canonicalForm(text.toLower()).contains(canonicalForm(searchText.toLower()));
}

bool isOffered(const QString &entry, const QList<DomainRef> &records) {
    return std::none_of(records.cbegin(), records.cend(), [&entry](const DomainRef &record) {
        return textEquals(record->domain(), entry);
    });
}

DomainRef submitDomain(QString &addText, BlocklistStore &store) {
    const QString text = std::exchange(addText, QString());
    // An empty match domain would send every look-up to the dead-end resolver.
    if (text.isEmpty() || !isOffered(text, store.domains()->records()))
        return nullptr;
    return addRecord(text, store);
}

DomainRef addSuggestedDomain(const QString &entry, BlocklistStore &store) {
    if (entry.isEmpty())
        return nullptr;
    return addRecord(entry, store);
}

} // namespace EntryRules
