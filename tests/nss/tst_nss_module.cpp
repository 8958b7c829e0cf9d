#include "NssModule.h"
#include "quellnet_enforced_list.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <climits>
#include <fcntl.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray path(const QString &name) {
    return QFile::encodeName(name);
}

/** example.com plus `count - 1` other names, as one list file. */
QByteArray listOf(int count) {
    QByteArrayList names{"example.com"};
    for (int i = 1; i < count; ++i)
        names << "n" + QByteArray::number(i) + ".example";
    std::sort(names.begin(), names.end());
    return listFile(names.join('\n') + '\n');
}

/** A good list padded with a skipped line to exactly `size` bytes. */
QByteArray paddedTo(qsizetype size) {
    QByteArray data = listFile("example.com\n");
    return data + QByteArray(size - data.size() - 1, '#') + '\n';
}

} // namespace

class NssModuleTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    NssModule m_module;
    int m_folders = 0;

    /** A fresh DIR/etc/quellnet (0755) with the module pointed at its list; returns the folder. */
    QString freshFolder() {
        QString folder = m_dir.path() + u"/%1/etc/quellnet"_s.arg(++m_folders);
        QDir().mkpath(folder);
        chmod(path(folder).constData(), 0755);
        m_module.setListPath(folder + u"/blocked"_s);
        return folder;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_module.isValid(), qPrintable(NssModule::error()));
    }

    // Blocks the listed names and every name under them on a label boundary, whatever the
    // letter case or a trailing dot; never a lookalike, a name merely containing a listed one,
    // raw UTF-8, localhost or this machine's own name. All four entry points agree and errno
    // is kept.
    void names_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("blocked");
        QTest::newRow("exact") << "example.com"_ba << true;
        QTest::newRow("deep subdomain") << "a.b.tracker.example.net"_ba << true;
        QTest::newRow("upper case, trailing dot") << "WWW.Example.COM."_ba << true;
        QTest::newRow("underscore label") << "_dmarc.under_score.example"_ba << true;
        QTest::newRow("localhost label under a listed name") << "localhost.example.com"_ba << true;
        QTest::newRow("under punycode IDN") << "shop.xn--bcher-kva.example"_ba << true;
        QTest::newRow("lookalike") << "notexample.com"_ba << false;
        QTest::newRow("listed name inside another") << "example.com.evil.org"_ba << false;
        QTest::newRow("parent of listed") << "example.net"_ba << false;
        QTest::newRow("raw UTF-8 IDN") << "b\xc3\xbc"
                                          "cher.example"_ba
                                       << false;
        QTest::newRow("two trailing dots") << "example.com.."_ba << false;
        QTest::newRow("leading dot") << ".example.com"_ba << false;
        QTest::newRow("empty label") << "www..example.com"_ba << false;
        QTest::newRow("trailing space") << "example.com "_ba << false;
        QTest::newRow("empty") << ""_ba << false;
        QTest::newRow("over 253 bytes") << QByteArray(250, 'a') + ".example.com" << false;
        QTest::newRow("LOCALHOST. (listed)") << "LOCALHOST."_ba << false;
        QTest::newRow("under localhost") << "db.localhost"_ba << false;
        QTest::newRow("own host name (listed)") << "<own>"_ba << false;
        QTest::newRow("own host name, upper case") << "<OWN>"_ba << false;
    }
    void names() {
        QFETCH(QByteArray, name);
        QFETCH(bool, blocked);
        char hostBuffer[HOST_NAME_MAX + 1] = {};
        gethostname(hostBuffer, sizeof hostBuffer - 1);
        const QByteArray host = QByteArray(hostBuffer).toLower();
        const bool hostListable = quellnet_valid_name(host.constData(), size_t(host.size()));
        if (name.startsWith('<')) {
            if (!hostListable)
                QSKIP("this machine's host name is not a DNS name that could be listed");
            name = name == "<own>" ? host : host.toUpper();
        }
        QByteArrayList names{"example.com", "tracker.example.net", "under_score.example",
                             "xn--bcher-kva.example", "localhost"};
        if (hostListable)
            names << host;
        std::sort(names.begin(), names.end());
        QVERIFY(replaceFile(freshFolder() + u"/blocked"_s, listFile(names.join('\n') + '\n')));

        const NssModule::Answer answer = m_module.lookUp(name.constData());
        QVERIFY2(answer.sound(), "entry points disagree, errno changed or NOTFOUND unexplained");
        QCOMPARE(answer.blocked(), blocked);
    }

    // A list the module cannot trust, or cannot read whole, blocks nothing; a bad line never
    // blocks anything and never hides the good lines around it. Never a crash or a hang.
    void badLists_data() {
        QTest::addColumn<QByteArray>("setup"); // what else is done besides writing `content`
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArrayList>("blocked");
        QTest::addColumn<QByteArrayList>("open");
        const QByteArray good = listFile("example.com\n");
        const auto distrusted = [](const char *name, const QByteArray &setup,
                                   const QByteArray &content) {
            QTest::newRow(name) << setup << content << QByteArrayList()
                                << QByteArrayList{"example.com", "www.example.com"};
        };
        distrusted("missing", "missing", {});
        distrusted("empty", {}, {});
        distrusted("header only", {}, listFile({}));
        distrusted("no header line", {}, "example.com\nexample.com\n");
        distrusted("another format version", {},
                   "# quellnet-blocklist 2 uid=0 app=a\nexample.com\n");
        distrusted("file group-writable", "file 0664", good);
        distrusted("folder world-writable, sticky", "folder 1777", good);
        distrusted("file of another owner", "file owner", good);
        distrusted("folder of another owner", "folder owner", good);
        distrusted("list is a symlink", "symlink", good);
        distrusted("folder is a symlink", "folder symlink", good);
        distrusted("FIFO", "fifo", {});
        distrusted("folder in its place", "folder", {});
        distrusted("one byte over the cap", {}, paddedTo(QUELLNET_LIST_MAX_BYTES + 1));
        distrusted("one name over the cap", {}, listOf(QUELLNET_LIST_MAX_NAMES + 1));
        QTest::newRow("exactly the byte cap")
            << QByteArray() << paddedTo(QUELLNET_LIST_MAX_BYTES)
            << QByteArrayList{"example.com", "www.example.com"} << QByteArrayList();
        QTest::newRow("exactly the name cap")
            << QByteArray() << listOf(QUELLNET_LIST_MAX_NAMES)
            << QByteArrayList{"example.com", "n9999.example"} << QByteArrayList();
        QTest::newRow("garbage and NUL lines among good ones")
            << QByteArray()
            << listFile(QByteArray("exa\0mple.org\n", 13) +
                        "\xff\xfe.example\nEXAMPLE.NET\n-bad.example\n\n\n" + QByteArray(300, 'x') +
                        "\nspaced name.example\ncrlf.example\r\nexample.com\nexample.org\n"
                        "tracker.example.net\nlast.example")
            << QByteArrayList{"example.com", "tracker.example.net", "a.example.org"}
            << QByteArrayList{"exa",          "example.net", "crlf.example",
                              "last.example", "bad.example", "spaced"};
        QTest::newRow("unsorted") << QByteArray()
                                  << listFile("zeta.example\nexample.com\nalpha.example\n")
                                  << QByteArrayList{"alpha.example", "example.com", "zeta.example"}
                                  << QByteArrayList();
    }
    void badLists() {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, content);
        QFETCH(QByteArrayList, blocked);
        QFETCH(QByteArrayList, open);
        if (setup.endsWith("owner") && geteuid() != 0)
            QSKIP("only root can give a file to another owner");
        const QString folder = freshFolder();
        const QString list = folder + u"/blocked"_s;
        if (setup == "fifo") {
            QCOMPARE(mkfifo(path(list).constData(), 0644), 0);
        } else if (setup == "folder") {
            QVERIFY(QDir().mkpath(list));
        } else if (setup == "symlink") {
            QVERIFY(replaceFile(folder + u"/real"_s, content));
            QCOMPARE(symlink("real", path(list).constData()), 0);
        } else if (setup != "missing") {
            const bool fileMode = setup.startsWith("file 0");
            QVERIFY(replaceFile(list, content, fileMode ? setup.mid(5).toUInt(nullptr, 8) : 0644));
        }
        if (setup.startsWith("folder 1"))
            QCOMPARE(chmod(path(folder).constData(), setup.mid(7).toUInt(nullptr, 8)), 0);
        if (setup.endsWith("owner"))
            QCOMPARE(
                chown(path(setup.startsWith("file") ? list : folder).constData(), 65534, 65534), 0);
        if (setup == "folder symlink") {
            QCOMPARE(rename(path(folder).constData(), path(folder + u"-real"_s).constData()), 0);
            QCOMPARE(symlink(path(folder + u"-real"_s).constData(), path(folder).constData()), 0);
        }
        // A look-up that hangs (a FIFO opened without O_NONBLOCK waits for a writer forever)
        // ends the whole test here rather than stalling it.
        alarm(20);
        const auto noDeadline = qScopeGuard([] { alarm(0); });
        for (const QByteArray &name : std::as_const(blocked)) {
            const NssModule::Answer answer = m_module.lookUp(name.constData());
            QVERIFY2(answer.blocked() && answer.sound(), name.constData());
        }
        for (const QByteArray &name : std::as_const(open)) {
            const NssModule::Answer answer = m_module.lookUp(name.constData());
            QVERIFY2(!answer.blocked() && answer.sound(), name.constData());
        }
    }

    // The very next look-up after a replacement, an in-place edit, a change of mode or a
    // deletion sees the list as it now is: nothing to restart.
    void changesTakeEffectAtOnce() {
        const QString list = freshFolder() + u"/blocked"_s;
        QVERIFY(replaceFile(list, listFile("a.example\n")));
        QVERIFY(m_module.lookUp("a.example").blocked());
        QVERIFY(replaceFile(list, listFile("b.example\n")));
        QVERIFY(!m_module.lookUp("a.example").blocked());
        QVERIFY(m_module.lookUp("b.example").blocked());

        // Same size, same inode: only the times tell.
        QFile inPlace(list);
        QVERIFY(inPlace.open(QIODevice::ReadWrite) && inPlace.seek(inPlace.size() - 10));
        QCOMPARE(inPlace.write("c"), 1);
        inPlace.close();
        // The clock may not have ticked since the rename; an editor's save comes later.
        const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
        QCOMPARE(utimensat(AT_FDCWD, path(list).constData(), times, 0), 0);
        QVERIFY(m_module.lookUp("c.example").blocked());
        QVERIFY(!m_module.lookUp("b.example").blocked());

        QCOMPARE(chmod(path(list).constData(), 0666), 0);
        QVERIFY(!m_module.lookUp("c.example").blocked());
        QVERIFY(QFile::remove(list));
        QVERIFY(!m_module.lookUp("c.example").blocked());
        QVERIFY(replaceFile(list, listFile("c.example\n")));
        QVERIFY(m_module.lookUp("c.example").blocked());
    }
};

QTEST_GUILESS_MAIN(NssModuleTest)
#include "tst_nss_module.moc"
