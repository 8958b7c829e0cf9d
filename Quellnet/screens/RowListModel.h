#pragma once

#include "screens/ScreenContent.h"

#include <QAbstractListModel>

/**
 * The rows of a screen as one flat list model (each row carries its section header), updated
 * by key: rows that stay keep their index identity, so views animate inserts and removals and
 * keep their scroll position instead of being reset. A screen whose rows follow another model
 * (the Domains entries) inserts and removes them directly instead of diffing the whole list.
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
        ButtonStyleRole,
        TintRole,
        EnabledRole, // "rowEnabled": a field row stays enabled for its paste button
        DeletableRole,
        PlaceholderRole,
        SectionRole,
        SectionIndexRole,
        FirstInSectionRole,
        LastInSectionRole,
        AccessibleDescriptionRole,
        CheckedRole,
        BusyRole,
        DetailRole,
    };

    /** The `kind` role, named as QML wants enum keys (capitalised). */
    enum Kind {
        Label = int(Screen::RowKind::label),
        Button = int(Screen::RowKind::button),
        TextField = int(Screen::RowKind::textField),
        Toggle = int(Screen::RowKind::toggle),
    };
    Q_ENUM(Kind)

    /** Also makes every Qt Quick item tell assistive technology when it is disabled
        (AccessibleEnabledState), as rows that refuse are drawn from here. */
    explicit RowListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    /**
     * Brings the model to `sections` through row removals, moves, inserts and changes, never a
     * reset. Rows are matched by key; a key repeated by mistake is matched by its occurrence.
     */
    void apply(const QList<Screen::Section> &sections);
    /** As apply(), for rows [first, first + count) only: they become `rows` of section
        `sectionIndex` (headed `header`); the rows around them keep their place. */
    void applyRange(int first, int count, const QString &header, int sectionIndex,
                    const QList<Screen::Row> &rows);
    /** Inserts `rows` of section `sectionIndex` at `at`; their keys must be new. */
    void insertRowsAt(int at, const QString &header, int sectionIndex,
                      const QList<Screen::Row> &rows);
    void removeRowsAt(int first, int count);
    /** Sets `enabled` of rows [first, first + count), telling views of that role alone, in one
        change per run of rows that flipped: at the Domains cap every suggestion flips at once,
        and a view walks its rows once per change it is told of. */
    void setRowsEnabled(int first, int count, bool enabled);

    const Screen::Row &rowAt(int index) const { return m_items.at(index).row; }
    /** The rows grouped as the sections they were given in. */
    QList<Screen::Section> sections() const;
    /** Index of the row with `key`, or -1. */
    Q_INVOKABLE int indexOfKey(const QString &key) const;
    /** The first row from `index` on, stepping by `step` (1 or -1), that takes the keyboard:
        an enabled row, or a text field row (its paste button always does); -1 if none. */
    Q_INVOKABLE int focusableRow(int index, int step) const;

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
    int findId(const QString &id, int from, int end) const;
    /** Rows [first, first + count) become `target`, by id. */
    void replace(int first, int count, QList<Item> target);
    /** Sets the section-edge flags of `items`, to stand between `before` and `after`. */
    static void markEdges(QList<Item> &items, const Item *before, const Item *after);
    /** The roles whose values differ between two states of one row. */
    static QList<int> changedRoles(const Item &was, const Item &is);
    /** Row `i`'s edge flags again from its neighbours, after a change beside it. */
    void updateEdges(int i);

    QList<Item> m_items;
};
