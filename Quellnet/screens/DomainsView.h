#pragma once

#include "blocklist/Domain.h"
#include "screens/ScreenModel.h"

#include <QHash>
#include <QStringList>

#include <functional>

class BlocklistStore;

/**
 * The Domains tab: the blocklist with its add field, one-tap suggestions from the built-in
 * list, search and deletion, and the "More Options" apps. Bringing it into view (or returning
 * to the app while it exists) runs the once-per-version review request and promotion.
 *
 * Row keys: "moreOptions:<n>", "add" (the field with its paste button), "suggestion:<entry>"
 * and "domain:<id>@<address>" for entries, which names one record even among duplicates.
 *
 * The rows follow the store's sorted list model: a record inserted or removed inserts or
 * removes its one entry row, a keystroke redoes only the rows it changes.
 */
class DomainsView : public ScreenModel {
    Q_OBJECT
    QML_NAMED_ELEMENT(DomainsViewModel)
    QML_UNCREATABLE("Created by the app")
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(QString domain READ domain WRITE setDomain NOTIFY domainChanged)
    Q_PROPERTY(bool listFull READ isListFull NOTIFY listFullChanged)
public:
    /** The once-per-version actions: the platform review request and the random promotion. */
    struct Actions {
        std::function<void()> requestReview;
        std::function<void()> promoteApp;
    };

    /** `store` must outlive the screen; an empty action is skipped. */
    DomainsView(BlocklistStore *store, ScenePhaseSource *scenePhase, Actions actions,
                QObject *parent = nullptr);

    static inline const QString addKey = QStringLiteral("add");
    static QString moreOptionsKey(int index);
    static QString suggestionKey(const QString &entry);
    static QString entryKey(const Domain &record);

    QString searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    QString domain() const { return m_domain; }
    void setDomain(const QString &text);
    bool isListFull() const;

    /** The add field's return key: adds the text unless it is a duplicate, and clears it.
        Refused (the text kept) while the list is full, as the field is disabled then. */
    Q_INVOKABLE void submitDomain();
    /** The first of `texts` (if any) replaces the add text; nothing is added. */
    Q_INVOKABLE void pasteDomain(const QStringList &texts);
    /** A suggestion tap; refused while the list is full, as the suggestion buttons are. */
    Q_INVOKABLE void addSuggestedDomain(const QString &entry);
    /** Deletes the records at `positions` in the full list (not the rows visible under a
        search), as the list stood when called: each named record once, saving after each. */
    Q_INVOKABLE void deleteDomains(const QList<int> &positions);
    /** Shows the store page of "More Options" row `index`, building its entry on first use. */
    Q_INVOKABLE void presentMoreOptionsApp(int index);

    void requestReviewIfNeeded();
    void promoteAppIfNeeded();

    void appear() override;
    void activate(const QString &key) override;
    void editText(const QString &key, const QString &text) override;
    void submit(const QString &key) override;
    void paste(const QString &key, const QStringList &texts) override;
    void deleteRows(const QStringList &keys) override;

Q_SIGNALS:
    void searchTextChanged();
    void domainChanged();
    void listFullChanged();

protected:
    /** The rows as shown. */
    QList<Screen::Section> sections() const override;
    void scenePhaseChanged(ScenePhase phase) override;

private:
    void rebuild();
    void recordsInserted(int first, int last);
    void recordsAboutToBeRemoved(int first, int last);
    /** After a change of the records: the suggestions offered, and the cap. */
    void updateOffer();
    void showAddRow();
    void showSuggestions();
    /** After a change of the search: the entry rows become the matching records. */
    void showEntries();

    Screen::Row addRow() const;
    QList<Screen::Row> suggestionRows() const;
    Screen::Row entryRow(const Domain &record) const;
    bool matches(const DomainRef &record) const;
    // Where the parts of the Domains section start in the rows (More Options comes first).
    int addIndex() const { return m_moreOptionsCount; }
    int suggestionsStart() const { return m_moreOptionsCount + 1; }
    int entriesStart() const { return suggestionsStart() + int(m_shownSuggestions); }

    BlocklistStore *m_store;
    const QString m_domainsHeader = tr("Domains");
    QString m_domain;
    QString m_searchText;
    bool m_listFull = false;
    int m_moreOptionsCount = 0;
    // The records' canonical forms, counted: a removal re-offers a built-in only with its last.
    QHash<QString, int> m_present;
    QStringList m_offered;
    qsizetype m_shownSuggestions = 0;
    // The records whose entry rows are shown, in list order, one per row after the suggestions.
    QList<DomainRef> m_shownEntries;
    Actions m_actions;
};
