#include "common/TestEnvironment.h"
#include "system/NsswitchConfig.h"

#include "common/TestFiles.h"

#include <QFile>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class NsswitchConfigTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    // The file is replaced by a rename keeping its mode (not the umask's), and never written
    // through a link. How the hosts line is edited is checked
    // end to end against the package's maintainer scripts (tests/packaging).
    void write() {
        const QString path = m_env.nsswitchPath();
        const auto lstatOf = [](const QString &file) {
            struct stat info {};
            ::lstat(QFile::encodeName(file).constData(), &info);
            return info;
        };
        QVERIFY(putFile(path, "hosts: files dns\n",
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const ino_t original = lstatOf(path).st_ino;
        const QByteArray installed = *NsswitchConfig::withModule(fileBytes(path));
        QVERIFY(NsswitchConfig::write(path, installed, nullptr));
        QVERIFY(fileBytes(path) == installed && lstatOf(path).st_ino != original);
        QCOMPARE(lstatOf(path).st_mode & 07777, mode_t(0640));

        const QString target = m_env.root() + u"/elsewhere.conf"_s;
        QVERIFY(putFile(target, "hosts: files\n") && QFile::remove(path) &&
                QFile::link(target, path));
        QVERIFY(!NsswitchConfig::write(path, installed, nullptr));
        QCOMPARE(fileBytes(target), QByteArray("hosts: files\n"));
    }
};

QTEST_GUILESS_MAIN(NsswitchConfigTest)
#include "tst_nsswitch_config.moc"
