#pragma once

#include <QObject>
#include <QPalette>

#include <optional>
#include <thread>

class QDBusVariant;

/**
 * Whether the screens draw light or dark. The desktop says so in two places: the palette of
 * its platform theme (KDE, or a GTK theme through Qt's plugin), and the freedesktop settings
 * portal's "color-scheme", which GNOME and others set and which wins whenever it states a
 * preference. Qt 6.4 reads only the first, so the portal is asked here.
 */
class Appearance : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool dark READ isDark NOTIFY darkChanged)
public:
    /** The portal's org.freedesktop.appearance color-scheme values. */
    enum PortalColorScheme : uint { noPreference = 0, preferDark = 1, preferLight = 2 };

    /**
     * Dark when the portal prefers dark, light when it prefers light, and otherwise (no answer,
     * no preference or a value of a later version) when the palette's text is lighter than its
     * window.
     */
    static bool prefersDark(std::optional<uint> portalColorScheme, const QPalette &palette);
    /** The uint inside a portal reply, however deeply wrapped in variants; nullopt for any
        other content. */
    static std::optional<uint> portalValue(const QVariant &reply);

    /** Follows the application palette from now on. */
    explicit Appearance(QObject *parent = nullptr);

    bool isDark() const { return m_dark; }

    /** What the portal last said (nullopt: it did not answer). */
    void setPortalColorScheme(std::optional<uint> value);
    /**
     * Asks the session bus's settings portal for its color-scheme and follows its changes. The
     * asking runs on a thread of its own: connecting to the bus loads libdbus and takes round
     * trips (about 10 ms), which would otherwise delay the first frame; the answer arrives
     * queued on this object's thread. Without a session bus or a portal the palette decides.
     */
    void followDesktopPortal();

Q_SIGNALS:
    void darkChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void portalSettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void update();

    std::optional<uint> m_portal;
    bool m_portalChanged = false;
    bool m_dark = false;
    std::jthread m_portalQuery; // last: joined before anything it reaches goes
};
