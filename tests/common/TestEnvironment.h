#pragma once

#include <QString>
#include <QTemporaryDir>

/**
 * Points HOME and every XDG folder at a fresh temporary directory and pins the locale, so a
 * test never touches the developer's own files and child processes see the same folders.
 * Create one in initTestCase() (or per test for a clean slate); it restores nothing, the
 * process ends with the test.
 */
class TestEnvironment {
public:
    TestEnvironment();

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    QString stateHome() const;
    QString dataHome() const;
    QString configHome() const;

private:
    QTemporaryDir m_dir;
};
