#pragma once

#include "blocklist/Domain.h"

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

/** The live sorted query. Reports inserts/removals as row inserts/removals, never resets. */
class DomainListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum Roles { DomainRole = Qt::UserRole + 1, IdRole };

    int count() const { return int(m_records.size()); }
    const QList<DomainRef> &records() const { return m_records; } // in display order
    DomainRef at(int row) const;
    QStringList domainNames() const; // the `domain` texts in display order

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    /** Display order: code points of `domain`, then insertion order. */
    static bool lessThan(const DomainRef &a, const DomainRef &b);

Q_SIGNALS:
    void countChanged();

private:
    friend class BlocklistStore;
    explicit DomainListModel(QObject *parent);

    void setInitialRecords(QList<DomainRef> sorted); // before anyone can observe the model
    void insertRecord(const DomainRef &record);
    bool removeRecord(const DomainRef &record);

    QList<DomainRef> m_records;
};
