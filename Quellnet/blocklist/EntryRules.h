#pragma once

#include "blocklist/Domain.h"

#include <QList>
#include <QString>

class BlocklistStore;

namespace EntryRules {

// The rules by which a text enters the blocklist and by which rows are searched. The text is
// kept as given; the only refusals are an exact duplicate and the empty text.

inline constexpr int listCapacity = 200;

bool isListFull(qsizetype count); // count > 199
/** The composed form under which textEquals compares; a set of these finds duplicates. */
QString canonicalForm(const QString &text);
bool textEquals(const QString &a,
                const QString &b); // canonical equivalence, case counts, no trimming
bool matchesSearch(const QString &text, const QString &searchText);
bool isOffered(const QString &entry,
               const QList<DomainRef> &records); // no record's domain textEquals entry

/** Reads and clears `addText`; adds a record unless it is empty or already in the list.
    Returns the new record or nullptr. */
DomainRef submitDomain(QString &addText, BlocklistStore &store);
/** Adds `entry` as offered by a suggestion row; refuses only the empty text. */
DomainRef addSuggestedDomain(const QString &entry, BlocklistStore &store);

} // namespace EntryRules
