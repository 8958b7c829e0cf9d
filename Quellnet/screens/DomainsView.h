#pragma once

#include "blocklist/Domain.h"
#include "screens/ScreenModel.h"

#include <QStringList>

#include <functional>

class BlocklistStore;

/**
 * The Domains tab: the blocklist with its add field, one-tap suggestions from the built-in
 * list, search and deletion, and the "More Options" apps. Bringing it into view (or returning
 * to the app while it exists) runs the once-per-version review request and promotion.
 *
 * Row keys: "moreOptions:<n>", "add" (the field), "paste", "suggestion:<entry>" and
 * "domain:<id>@<address>" for entries, which names one record even among duplicates.
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
    static inline const QString pasteKey = QStringLiteral("paste");
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
    QList<Screen::Section> sections() const override;
    void scenePhaseChanged(ScenePhase phase) override;

private:
    void domainsChanged();

    BlocklistStore *m_store;
    QString m_domain;
    QString m_searchText;
    bool m_listFull = false;
    // Derived from the records only, so a keystroke does not redo them.
    QStringList m_offered;
    QList<Screen::Row> m_entryRows;
    Actions m_actions;
};
