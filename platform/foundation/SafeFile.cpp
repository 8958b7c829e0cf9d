#include "foundation/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using SafeFile::errnoText;

QString kindName(mode_t mode) {
    if (S_ISLNK(mode))
        return u"a symbolic link"_s;
    if (S_ISDIR(mode))
        return u"a folder"_s;
    if (S_ISFIFO(mode))
        return u"a FIFO"_s;
    if (S_ISSOCK(mode))
        return u"a socket"_s;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return u"a device"_s;
    return u"not a regular file"_s;
}

/** Closes the descriptor on every way out. */
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

/**
 * rename(2) that fails with EEXIST instead of replacing the target. Where the file system has
 * no RENAME_NOREPLACE, link and unlink do the same, as link never replaces either.
 */
int renameNoReplace(const QByteArray &from, const QByteArray &to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    if (::link(from.constData(), to.constData()) != 0)
        return -1;
    if (::unlink(from.constData()) != 0) {
        const int error = errno;
        ::unlink(to.constData()); // the original stays where it was
        errno = error;
        return -1;
    }
    return 0;
}

} // namespace

namespace SafeFile {

Kind kindOf(const QString &path, QString *reason) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        if (errno == ENOENT)
            return Kind::absent;
        if (reason)
            *reason = errnoText(errno);
        return Kind::error;
    }
    if (S_ISREG(info.st_mode))
        return Kind::regular;
    if (S_ISDIR(info.st_mode))
        return Kind::directory;
    if (S_ISLNK(info.st_mode))
        return Kind::symlink;
    return Kind::other;
}

QString describe(const QString &path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errnoText(errno);
    return S_ISREG(info.st_mode) ? u"a regular file"_s : kindName(info.st_mode);
}

ReadResult read(const QString &path, qint64 limit) {
    ReadResult result;
    Descriptor file;
    file.fd = ::open(QFile::encodeName(path).constData(),
                     O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (file.fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return result;
        if (error == ELOOP) {
            result.status = ReadResult::refused;
            result.reason = u"is a symbolic link"_s;
        } else {
            result.status = ReadResult::failed;
            result.reason = u"cannot be opened: %1"_s.arg(errnoText(error));
        }
        return result;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) {
        result.status = ReadResult::failed;
        result.reason = u"cannot be examined: %1"_s.arg(errnoText(errno));
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.status = ReadResult::refused;
        result.reason = u"is %1, not a regular file"_s.arg(kindName(info.st_mode));
        return result;
    }
    if (info.st_size > limit) {
        result.status = ReadResult::tooLarge;
        result.reason = u"is %1 bytes, over the limit of %2"_s.arg(info.st_size).arg(limit);
        return result;
    }
    // The size may change under us: read at most one byte past the limit to notice growth.
    QByteArray data(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == data.size()) {
            if (filled > limit)
                break;
            data.resize(std::min<qsizetype>(data.size() * 2, qsizetype(limit) + 1));
        }
        const ssize_t got = ::read(file.fd, data.data() + filled, size_t(data.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.status = ReadResult::failed;
            result.reason = u"cannot be read: %1"_s.arg(errnoText(errno));
            return result;
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > limit) {
        result.status = ReadResult::tooLarge;
        result.reason = u"grew over the limit of %1 bytes while being read"_s.arg(limit);
        return result;
    }
    data.truncate(filled);
    result.status = ReadResult::ok;
    result.data = std::move(data);
    return result;
}

bool isRealDirectory(const QString &path, QString *error) {
    QString reason;
    switch (kindOf(path, &reason)) {
    case Kind::directory:
        return true;
    case Kind::absent:
        reason = u"does not exist"_s;
        break;
    case Kind::error:
        break;
    default:
        reason = u"is %1, not a folder"_s.arg(describe(path));
        break;
    }
    if (error)
        *error = u"%1 %2"_s.arg(path, reason);
    return false;
}

bool ensureDirectory(const QString &base, const QString &relative, QString *error) {
    if (!QDir().mkpath(base)) {
        if (error)
            *error = u"cannot create %1"_s.arg(base);
        return false;
    }
    QString path = base;
    for (const QString &part : relative.split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + part;
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = u"cannot create %1: %2"_s.arg(path, errnoText(errno));
            return false;
        }
        if (!isRealDirectory(path, error))
            return false;
    }
    return true;
}

bool write(const QString &path, const QByteArray &data, QString *error) {
    const QString folder = QFileInfo(path).path();
    if (!isRealDirectory(folder, error))
        return false;
    QString reason;
    const Kind kind = kindOf(path, &reason);
    if (kind == Kind::error || (kind != Kind::absent && kind != Kind::regular)) {
        if (error)
            *error = kind == Kind::error
                         ? u"cannot examine %1: %2"_s.arg(path, reason)
                         : u"%1 is %2; it is left as it is"_s.arg(path, describe(path));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = u"cannot write %1: %2"_s.arg(path, file.errorString());
        return false;
    }
    return true;
}

bool remove(const QString &path, QString *error) {
    QString reason;
    switch (kindOf(path, &reason)) {
    case Kind::absent:
        return true;
    case Kind::regular:
        if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
            return true;
        reason = errnoText(errno);
        break;
    case Kind::error:
        break;
    default:
        if (error)
            *error = u"%1 is %2; it is left as it is"_s.arg(path, describe(path));
        return false;
    }
    if (error)
        *error = u"cannot remove %1: %2"_s.arg(path, reason);
    return false;
}

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

std::optional<QString> setAside(const QString &path, QString *error,
                                const QStringList &companions) {
    const auto fail = [&](const QString &reason) -> std::optional<QString> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const QString base = path + u".corrupt-"_s +
                         QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmsszzz'Z'"_s);
    const QByteArray from = QFile::encodeName(path);
    for (int n = 1; n < 1000; ++n) {
        // Concatenated, not arg(): file names may hold '%' sequences of their own.
        const QString target = n == 1 ? base : base + u'-' + QString::number(n);
        const bool companionTaken =
            std::any_of(companions.begin(), companions.end(), [&](const QString &suffix) {
                return kindOf(target + suffix) != Kind::absent;
            });
        if (companionTaken)
            continue;
        if (renameNoReplace(from, QFile::encodeName(target)) != 0) {
            if (errno == EEXIST)
                continue;
            return fail(u"cannot rename %1 to %2: %3"_s.arg(path, target, errnoText(errno)));
        }
        // A journal left behind would be replayed into whatever is made at `path` next.
        for (const QString &suffix : companions) {
            if (kindOf(path + suffix) == Kind::absent)
                continue;
            if (renameNoReplace(QFile::encodeName(path + suffix),
                                QFile::encodeName(target + suffix)) != 0)
                return fail(u"moved %1 to %2, but not %3: %4"_s.arg(path, target, path + suffix,
                                                                    errnoText(errno)));
        }
        return target;
    }
    return fail(u"cannot find a free name to set %1 aside"_s.arg(path));
}

} // namespace SafeFile
