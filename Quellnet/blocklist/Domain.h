#pragma once

#include <QHashFunctions>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>

class BlocklistStore;

/** One blocklist entry. Owned by the store; equality is identity (compare the shared_ptrs). */
class Domain {
public:
    Domain(QString domain, QUuid id);
    Domain(const Domain &) = delete;
    Domain &operator=(const Domain &) = delete;

    const QString &domain() const { return m_domain; }
    const QUuid &id() const { return m_id; }

private:
    friend class BlocklistStore;
    friend class DomainListModel;

    QString m_domain;
    QUuid m_id;
    // Bookkeeping of the store that holds the record; never part of its identity.
    const BlocklistStore *m_store = nullptr; // set while the record is in that store's list
    std::uint64_t m_order = 0;               // insertion order, breaks ties between equal texts
    std::int64_t m_seenAt = 0; // the row last read or written: a hint, checked against the id
};

using DomainRef = std::shared_ptr<Domain>; // same stored record reached twice == same pointer

/** Records hash by identity, so they can key QHash/QSet like they compare. */
inline size_t qHash(const DomainRef &domain, size_t seed = 0) noexcept {
    return ::qHash(reinterpret_cast<quintptr>(domain.get()), seed);
}
