#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

/**
 * File access for the platform's own folders, which other programs (or a planted link) may
 * share: nothing here follows a symbolic link at the final path, blocks on a FIFO or reads
 * past a size limit. Errors come back as `false` (or a status) with a reason fit for a message.
 */
namespace SafeFile {

/** The system's text for an errno value, for messages. */
QString errnoText(int error);

/** What is at a path, without following a link there. */
enum class Kind { absent, regular, directory, symlink, other, error };
Kind kindOf(const QString &path, QString *reason = nullptr);
/** "a symbolic link", "a folder", "a FIFO" ...: for messages about something that is not a file. */
QString describe(const QString &path);

struct ReadResult {
    enum Status {
        ok,       ///< `data` holds the whole file
        absent,   ///< nothing at the path
        refused,  ///< not a regular file; `reason` says what it is
        tooLarge, ///< a regular file larger than the limit
        failed,   ///< an I/O error; `reason` says which
    };
    Status status = absent;
    QByteArray data;
    QString reason;
};

/**
 * Reads a regular file of at most `limit` bytes. Opened with O_NOFOLLOW and O_NONBLOCK and
 * checked with fstat, so a link, FIFO, device or folder at `path` is refused without waiting.
 */
ReadResult read(const QString &path, qint64 limit);

/**
 * Makes `base`/`relative` a folder: `base` may be anything the user configured (it is created
 * if missing), but every folder of `relative` must be a real folder (not a link) or is made
 * with mode 0700.
 */
bool ensureDirectory(const QString &base, const QString &relative, QString *error);
/** True if `path` is a real folder (not a link to one). */
bool isRealDirectory(const QString &path, QString *error = nullptr);

/**
 * Replaces the file at `path` atomically (QSaveFile: a temporary file renamed over it). Refuses
 * when the folder is not a real folder, or when `path` holds anything but a regular file: QSaveFile
 * would write through a link to its target.
 */
bool write(const QString &path, const QByteArray &data, QString *error);

/** Deletes a regular file; a missing one is no error, anything else at `path` is refused. */
bool remove(const QString &path, QString *error);

/**
 * Sets a damaged file aside, intact: renames `path` to `path` + ".corrupt-<UTC time>" (with
 * "-N" added while that name is taken) and never over anything already there. Files named
 * `path` + each of `companions` (a database's "-wal", say) go along under the new name, so
 * they stay together. Returns the new path, or nullopt with the reason in `error`. Only for
 * corruption found on the way to writing: reading never moves a file.
 */
std::optional<QString> setAside(const QString &path, QString *error,
                                const QStringList &companions = {});

} // namespace SafeFile
