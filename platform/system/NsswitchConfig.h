#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/**
 * The edit of /etc/nsswitch.conf that puts the Quellnet hosts module first:
 * `hosts:<same whitespace>quellnet [NOTFOUND=return] <what was there>`. [NOTFOUND=return] is what
 * makes a blocked name fail: without it glibc goes on to the next source. Removal strips exactly
 * the text that was added, so installing and uninstalling give back the original bytes; both are
 * idempotent and leave every other byte of the file as it was.
 *
 * The text functions are pure; write() is the only one that touches the disk.
 */
namespace NsswitchConfig {

/** The text put at the front of the hosts sources, followed by one space. */
inline constexpr char moduleEntry[] = "quellnet [NOTFOUND=return]";

/** True when there is a hosts line and every hosts line starts with the module. */
bool hasModule(const QByteArray &text);
/** The first hosts line as it stands (without its newline), or nullopt if there is none. */
std::optional<QByteArray> hostsLine(const QByteArray &text);
/**
 * `text` with the module first on every hosts line that lacks it. Nullopt, with the reason, when
 * there is no hosts line or a hosts line names no source at all: putting the module alone there
 * would leave nothing to answer unblocked names.
 */
std::optional<QByteArray> withModule(const QByteArray &text, QString *error = nullptr);
/** `text` without the module's entry on any hosts line; unchanged when it has none. */
QByteArray withoutModule(const QByteArray &text);

/**
 * Replaces the file at `path` with `text` by an atomic rename: a temporary file in the same
 * folder, given the old file's owner and mode, flushed, renamed over it, then the folder
 * flushed. Refuses a link or anything but a regular file at `path`. Nothing is written when the
 * file already holds `text`.
 */
bool write(const QString &path, const QByteArray &text, QString *error);

} // namespace NsswitchConfig
