#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QLocale>

TestEnvironment::TestEnvironment() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString base = m_dir.path();
    for (const char *sub : {"state", "data", "config", "cache", "runtime"})
        QDir(base).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", base.toUtf8());
    qputenv("XDG_STATE_HOME", stateHome().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_CACHE_HOME", (base + QStringLiteral("/cache")).toUtf8());
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", (base + QStringLiteral("/runtime")).toUtf8());
}

QString TestEnvironment::stateHome() const {
    return m_dir.path() + QStringLiteral("/state");
}
QString TestEnvironment::dataHome() const {
    return m_dir.path() + QStringLiteral("/data");
}
QString TestEnvironment::configHome() const {
    return m_dir.path() + QStringLiteral("/config");
}
