#include "RowListModel.h"

#include "screens/AccessibleEnabledState.h"

#include <QMetaEnum>
#include <QSet>

#include <algorithm>

using namespace Screen;

namespace {
// Styles reach QML as plain strings ("automatic", "teal"), which Theme maps to colours.
template<typename E> QString enumKey(E value) {
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(value)));
}
} // namespace

RowListModel::RowListModel(QObject *parent)
    : QAbstractListModel(parent) {
    AccessibleEnabledState::install();
}

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
        return int(r.kind); // RowListModel::Kind
    case SystemImageRole:
        return r.systemImage;
    case ButtonStyleRole:
        return enumKey(r.buttonStyle);
    case TintRole:
        return enumKey(r.tint);
    case EnabledRole:
        return r.enabled;
    case DeletableRole:
        return r.deletable;
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
    case CheckedRole:
        return r.checked;
    case BusyRole:
        return r.busy;
    case DetailRole:
        return r.detail;
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
        {ButtonStyleRole, "buttonStyle"},
        {TintRole, "tint"},
        {EnabledRole, "rowEnabled"},
        {DeletableRole, "deletable"},
        {PlaceholderRole, "placeholder"},
        {SectionRole, "section"},
        {SectionIndexRole, "sectionIndex"},
        {FirstInSectionRole, "firstInSection"},
        {LastInSectionRole, "lastInSection"},
        {AccessibleDescriptionRole, "accessibleDescription"},
        {CheckedRole, "checked"},
        {BusyRole, "busy"},
        {DetailRole, "detail"},
    };
}

int RowListModel::indexOfKey(const QString &key) const {
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items.at(i).row.key == key)
            return i;
    return -1;
}

int RowListModel::focusableRow(int index, int step) const {
    if (step == 0)
        return -1;
    for (; index >= 0 && index < m_items.size(); index += step) {
        const Row &row = m_items.at(index).row;
        if (row.enabled || row.kind == RowKind::textField)
            return index;
    }
    return -1;
}

int RowListModel::findId(const QString &id, int from, int end) const {
    for (int i = from; i < end; ++i)
        if (m_items.at(i).id == id)
            return i;
    return -1;
}

QList<int> RowListModel::changedRoles(const Item &was, const Item &is) {
    const Row &a = was.row;
    const Row &b = is.row;
    QList<int> roles;
    const auto add = [&roles](bool changed, std::initializer_list<int> names) {
        if (changed)
            roles.append(names);
    };
    add(a.key != b.key, {KeyRole});
    add(a.kind != b.kind, {KindRole});
    add(a.text != b.text, {TextRole, Qt::DisplayRole});
    add(a.systemImage != b.systemImage, {SystemImageRole});
    add(a.buttonStyle != b.buttonStyle, {ButtonStyleRole});
    add(a.tint != b.tint, {TintRole});
    add(a.enabled != b.enabled, {EnabledRole});
    add(a.deletable != b.deletable, {DeletableRole});
    add(a.placeholder != b.placeholder, {PlaceholderRole});
    add(a.accessibleDescription != b.accessibleDescription, {AccessibleDescriptionRole});
    add(was.section != is.section, {SectionRole});
    add(was.sectionIndex != is.sectionIndex, {SectionIndexRole});
    add(was.firstInSection != is.firstInSection, {FirstInSectionRole});
    add(was.lastInSection != is.lastInSection, {LastInSectionRole});
    return roles;
}

void RowListModel::markEdges(QList<Item> &items, const Item *before, const Item *after) {
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Item *previous = i > 0 ? &items.at(i - 1) : before;
        const Item *next = i + 1 < items.size() ? &items.at(i + 1) : after;
        Item &item = items[i];
        item.firstInSection = !previous || previous->sectionIndex != item.sectionIndex;
        item.lastInSection = !next || next->sectionIndex != item.sectionIndex;
    }
}

void RowListModel::updateEdges(int i) {
    if (i < 0 || i >= m_items.size())
        return;
    QList<Item> one{m_items.at(i)};
    markEdges(one, i > 0 ? &m_items.at(i - 1) : nullptr,
              i + 1 < m_items.size() ? &m_items.at(i + 1) : nullptr);
    if (one.first() == m_items.at(i))
        return;
    m_items[i] = std::move(one.first());
    Q_EMIT dataChanged(index(i), index(i), {FirstInSectionRole, LastInSectionRole});
}

void RowListModel::apply(const QList<Section> &sections) {
    QList<Item> target;
    for (int s = 0; s < sections.size(); ++s)
        for (const Row &row : sections.at(s).rows)
            target.append({{}, row, sections.at(s).header, s});
    replace(0, int(m_items.size()), std::move(target));
}

void RowListModel::applyRange(int first, int count, const QString &header, int sectionIndex,
                              const QList<Row> &rows) {
    QList<Item> target;
    target.reserve(rows.size());
    for (const Row &row : rows)
        target.append({{}, row, header, sectionIndex});
    replace(first, count, std::move(target));
}

void RowListModel::insertRowsAt(int at, const QString &header, int sectionIndex,
                                const QList<Row> &rows) {
    if (rows.isEmpty())
        return;
    QList<Item> items;
    items.reserve(rows.size());
    for (const Row &row : rows)
        items.append({row.key, row, header, sectionIndex});
    markEdges(items, at > 0 ? &m_items.at(at - 1) : nullptr,
              at < m_items.size() ? &m_items.at(at) : nullptr);
    beginInsertRows({}, at, at + int(items.size()) - 1);
    for (qsizetype i = 0; i < items.size(); ++i)
        m_items.insert(at + i, std::move(items[i]));
    endInsertRows();
    updateEdges(at - 1);
    updateEdges(at + int(rows.size()));
    Q_EMIT countChanged();
}

void RowListModel::removeRowsAt(int first, int count) {
    if (count <= 0)
        return;
    beginRemoveRows({}, first, first + count - 1);
    m_items.remove(first, count);
    endRemoveRows();
    updateEdges(first - 1);
    updateEdges(first);
    Q_EMIT countChanged();
}

void RowListModel::setRowsEnabled(int first, int count, bool enabled) {
    const int end = std::min(first + count, int(m_items.size()));
    for (int i = std::max(first, 0); i < end;) {
        if (m_items.at(i).row.enabled == enabled) {
            ++i;
            continue;
        }
        const int from = i;
        for (; i < end && m_items.at(i).row.enabled != enabled; ++i)
            m_items[i].row.enabled = enabled;
        Q_EMIT dataChanged(index(from), index(i - 1), {EnabledRole});
    }
}

QList<Section> RowListModel::sections() const {
    QList<Section> out;
    for (int i = 0; i < m_items.size(); ++i) {
        const Item &item = m_items.at(i);
        if (item.firstInSection || out.isEmpty())
            out.append({item.section, {}});
        out.last().rows.append(item.row);
    }
    return out;
}

void RowListModel::replace(int first, int count, QList<Item> target) {
    markEdges(target, first > 0 ? &m_items.at(first - 1) : nullptr,
              first + count < m_items.size() ? &m_items.at(first + count) : nullptr);
    QHash<QString, int> occurrences;
    QSet<QString> wanted;
    wanted.reserve(target.size());
    for (Item &item : target) {
        const int n = occurrences[item.row.key]++;
        item.id = n == 0 ? item.row.key : item.row.key + QChar(0) + QString::number(n);
        wanted.insert(item.id);
    }

    const qsizetype before = m_items.size();
    int end = first + count;

    // Removals first, back to front in contiguous runs, so each index is valid when used.
    for (int last = end - 1; last >= first;) {
        if (wanted.contains(m_items.at(last).id)) {
            --last;
            continue;
        }
        int from = last;
        while (from > first && !wanted.contains(m_items.at(from - 1).id))
            --from;
        beginRemoveRows({}, from, last);
        m_items.remove(from, last - from + 1);
        endRemoveRows();
        end -= last - from + 1;
        last = from - 1;
    }

    // What is left is a subset of the target: walk the target and keep, move up or insert.
    for (int t = 0; t < target.size(); ++t) {
        const int i = first + t;
        const Item &want = target.at(t);
        if (i >= end || m_items.at(i).id != want.id) {
            const int from = findId(want.id, i + 1, end);
            if (from < 0) {
                beginInsertRows({}, i, i);
                m_items.insert(i, want);
                endInsertRows();
                ++end;
                continue;
            }
            beginMoveRows({}, from, from, {}, i);
            m_items.move(from, i);
            endMoveRows();
        }
        if (!(m_items.at(i) == want)) {
            // Only the roles that changed: a view rebinds just those (at the cap, `enabled` of
            // the add row and every suggestion flips, nothing else).
            const QList<int> roles = changedRoles(m_items.at(i), want);
            m_items[i] = want;
            Q_EMIT dataChanged(index(i), index(i), roles);
        }
    }
    updateEdges(first - 1);
    updateEdges(first + int(target.size()));

    if (m_items.size() != before)
        Q_EMIT countChanged();
}
