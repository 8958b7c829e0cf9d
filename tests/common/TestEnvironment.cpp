#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#ifndef QUELLNET_TEST_ENFORCE_WRITER
#error "QUELLNET_TEST_ENFORCE_WRITER must name the build's quellnet-enforce-test"
#endif

TestEnvironment::TestEnvironment() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString base = m_dir.path();
    for (const char *sub : {"state", "data", "config", "cache", "runtime", "system/etc"})
        QDir(base).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", base.toUtf8());
    qputenv("XDG_STATE_HOME", stateHome().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_CACHE_HOME", (base + QStringLiteral("/cache")).toUtf8());
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", (base + QStringLiteral("/runtime")).toUtf8());

    QFile nsswitch(nsswitchPath());
    if (nsswitch.open(QIODevice::WriteOnly))
        nsswitch.write(installedNsswitch());
    nsswitch.close();
    qputenv("DEVICE_PLATFORM_SYSTEM_ROOT", systemRoot().toUtf8());
    qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", QUELLNET_TEST_ENFORCE_WRITER);
}

QByteArray TestEnvironment::installedNsswitch() {
    return "# /etc/nsswitch.conf\n"
           "passwd:         files\n"
           "group:          files\n"
           "hosts:          quellnet [NOTFOUND=return] files dns\n"
           "networks:       files\n";
}
