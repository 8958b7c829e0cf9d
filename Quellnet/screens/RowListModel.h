#pragma once

#include "screens/ScreenContent.h"

#include <QAbstractListModel>

/**
 * The rows of a screen as one flat list model (each row carries its section header), updated
 * by key: rows that stay keep their index identity, so views animate inserts and removals and
 * keep their scroll position instead of being reset.
 */
class RowListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ rowCountProperty NOTIFY countChanged)
public:
    enum Roles {
        KeyRole = Qt::UserRole + 1,
        KindRole,
        TextRole,
        SystemImageRole,
        ButtonRoleRole,
        ButtonStyleRole,
        TintRole,
        EnabledRole,
        DeletableRole,
        SeparatorHiddenRole,
        PlaceholderRole,
        SectionRole,
        SectionIndexRole,
        FirstInSectionRole,
        LastInSectionRole,
        AccessibleDescriptionRole,
    };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    /**
     * Brings the model to `sections` through row removals, moves, inserts and changes, never a
     * reset. Rows are matched by key; a key repeated by mistake is matched by its occurrence.
     */
    void apply(const QList<Screen::Section> &sections);

    const Screen::Row &rowAt(int index) const { return m_items.at(index).row; }
    /** Index of the row with `key`, or -1. */
    Q_INVOKABLE int indexOfKey(const QString &key) const;

Q_SIGNALS:
    void countChanged();

private:
    struct Item {
        /** The diff identity: the row's key, made unique by occurrence. */
        QString id;
        Screen::Row row;
        QString section;
        int sectionIndex = 0;
        // Where the row sits in its section, so views round the group's corners.
        bool firstInSection = false;
        bool lastInSection = false;
        bool operator==(const Item &) const = default;
    };
    int rowCountProperty() const { return int(m_items.size()); }
    int findId(const QString &id, int from) const;

    QList<Item> m_items;
};
