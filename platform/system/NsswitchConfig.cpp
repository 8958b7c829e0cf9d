#include "system/NsswitchConfig.h"

#include "foundation/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray entry = QByteArray(NsswitchConfig::moduleEntry) + ' ';

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

/** Where the sources of a hosts line begin, after "hosts", blanks, ':' and blanks; -1 if none. */
qsizetype sourcesStart(const QByteArray &line) {
    qsizetype i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    if (!line.mid(i).startsWith("hosts"))
        return -1;
    i += 5;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != ':')
        return -1;
    ++i;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    return i;
}

/** Whether the sources at `start` begin with the module's entry (then a blank or the end). */
bool startsWithModule(const QByteArray &line, qsizetype start) {
    const QByteArray module(NsswitchConfig::moduleEntry);
    if (line.mid(start, module.size()) != module)
        return false;
    const qsizetype after = start + module.size();
    return after == line.size() || isBlank(line[after]) || line[after] == '\r';
}

/** Lines without their '\n'; the last one is empty when the text ends with a newline. */
QList<QByteArray> lines(const QByteArray &text) {
    return text.split('\n');
}

} // namespace

namespace NsswitchConfig {

bool hasModule(const QByteArray &text) {
    bool found = false;
    for (const QByteArray &line : lines(text)) {
        const qsizetype start = sourcesStart(line);
        if (start < 0)
            continue;
        if (!startsWithModule(line, start))
            return false;
        found = true;
    }
    return found;
}

std::optional<QByteArray> hostsLine(const QByteArray &text) {
    for (const QByteArray &line : lines(text)) {
        if (sourcesStart(line) >= 0)
            return line;
    }
    return std::nullopt;
}

std::optional<QByteArray> withModule(const QByteArray &text, QString *error) {
    QList<QByteArray> edited = lines(text);
    bool found = false;
    for (QByteArray &line : edited) {
        const qsizetype start = sourcesStart(line);
        if (start < 0)
            continue;
        found = true;
        if (startsWithModule(line, start))
            continue;
        const QByteArray sources = line.mid(start).trimmed();
        if (sources.isEmpty() || sources.startsWith('#')) {
            if (error)
                *error = u"the hosts line names no source to answer names that are not blocked"_s;
            return std::nullopt;
        }
        line.insert(start, entry);
    }
    if (!found) {
        if (error)
            *error = u"there is no hosts line"_s;
        return std::nullopt;
    }
    return edited.join('\n');
}

QByteArray withoutModule(const QByteArray &text) {
    QList<QByteArray> edited = lines(text);
    for (QByteArray &line : edited) {
        const qsizetype start = sourcesStart(line);
        if (start >= 0 && line.mid(start, entry.size()) == entry)
            line.remove(start, entry.size());
    }
    return edited.join('\n');
}

bool write(const QString &path, const QByteArray &text, QString *error) {
    const auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(encoded.constData(), &info) != 0)
        return fail(u"cannot examine %1: %2"_s.arg(path, SafeFile::errnoText(errno)));
    if (!S_ISREG(info.st_mode))
        return fail(u"%1 is %2; it is left as it is"_s.arg(path, SafeFile::describe(path)));
    const QString folder = QFileInfo(path).path();
    if (!SafeFile::isRealDirectory(folder, error))
        return false;
    const SafeFile::ReadResult current = SafeFile::read(path, 1024 * 1024);
    if (current.status == SafeFile::ReadResult::ok && current.data == text)
        return true;

    const int folderFd = ::open(QFile::encodeName(folder).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (folderFd < 0)
        return fail(u"cannot open %1: %2"_s.arg(folder, SafeFile::errnoText(errno)));
    const QByteArray name = QFileInfo(path).fileName().toLocal8Bit();
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 32 && fd < 0; ++attempt) {
        temporary = '.' + name + ".quellnet-" +
                    QByteArray::number(QRandomGenerator::system()->generate64(), 16);
        fd = ::openat(folderFd, temporary.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int saved = errno;
        ::close(folderFd);
        return fail(u"cannot create a file in %1: %2"_s.arg(folder, SafeFile::errnoText(saved)));
    }
    QString step = u"set the owner of"_s;
    // The owner only matters (and can only be set) when it is not us already.
    bool done = (info.st_uid == ::geteuid() && info.st_gid == ::getegid()) ||
                ::fchown(fd, info.st_uid, info.st_gid) == 0;
    if (done) {
        step = u"set the mode of"_s;
        done = ::fchmod(fd, info.st_mode & 07777) == 0;
    }
    const char *data = text.constData();
    qsizetype left = text.size();
    if (done)
        step = u"write"_s;
    while (done && left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        done = written > 0;
        data += written;
        left -= written;
    }
    if (done) {
        step = u"flush"_s;
        done = ::fsync(fd) == 0;
    }
    int saved = errno;
    if (::close(fd) != 0 && done) {
        step = u"close"_s;
        done = false;
        saved = errno;
    }
    if (done) {
        step = u"rename"_s;
        done = ::renameat(folderFd, temporary.constData(), folderFd, name.constData()) == 0;
        saved = errno;
    }
    if (!done) {
        ::unlinkat(folderFd, temporary.constData(), 0);
        ::close(folderFd);
        return fail(u"cannot %1 the new %2: %3"_s.arg(step, path, SafeFile::errnoText(saved)));
    }
    ::fsync(folderFd);
    ::close(folderFd);
    return true;
}

} // namespace NsswitchConfig
