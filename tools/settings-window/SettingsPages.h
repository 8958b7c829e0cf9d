#pragma once

#include "DnsSettingsBackend.h"

#include "screens/ScreenModel.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QPointer>

#include <memory>
#include <optional>

/**
 * A page that only leads on: one row per page below it, each a plain button whose text is the
 * next page's title (so its accessible name is exactly that title).
 */
class MenuPage : public ScreenModel {
    Q_OBJECT
    QML_NAMED_ELEMENT(MenuPageModel)
    QML_UNCREATABLE("Created by the window")
public:
    struct Link {
        QString key;
        QString title;
        QString systemImage;
    };
    MenuPage(QString title, QList<Link> links, ScenePhaseSource *scenePhase,
             QObject *parent = nullptr);

    void activate(const QString &key) override;

Q_SIGNALS:
    /** The row `key` was pressed: the page it names is to open. */
    void linkActivated(const QString &key);

protected:
    QList<Screen::Section> sections() const override;

private:
    QList<Link> m_links;
};

/**
 * The DNS page: every stored DNS configuration by its display name with one switch, and under
 * it one line that says what is true on this computer (in the platform's words). Reading and
 * switching run on the platform's worker; the page shows a switch busy until its answer is back,
 * and reads everything again whenever something it watches changes, when it comes into view and
 * when the window becomes active again.
 */
class DnsPage : public ScreenModel {
    Q_OBJECT
    QML_NAMED_ELEMENT(DnsPageModel)
    QML_UNCREATABLE("Created by the window")
    Q_PROPERTY(bool loaded READ isLoaded NOTIFY loadedChanged)
public:
    DnsPage(std::shared_ptr<DnsSettingsBackend> backend, ScenePhaseSource *scenePhase,
            QObject *parent = nullptr);

    static QString rowKey(const QString &identifier);

    bool isLoaded() const { return m_loaded; }
    /** A read is under way (or queued on the worker). */
    bool isReading() const { return m_reading; }
    /** Reads the configurations again (at most one read in flight, one more queued). */
    void reload();

    void appear() override;
    /** A switch row: switches its configuration the other way. */
    void activate(const QString &key) override;

Q_SIGNALS:
    void loadedChanged();
    /** A read has been applied; tests and the window's start wait on it. */
    void reloaded();
    /** A switch came back, with the platform's outcome. */
    void switched(const QString &identifier, int status);

protected:
    QList<Screen::Section> sections() const override;
    void scenePhaseChanged(ScenePhase phase) override;

private:
    struct Note {
        QString text;
        bool storedSwitch = false; ///< what the entry said when the note was made
    };
    void apply(std::optional<QList<DnsSettingsBackend::Entry>> entries, const QString &error,
               const QStringList &watched);
    void finishSwitch(const QString &identifier, bool on, const DnsSettingsBackend::Outcome &out);
    void watch(const QStringList &paths);

    std::shared_ptr<DnsSettingsBackend> m_backend;
    QList<DnsSettingsBackend::Entry> m_entries;
    /** Why nothing could be listed at the last read; empty when it could. */
    QString m_error;
    /** Identifier → the position asked for while its switch is under way. */
    QHash<QString, bool> m_busy;
    /** Identifier → what the last switch that did not happen says, until the entry changes. */
    QHash<QString, Note> m_notes;
    QFileSystemWatcher m_watcher;
    bool m_loaded = false;
    bool m_reading = false;
    bool m_readAgain = false;
};

/**
 * The window's pages as a stack: "Settings" at the bottom, then "General", "VPN" and "DNS" as
 * their rows are pressed; back() goes down one page. QML draws `page` and offers back while
 * `canGoBack`.
 */
class SettingsNavigator : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(SettingsNavigatorModel)
    QML_UNCREATABLE("Created by the window")
    Q_PROPERTY(ScreenModel *page READ page NOTIFY pageChanged)
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY pageChanged)
    Q_PROPERTY(QString backTitle READ backTitle NOTIFY pageChanged)
    Q_PROPERTY(int depth READ depth NOTIFY pageChanged)
    Q_PROPERTY(QList<ScreenModel *> pages READ pages CONSTANT)
public:
    SettingsNavigator(std::shared_ptr<DnsSettingsBackend> backend, ScenePhaseSource *scenePhase,
                      QObject *parent = nullptr);

    ScreenModel *page() const { return m_stack.last(); }
    bool canGoBack() const { return m_stack.size() > 1; }
    /** The title of the page back() returns to; empty on the first page. */
    QString backTitle() const;
    int depth() const { return int(m_stack.size()); }
    DnsPage *dnsPage() const { return m_dns; }
    /** Every page in the order they open; the one shown is pages()[depth() - 1]. */
    QList<ScreenModel *> pages() const { return {m_settings, m_general, m_vpn, m_dns}; }

    /** Opens the page a row names; a key of no page below the current one does nothing. */
    Q_INVOKABLE void open(const QString &key);
    Q_INVOKABLE void back();

    static inline const QString generalKey = QStringLiteral("general");
    static inline const QString vpnKey = QStringLiteral("vpn");
    static inline const QString dnsKey = QStringLiteral("dns");

Q_SIGNALS:
    void pageChanged();

private:
    MenuPage *m_settings;
    MenuPage *m_general;
    MenuPage *m_vpn;
    DnsPage *m_dns;
    QList<ScreenModel *> m_stack;
};
