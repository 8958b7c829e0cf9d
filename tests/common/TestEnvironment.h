#pragma once

#include <QString>
#include <QTemporaryDir>

/**
 * Points HOME and every XDG folder at a fresh temporary directory and pins the locale, so a
 * test never touches the developer's own files and child processes see the same folders.
 * It also moves "this computer" there: DEVICE_PLATFORM_SYSTEM_ROOT names a folder whose
 * etc/nsswitch.conf has the Quellnet hosts module installed, and DEVICE_PLATFORM_ENFORCE_WRITER
 * the build's test writer, so no test ever writes the host's /etc.
 * Create one in initTestCase() (or per test for a clean slate); it restores nothing, the
 * process ends with the test.
 */
class TestEnvironment {
public:
    TestEnvironment();

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    QString stateHome() const { return root() + QStringLiteral("/state"); }
    QString dataHome() const { return root() + QStringLiteral("/data"); }
    QString configHome() const { return root() + QStringLiteral("/config"); }

    /** The stand-in for "/" of this computer. */
    QString systemRoot() const { return root() + QStringLiteral("/system"); }
    QString nsswitchPath() const { return systemRoot() + QStringLiteral("/etc/nsswitch.conf"); }
    QString enforcedListPath() const {
        return systemRoot() + QStringLiteral("/etc/quellnet/blocked");
    }
    /** The nsswitch.conf the system root starts with: the module installed on Debian's line. */
    static QByteArray installedNsswitch();

private:
    QTemporaryDir m_dir;
};
