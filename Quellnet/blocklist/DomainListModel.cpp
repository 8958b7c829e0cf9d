#include "blocklist/DomainListModel.h"

#include "blocklist/CodePointOrder.h"

#include <algorithm>

DomainListModel::DomainListModel(QObject *parent)
    : QAbstractListModel(parent) {}

DomainRef DomainListModel::at(int row) const {
    return row >= 0 && row < m_records.size() ? m_records.at(row) : DomainRef{};
}

QStringList DomainListModel::domainNames() const {
    QStringList names;
    names.reserve(m_records.size());
    for (const DomainRef &record : m_records)
        names.append(record->domain());
    return names;
}

int DomainListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant DomainListModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DomainRef &record = m_records.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case DomainRole:
        return record->domain();
    case IdRole:
        return record->id().toString(QUuid::WithoutBraces);
    default:
        return {};
    }
}

QHash<int, QByteArray> DomainListModel::roleNames() const {
    return {{DomainRole, QByteArrayLiteral("domain")}, {IdRole, QByteArrayLiteral("id")}};
}

bool DomainListModel::lessThan(const DomainRef &a, const DomainRef &b) {
    const int byText = blocklist::compareCodePoints(a->domain(), b->domain());
    return byText != 0 ? byText < 0 : a->m_order < b->m_order;
}

void DomainListModel::setInitialRecords(QList<DomainRef> sorted) {
    m_records = std::move(sorted);
}

void DomainListModel::insertRecord(const DomainRef &record) {
    // Order keys are unique, so lower and upper bound agree: the one place the record belongs.
    const auto it = std::lower_bound(m_records.cbegin(), m_records.cend(), record, lessThan);
    const int row = int(it - m_records.cbegin());
    beginInsertRows({}, row, row);
    m_records.insert(row, record);
    endInsertRows();
    Q_EMIT countChanged();
}

bool DomainListModel::removeRecord(const DomainRef &record) {
    auto it = std::lower_bound(m_records.cbegin(), m_records.cend(), record, lessThan);
    if (it == m_records.cend() || *it != record)
        it = std::find(m_records.cbegin(), m_records.cend(), record);
    if (it == m_records.cend())
        return false;
    const int row = int(it - m_records.cbegin());
    beginRemoveRows({}, row, row);
    m_records.remove(row);
    endRemoveRows();
    Q_EMIT countChanged();
    return true;
}
