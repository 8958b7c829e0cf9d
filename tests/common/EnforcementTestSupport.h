#pragma once

// What the tests of the enforced list share: its header line, a writer that refuses, and a list
// written as another account would have it written.

#include "common/TestFiles.h"

#include <QProcess>
#include <QStringList>

#include <unistd.h>

/** The first line the writer records for this account and `app`. */
inline QByteArray enforcedListHeader(const QByteArray &app) {
    return "# quellnet-blocklist 1 uid=" + QByteArray::number(::getuid()) + " app=" + app + '\n';
}

/** Makes `path` a writer that says `message` on stderr and exits with `code`, and uses it. */
inline bool useFakeWriter(const QString &path, int code, const QByteArray &message) {
    qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", path.toUtf8());
    return putFile(path,
                   "#!/bin/sh\ncat >/dev/null\necho '" + message + "' >&2\nexit " +
                       QByteArray::number(code) + '\n',
                   QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

/** Runs the test writer under `root` as pkexec would run it for `uid`. */
inline bool writeListAs(uint uid, const QString &root, const QString &app,
                        const QByteArray &names) {
    QProcess writer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PKEXEC_UID"), QString::number(uid));
    writer.setProcessEnvironment(environment);
    writer.start(qEnvironmentVariable("DEVICE_PLATFORM_ENFORCE_WRITER"),
                 {QStringLiteral("--root"), root, QStringLiteral("write"), app});
    writer.write(names);
    writer.closeWriteChannel();
    return writer.waitForFinished(30'000) && writer.exitCode() == 0;
}
