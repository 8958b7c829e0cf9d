#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>

/** A file's bytes, or `absent` when it cannot be read: tests compare files byte for byte. */
inline QByteArray fileBytes(const QString &path, const QByteArray &absent = {}) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : absent;
}

/** Writes `data` as the whole file, as another program would, with these permissions if given. */
inline bool putFile(const QString &path, const QByteArray &data,
                    std::optional<QFile::Permissions> permissions = std::nullopt) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() &&
           (!permissions || file.setPermissions(*permissions));
}
