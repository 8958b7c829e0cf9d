#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

#include <optional>

class QWindow;

/** The window as it was left: its normal (not maximized) frame and whether it was maximized. */
struct WindowGeometry {
    /** Client area, in the desktop's coordinates, as QWindow::geometry() reports it. */
    QRect normal;
    bool maximized = false;
    friend bool operator==(const WindowGeometry &, const WindowGeometry &) = default;
};

/** Where the window opens: always a size, a position only when the saved one is still usable. */
struct WindowPlacement {
    QSize size;
    std::optional<QPoint> position;
    bool maximized = false;
    friend bool operator==(const WindowPlacement &, const WindowPlacement &) = default;
};

/**
 * The saved geometry fitted to today's screens (their available areas): a size larger than
 * every screen shrinks to the largest, and the position is dropped, leaving the placement to
 * the window manager, unless a grip of the window's top edge lies on some screen.
 */
WindowPlacement placeWindow(const WindowGeometry &saved, const QList<QRect> &availableScreens);

/**
 * The window's size and position between runs, in a file of the desktop build's own under
 * $XDG_STATE_HOME: it is state of this machine's window, not a setting of the app, so it stays
 * out of the app's settings file.
 *
 * Reading never changes the file. A file that is not a plain file of ours (a link, a folder, a
 * huge or unreadable file) is never written over; a damaged one is set aside, intact, before
 * the next write.
 */
class WindowStateFile {
public:
    enum class Status {
        absent,  ///< nothing saved yet
        ok,      ///< `geometry` holds it
        damaged, ///< a plain file whose content is not a window state; set aside at the next write
        refused, ///< not a plain file, too large or unreadable; left alone and never written over
    };
    struct ReadResult {
        Status status = Status::absent;
        std::optional<WindowGeometry> geometry;
        QString message;
    };

    explicit WindowStateFile(QString path);
    /** window-state.json under $XDG_STATE_HOME/<application name>, as the environment says now. */
    static QString defaultPath();

    QString path() const { return m_path; }
    ReadResult read();
    /** Replaces the file atomically; false with `error` set when it cannot or may not. */
    bool write(const WindowGeometry &geometry, QString *error = nullptr);

    /** File format: pure, never touches the disk. */
    static QByteArray serialize(const WindowGeometry &geometry);
    static std::optional<WindowGeometry> parse(const QByteArray &data);

private:
    QString m_path;
};

/**
 * Keeps one window's geometry in a WindowStateFile: tells where the window should open, then
 * follows it and saves shortly after each move or resize (so a killed app keeps the last one)
 * and when the application quits.
 */
class WindowStateKeeper : public QObject {
    Q_OBJECT
public:
    explicit WindowStateKeeper(QString path = WindowStateFile::defaultPath(),
                               QObject *parent = nullptr);

    /** Where the window should open, or nullopt for the window's own defaults (first run). */
    std::optional<WindowPlacement> placement();
    /** Follows `window` from now on. */
    void follow(QWindow *window);
    /** Writes what changed since the last write, at once. */
    void saveNow();

private:
    void windowChanged();

    WindowStateFile m_file;
    std::optional<WindowGeometry> m_saved;
    WindowGeometry m_current;
    QWindow *m_window = nullptr;
    QTimer m_saveTimer;
    bool m_warnedOfWrite = false;
};
