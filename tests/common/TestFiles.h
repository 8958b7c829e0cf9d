#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
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

/** Every entry of a folder with what it holds: bytes, link target or kind. */
inline QMap<QString, QByteArray> folderSnapshot(const QString &root) {
    QMap<QString, QByteArray> entries;
    for (const QFileInfo &info : QDir(root).entryInfoList(QDir::AllEntries | QDir::System |
                                                          QDir::Hidden | QDir::NoDotAndDotDot))
        entries.insert(info.fileName(), info.isSymLink() ? "-> " + info.symLinkTarget().toUtf8()
                                        : info.isFile()  ? fileBytes(info.filePath())
                                                         : QByteArray(info.isDir() ? "dir" : "?"));
    return entries;
}
