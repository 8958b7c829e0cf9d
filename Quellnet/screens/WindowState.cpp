#include "WindowState.h"

#include "foundation/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {
constexpr int formatVersion = 1;
// The file holds a handful of numbers; anything larger is not ours.
constexpr qint64 maximumFileSize = 4096;
// X11 coordinates are 16 bits; sizes beyond them are no real window.
constexpr int coordinateLimit = 32767;
// How much of the window's top edge must lie on a screen for the window to be grabbed there.
constexpr int gripWidth = 64;
constexpr int gripHeight = 16;
constexpr int saveDelayMilliseconds = 500;

std::optional<int> integer(const QJsonObject &object, const QString &key, int min, int max) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!(number >= min && number <= max) || number != double(int(number)))
        return std::nullopt;
    return int(number);
}

} // namespace

WindowPlacement placeWindow(const WindowGeometry &saved, const QList<QRect> &availableScreens) {
    WindowPlacement placement{saved.normal.size(), std::nullopt, saved.maximized};
    const QRect grip(saved.normal.topLeft(), QSize(saved.normal.width(), gripHeight));
    const QRect *home = nullptr;
    for (const QRect &screen : availableScreens) {
        const QRect onScreen = grip.intersected(screen);
        if (onScreen.width() >= std::min(gripWidth, grip.width()) &&
            onScreen.height() >= std::min(gripHeight, saved.normal.height())) {
            home = &screen;
            break;
        }
    }
    if (home) {
        placement.position = saved.normal.topLeft();
    } else {
        // The screen it was on is gone: the largest one left takes it.
        for (const QRect &screen : availableScreens)
            if (!home ||
                qint64(screen.width()) * screen.height() > qint64(home->width()) * home->height())
                home = &screen;
    }
    if (home)
        placement.size = placement.size.boundedTo(home->size());
    return placement;
}

WindowStateFile::WindowStateFile(QString path)
    : m_path(std::move(path)) {}

QString WindowStateFile::defaultPath() {
    // XDG says a relative value is invalid and must be ignored.
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || QDir::isRelativePath(stateHome))
        stateHome = QDir::homePath() + u"/.local/state"_s;
    return QDir::cleanPath(stateHome + u'/' + QCoreApplication::applicationName() +
                           u"/window-state.json"_s);
}

WindowStateFile::ReadResult WindowStateFile::read() {
    ReadResult result;
    // A link is never followed and a FIFO put there cannot stall the start.
    const SafeFile::ReadResult file = SafeFile::read(m_path, maximumFileSize);
    switch (file.status) {
    case SafeFile::ReadResult::absent:
        return result;
    case SafeFile::ReadResult::ok:
        break;
    case SafeFile::ReadResult::tooLarge:
        result.status = Status::refused;
        result.message = u"%1 is too large"_s.arg(m_path);
        return result;
    case SafeFile::ReadResult::refused:
    case SafeFile::ReadResult::failed:
        result.status = Status::refused;
        result.message = u"%1 cannot be read: %2"_s.arg(m_path, file.reason);
        return result;
    }
    const QByteArray &data = file.data;
    result.geometry = parse(data);
    if (result.geometry) {
        result.status = Status::ok;
    } else {
        result.status = Status::damaged;
        result.message = u"%1 is damaged; it will be set aside"_s.arg(m_path);
    }
    return result;
}

bool WindowStateFile::write(const WindowGeometry &geometry, QString *error) {
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    // Checked again now: the file may have changed since it was read.
    const ReadResult current = read();
    if (current.status == Status::refused)
        return fail(current.message + u"; the window state is not saved"_s);
    if (current.status == Status::damaged) {
        QString reason;
        if (!SafeFile::setAside(m_path, &reason))
            return fail(u"%1 is damaged and cannot be set aside: %2"_s.arg(m_path, reason));
    }
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(u"cannot create %1"_s.arg(folder));
    QString reason;
    if (!SafeFile::write(m_path, serialize(geometry), &reason))
        return fail(reason);
    return true;
}

QByteArray WindowStateFile::serialize(const WindowGeometry &geometry) {
    return QJsonDocument(QJsonObject{
                             {u"version"_s, formatVersion},
                             {u"x"_s, geometry.normal.x()},
                             {u"y"_s, geometry.normal.y()},
                             {u"width"_s, geometry.normal.width()},
                             {u"height"_s, geometry.normal.height()},
                             {u"maximized"_s, geometry.maximized},
                         })
        .toJson();
}

std::optional<WindowGeometry> WindowStateFile::parse(const QByteArray &data) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto version = integer(object, u"version"_s, formatVersion, formatVersion);
    const auto x = integer(object, u"x"_s, -coordinateLimit, coordinateLimit);
    const auto y = integer(object, u"y"_s, -coordinateLimit, coordinateLimit);
    const auto width = integer(object, u"width"_s, 1, coordinateLimit);
    const auto height = integer(object, u"height"_s, 1, coordinateLimit);
    const QJsonValue maximized = object.value(u"maximized"_s);
    if (!version || !x || !y || !width || !height || !maximized.isBool())
        return std::nullopt;
    return WindowGeometry{QRect(*x, *y, *width, *height), maximized.toBool()};
}

WindowStateKeeper::WindowStateKeeper(QString path, QObject *parent)
    : QObject(parent)
    , m_file(std::move(path)) {
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(saveDelayMilliseconds);
    connect(&m_saveTimer, &QTimer::timeout, this, &WindowStateKeeper::saveNow);
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &WindowStateKeeper::saveNow);
}

std::optional<WindowPlacement> WindowStateKeeper::placement() {
    const WindowStateFile::ReadResult read = m_file.read();
    if (!read.message.isEmpty())
        qWarning("%s", qPrintable(read.message));
    if (!read.geometry)
        return std::nullopt;
    m_saved = m_current = *read.geometry;
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    return placeWindow(*read.geometry, screens);
}

void WindowStateKeeper::follow(QWindow *window) {
    m_window = window;
    for (auto changed :
         {&QWindow::xChanged, &QWindow::yChanged, &QWindow::widthChanged, &QWindow::heightChanged})
        connect(window, changed, this, &WindowStateKeeper::windowChanged);
    connect(window, &QWindow::windowStateChanged, this, &WindowStateKeeper::windowChanged);
}

void WindowStateKeeper::windowChanged() {
    const Qt::WindowStates states = m_window->windowStates();
    if (states & Qt::WindowMinimized)
        return; // minimized is no state to open in; keep what was before
    m_current.maximized = states.testFlag(Qt::WindowMaximized);
    if (!(states & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        m_current.normal = m_window->geometry();
    m_saveTimer.start();
}

void WindowStateKeeper::saveNow() {
    m_saveTimer.stop();
    if (m_current.normal.isEmpty() || m_saved == m_current)
        return;
    QString error;
    if (m_file.write(m_current, &error))
        m_saved = m_current;
    else if (!std::exchange(m_warnedOfWrite, true))
        qWarning("%s", qPrintable(error));
}
