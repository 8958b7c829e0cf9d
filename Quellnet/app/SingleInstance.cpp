#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcInstance, "quellnet.instance")

namespace {

constexpr qint64 maxRequest = 1024;

/** A folder opened without following a link, or why it could not be. */
struct OpenedFolder {
    int fd = -1;
    QString refusal;
};

/**
 * Opens `path` if it is a real folder of this account that no other account can enter: one
 * that another account made, or can write into, lets it hold the lock or answer in our place.
 */
OpenedFolder openOwnFolder(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat link {};
        if (::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode))
            return {-1, u"it is a link"_s};
        return {-1, QString::fromLocal8Bit(strerror(error))};
    }
    struct stat folder {};
    QString refusal;
    if (::fstat(fd, &folder) != 0)
        refusal = QString::fromLocal8Bit(strerror(errno));
    else if (folder.st_uid != ::geteuid())
        refusal = u"it belongs to uid %1, not %2"_s.arg(folder.st_uid).arg(::geteuid());
    else if ((folder.st_mode & 07777) != 0700)
        refusal = u"its mode is %1, not 0700"_s.arg(folder.st_mode & 07777, 4, 8, QChar(u'0'));
    if (refusal.isEmpty())
        return {fd, {}};
    ::close(fd);
    return {-1, refusal};
}

QString userName() {
    const uid_t uid = ::geteuid();
    passwd entry{};
    passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QFile::decodeName(found->pw_name);
    return QString::number(uid);
}

/** The first acceptable folder of privateFolder(), opened; fd -1 when there is none. */
std::pair<QString, int> openPrivateFolder() {
    QStringList candidates;
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        candidates << runtime;
    // Where Qt puts its runtime folder without XDG_RUNTIME_DIR; any account can make it first.
    const QString shared = QDir::tempPath() + u"/runtime-"_s + userName();
    candidates << shared;
    // In this account's own files no other account can make it first.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString own = cache.isEmpty() ? QString() : cache + u"/runtime"_s;
    if (!own.isEmpty())
        candidates << own;
    for (const QString &folder : std::as_const(candidates)) {
        if (folder == shared)
            ::mkdir(QFile::encodeName(shared).constData(), 0700);
        else if (folder == own && QDir().mkpath(cache))
            ::mkdir(QFile::encodeName(own).constData(), 0700);
        const OpenedFolder opened = openOwnFolder(folder);
        if (opened.fd >= 0)
            return {folder, opened.fd};
        qCWarning(lcInstance, "The folder %s is refused for the lock of a single running copy: %s",
                  qUtf8Printable(folder), qUtf8Printable(opened.refusal));
    }
    qCWarning(lcInstance, "No private folder for the lock of a single running copy: later launches "
                          "start another copy instead of handing over to this one");
    return {QString(), -1};
}

void serve(QLocalSocket *peer, const std::function<void(const QByteArray &)> &activate) {
    QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, activate] {
        if (!peer->canReadLine()) {
            if (peer->bytesAvailable() > maxRequest)
                peer->abort();
            return;
        }
        const QByteArray line = peer->readLine(maxRequest);
        if (!line.startsWith("activate") || !line.endsWith('\n')) {
            peer->abort();
            return;
        }
        QByteArray token = line.chopped(1).mid(9);
        // A token is printable ASCII; anything else is not passed on to the desktop.
        if (std::any_of(token.cbegin(), token.cend(), [](char c) { return c <= ' ' || c > '~'; }))
            token.clear();
        peer->write("ok\n");
        peer->disconnectFromServer();
        activate(token);
    });
}

} // namespace

SingleInstance::SingleInstance(const QString &name) {
    const auto [folder, folderFd] = openPrivateFolder();
    if (folderFd < 0)
        return; // run unshared rather than not at all
    m_base = folder + u'/' + name;
    m_lock = ::openat(folderFd, QFile::encodeName(name + u".lock"_s).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    const int openError = errno;
    ::close(folderFd);
    if (m_lock < 0) {
        // errno is read before logging, which may itself change it.
        qCWarning(lcInstance, "No lock for a single running copy at %s.lock: %s",
                  qUtf8Printable(m_base),
                  openError == ELOOP ? "it is a link and is refused" : strerror(openError));
        m_base.clear();
        return;
    }
    while (::flock(m_lock, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        qCWarning(lcInstance, "No lock for a single running copy at %s.lock: %s",
                  qUtf8Printable(m_base), strerror(errno));
        unlock();
        m_base.clear();
        return;
    }
}

SingleInstance::~SingleInstance() {
    unlock();
}

SingleInstance::Launch SingleInstance::handOver(const QByteArray &token) {
    if (m_lock < 0)
        return Launch::first;
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000))
        return Launch::first; // nobody there, or a socket left by a copy that died
    unlock();
    socket.write("activate " + token + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
    }
    if (socket.readLine(8) != "ok\n") {
        qCWarning(lcInstance, "A copy is already running but does not answer");
        return Launch::notAnswered;
    }
    qCInfo(lcInstance, "Handed over to the running copy");
    return Launch::handedOver;
}

void SingleInstance::listen(std::function<void(const QByteArray &)> activate) {
    if (m_lock < 0)
        return;
    QLocalServer::removeServer(socketPath()); // handOver() found no copy answering on it
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(socketPath()))
        qCInfo(lcInstance, "Listening for later launches on %s", qUtf8Printable(socketPath()));
    else
        qCWarning(lcInstance, "Later launches cannot reach this copy: %s",
                  qUtf8Printable(m_server.errorString()));
    unlock();
    QObject::connect(&m_server, &QLocalServer::newConnection, &m_server,
                     [this, activate = std::move(activate)] {
                         while (QLocalSocket *peer = m_server.nextPendingConnection())
                             serve(peer, activate);
                     });
}

QString SingleInstance::socketPath() const {
    return m_base.isEmpty() ? QString() : m_base + u".socket"_s;
}

QString SingleInstance::nameFor(const QString &program, const QString &file) {
    const QByteArray key = QCryptographicHash::hash(QFileInfo(file).absoluteFilePath().toUtf8(),
                                                    QCryptographicHash::Sha256);
    return program + u'-' + QString::fromLatin1(key.toHex().left(16));
}

QString SingleInstance::privateFolder() {
    const auto [folder, fd] = openPrivateFolder();
    if (fd >= 0)
        ::close(fd);
    return folder;
}

void SingleInstance::unlock() {
    if (m_lock >= 0)
        ::close(m_lock);
    m_lock = -1;
}

void SingleInstance::bringForward(QWindow *window, const QByteArray &token) {
    if (!window)
        return;
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token);
    window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->requestActivate();
}
