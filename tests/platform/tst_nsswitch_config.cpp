#include "common/TestEnvironment.h"
#include "system/NsswitchConfig.h"

#include "common/TestFiles.h"

#include <QFile>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

ino_t inode(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

mode_t mode(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

class NsswitchConfigTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    // The hosts lines Debian and Ubuntu ship, and odd spellings of them: install puts the module
    // first keeping the whitespace after "hosts:", uninstall gives back the same bytes, and both
    // are idempotent; every other line, comments included, stays byte for byte.
    void installAndUninstall_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("installed");
        const QByteArray rest = "# hosts: files  (a comment, not a hosts line)\n"
                                "networks:\tfiles\n\n";
        const auto row = [&](const char *name, const QByteArray &line, const QByteArray &with) {
            QTest::newRow(name) << "passwd: files\n" + line + '\n' + rest
                                << "passwd: files\n" + with + '\n' + rest;
        };
        row("Debian", "hosts:          files dns",
            "hosts:          quellnet [NOTFOUND=return] files dns");
        row("Debian with mDNS", "hosts:          files mdns4_minimal [NOTFOUND=return] dns",
            "hosts:          quellnet [NOTFOUND=return] files mdns4_minimal [NOTFOUND=return] dns");
        row("tab, no space, trailing blanks and CR", "  hosts\t:\tfiles dns  \r",
            "  hosts\t:\tquellnet [NOTFOUND=return] files dns  \r");
        row("no blank after the colon", "hosts:files", "hosts:quellnet [NOTFOUND=return] files");
        QTest::newRow("no newline at the end")
            << QByteArray("hosts: files dns")
            << QByteArray("hosts: quellnet [NOTFOUND=return] files dns");
    }
    void installAndUninstall() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, installed);
        QVERIFY(!NsswitchConfig::hasModule(before));
        QCOMPARE(NsswitchConfig::withModule(before), installed);
        QVERIFY(NsswitchConfig::hasModule(installed));
        QCOMPARE(NsswitchConfig::withModule(installed), installed);
        QCOMPARE(NsswitchConfig::withoutModule(installed), before);
        QCOMPARE(NsswitchConfig::withoutModule(before), before);
    }

    // Where the module alone would decide every name, or there is nothing to edit, install
    // refuses and says why.
    void refusals_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no hosts line")
            << QByteArray("passwd: files\n# hosts: files dns\n") << u"there is no hosts line"_s;
        QTest::newRow("no source") << QByteArray("hosts:   \n") << u"names no source"_s;
        QTest::newRow("only a comment") << QByteArray("hosts: # none\n") << u"names no source"_s;
    }
    void refusals() {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        QString error;
        QCOMPARE(NsswitchConfig::withModule(text, &error), std::nullopt);
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(!NsswitchConfig::hasModule(text));
    }

    // The file is replaced by a rename keeping its mode, left alone when nothing changes, and
    // never written through a link.
    void write() {
        const QString path = m_env.nsswitchPath();
        QVERIFY(putFile(path, "hosts: files dns\n"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        const ino_t original = inode(path);
        QString error;
        const QByteArray installed = *NsswitchConfig::withModule(fileBytes(path));
        QVERIFY2(NsswitchConfig::write(path, installed, &error), qPrintable(error));
        QCOMPARE(fileBytes(path), installed);
        QVERIFY(inode(path) != original);
        QCOMPARE(mode(path), mode_t(0644));
        const ino_t replaced = inode(path);
        QVERIFY(NsswitchConfig::write(path, installed, &error));
        QCOMPARE(inode(path), replaced);

        const QString target = m_env.root() + u"/elsewhere.conf"_s;
        QVERIFY(putFile(target, "hosts: files\n"));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::link(target, path));
        QVERIFY(!NsswitchConfig::write(path, installed, &error));
        QVERIFY2(error.contains(u"symbolic link"_s), qPrintable(error));
        QCOMPARE(fileBytes(target), QByteArray("hosts: files\n"));
        QVERIFY(QFile::remove(path));
    }
};

QTEST_GUILESS_MAIN(NsswitchConfigTest)
#include "tst_nsswitch_config.moc"
