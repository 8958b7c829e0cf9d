#include "RowListModel.h"

#include <QMetaEnum>
#include <QSet>

using namespace Screen;

namespace {
// QML compares plain strings ("button", "teal"), which reads better than enum numbers.
template<typename E> QString enumKey(E value) {
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(value)));
}
} // namespace

int RowListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant RowListModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Item &item = m_items.at(index.row());
    const Row &r = item.row;
    switch (role) {
    case Qt::DisplayRole:
    case TextRole:
        return r.text;
    case KeyRole:
        return r.key;
    case KindRole:
        return enumKey(r.kind);
    case SystemImageRole:
        return r.systemImage;
    case ButtonRoleRole:
        return enumKey(r.role);
    case ButtonStyleRole:
        return enumKey(r.buttonStyle);
    case TintRole:
        return enumKey(r.tint);
    case EnabledRole:
        return r.enabled;
    case DeletableRole:
        return r.deletable;
    case SeparatorHiddenRole:
        return r.separatorHidden;
    case PlaceholderRole:
        return r.placeholder;
    case SectionRole:
        return item.section;
    case SectionIndexRole:
        return item.sectionIndex;
    case FirstInSectionRole:
        return item.firstInSection;
    case LastInSectionRole:
        return item.lastInSection;
    case AccessibleDescriptionRole:
        return r.accessibleDescription;
    default:
        return {};
    }
}

QHash<int, QByteArray> RowListModel::roleNames() const {
    return {
        {KeyRole, "key"},
        {KindRole, "kind"},
        {TextRole, "text"},
        {SystemImageRole, "systemImage"},
        {ButtonRoleRole, "buttonRole"},
        {ButtonStyleRole, "buttonStyle"},
        {TintRole, "tint"},
        {EnabledRole, "enabled"},
        {DeletableRole, "deletable"},
        {SeparatorHiddenRole, "separatorHidden"},
        {PlaceholderRole, "placeholder"},
        {SectionRole, "section"},
        {SectionIndexRole, "sectionIndex"},
        {FirstInSectionRole, "firstInSection"},
        {LastInSectionRole, "lastInSection"},
        {AccessibleDescriptionRole, "accessibleDescription"},
    };
}

int RowListModel::indexOfKey(const QString &key) const {
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items.at(i).row.key == key)
            return i;
    return -1;
}

int RowListModel::findId(const QString &id, int from) const {
    for (int i = from; i < m_items.size(); ++i)
        if (m_items.at(i).id == id)
            return i;
    return -1;
}

void RowListModel::apply(const QList<Section> &sections) {
    QList<Item> target;
    QHash<QString, int> occurrences;
    for (int s = 0; s < sections.size(); ++s) {
        const QList<Row> &rows = sections.at(s).rows;
        for (int r = 0; r < rows.size(); ++r) {
            const Row &row = rows.at(r);
            const int n = occurrences[row.key]++;
            QString id = n == 0 ? row.key : row.key + QChar(0) + QString::number(n);
            target.append(
                {std::move(id), row, sections.at(s).header, s, r == 0, r == rows.size() - 1});
        }
    }

    QSet<QString> wanted;
    wanted.reserve(target.size());
    for (const Item &item : target)
        wanted.insert(item.id);

    const qsizetype before = m_items.size();

    // Removals first, back to front in contiguous runs, so each index is valid when used.
    for (int end = int(m_items.size()) - 1; end >= 0;) {
        if (wanted.contains(m_items.at(end).id)) {
            --end;
            continue;
        }
        int first = end;
        while (first > 0 && !wanted.contains(m_items.at(first - 1).id))
            --first;
        beginRemoveRows({}, first, end);
        m_items.remove(first, end - first + 1);
        endRemoveRows();
        end = first - 1;
    }

    // What is left is a subset of the target: walk the target and keep, move up or insert.
    for (int i = 0; i < target.size(); ++i) {
        const Item &want = target.at(i);
        if (i >= m_items.size() || m_items.at(i).id != want.id) {
            const int from = findId(want.id, i + 1);
            if (from < 0) {
                beginInsertRows({}, i, i);
                m_items.insert(i, want);
                endInsertRows();
                continue;
            }
            beginMoveRows({}, from, from, {}, i);
            m_items.move(from, i);
            endMoveRows();
        }
        if (!(m_items.at(i) == want)) {
            m_items[i] = want;
            Q_EMIT dataChanged(index(i), index(i));
        }
    }

    if (m_items.size() != before)
        Q_EMIT countChanged();
}
