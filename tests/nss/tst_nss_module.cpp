#include "NssModule.h"
#include "quellnet_enforced_list.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <climits>
#include <fcntl.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray ownHostName() {
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return {};
    return QByteArray(host).toLower();
}

QByteArray path(const QString &name) {
    return QFile::encodeName(name);
}

enum class Setup {
    Missing,
    Empty,
    HeaderOnly,
    NoHeader,
    FutureFormat,
    FileGroupWritable,
    FileWorldWritable,
    FolderGroupWritable,
    FolderWorldWritableSticky,
    FileOtherOwner,
    FolderOtherOwner,
    ListIsSymlink,
    FolderIsSymlink,
    Fifo,
    ListIsFolder,
    AtByteCap,
    OverByteCap,
    AtNameCap,
    OverNameCap,
    GarbageAmongGood,
    Unsorted,
};

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
    data += QByteArray(size - data.size() - 1, '#') + '\n';
    return data;
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
        QTest::newRow("subdomain") << "www.example.com"_ba << true;
        QTest::newRow("deep subdomain") << "a.b.tracker.example.net"_ba << true;
        QTest::newRow("upper case") << "WWW.Example.COM"_ba << true;
        QTest::newRow("trailing dot") << "example.com."_ba << true;
        QTest::newRow("upper case, trailing dot") << "TRACKER.example.net."_ba << true;
        QTest::newRow("underscore label") << "_dmarc.under_score.example"_ba << true;
        QTest::newRow("localhost label under a listed name") << "localhost.example.com"_ba << true;
        QTest::newRow("punycode IDN") << "xn--bcher-kva.example"_ba << true;
        QTest::newRow("under punycode IDN") << "shop.xn--bcher-kva.example"_ba << true;
        QTest::newRow("lookalike") << "notexample.com"_ba << false;
        QTest::newRow("lookalike subdomain") << "nottracker.example.net"_ba << false;
        QTest::newRow("listed name inside another") << "example.com.evil.org"_ba << false;
        QTest::newRow("parent of listed") << "example.net"_ba << false;
        QTest::newRow("top-level of listed") << "com"_ba << false;
        QTest::newRow("shorter") << "example.co"_ba << false;
        QTest::newRow("raw UTF-8 IDN") << "b\xc3\xbc"
                                          "cher.example"_ba
                                       << false;
        QTest::newRow("two trailing dots") << "example.com.."_ba << false;
        QTest::newRow("leading dot") << ".example.com"_ba << false;
        QTest::newRow("empty label") << "www..example.com"_ba << false;
        QTest::newRow("trailing space") << "example.com "_ba << false;
        QTest::newRow("empty") << ""_ba << false;
        QTest::newRow("dot") << "."_ba << false;
        QTest::newRow("over 253 bytes") << QByteArray(250, 'a') + ".example.com" << false;
        QTest::newRow("localhost (listed)") << "localhost"_ba << false;
        QTest::newRow("LOCALHOST.") << "LOCALHOST."_ba << false;
        QTest::newRow("under localhost") << "db.localhost"_ba << false;
        QTest::newRow("own host name (listed)") << "<own>"_ba << false;
        QTest::newRow("own host name, upper case") << "<OWN>"_ba << false;
    }
    void names() {
        QFETCH(QByteArray, name);
        QFETCH(bool, blocked);
        const QByteArray host = ownHostName();
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
        QVERIFY2(answer.agree, "the four entry points disagree");
        QVERIFY2(answer.kept, "errno, *errnop or *herrnop changed");
        QVERIFY2(answer.reported, "NOTFOUND without ENOENT / HOST_NOT_FOUND");
        QCOMPARE(answer.blocked(), blocked);
    }

    // A list the module cannot trust, or cannot read whole, blocks nothing; a bad line never
    // blocks anything and never hides the good lines around it. Never a crash or a hang.
    void badLists_data() {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QByteArrayList>("blocked");
        QTest::addColumn<QByteArrayList>("open");
        const QByteArrayList none;
        const QByteArrayList good{"example.com", "www.example.com"};
        auto row = [](const char *name, Setup setup, const QByteArrayList &blocked,
                      const QByteArrayList &open) {
            QTest::newRow(name) << int(setup) << blocked << open;
        };
        row("missing", Setup::Missing, none, good);
        row("empty", Setup::Empty, none, good);
        row("header only", Setup::HeaderOnly, none, good);
        row("no header line", Setup::NoHeader, none, good);
        row("another format version", Setup::FutureFormat, none, good);
        row("file group-writable", Setup::FileGroupWritable, none, good);
        row("file world-writable", Setup::FileWorldWritable, none, good);
        row("folder group-writable", Setup::FolderGroupWritable, none, good);
        row("folder world-writable, sticky", Setup::FolderWorldWritableSticky, none, good);
        row("file of another owner", Setup::FileOtherOwner, none, good);
        row("folder of another owner", Setup::FolderOtherOwner, none, good);
        row("list is a symlink", Setup::ListIsSymlink, none, good);
        row("folder is a symlink", Setup::FolderIsSymlink, none, good);
        row("FIFO", Setup::Fifo, none, good);
        row("folder in its place", Setup::ListIsFolder, none, good);
        row("exactly the byte cap", Setup::AtByteCap, good, none);
        row("one byte over the cap", Setup::OverByteCap, none, good);
        row("exactly the name cap", Setup::AtNameCap, good + QByteArrayList{"n9999.example"}, none);
        row("one name over the cap", Setup::OverNameCap, none, good + QByteArrayList{"n1.example"});
        row("garbage and NUL lines among good ones", Setup::GarbageAmongGood,
            {"example.com", "tracker.example.net", "a.example.org"},
            {"exa", "example.net", "crlf.example", "last.example", "bad.example", "spaced"});
        row("unsorted", Setup::Unsorted, {"alpha.example", "example.com", "zeta.example"}, none);
    }
    void badLists() {
        QFETCH(int, setup);
        QFETCH(QByteArrayList, blocked);
        QFETCH(QByteArrayList, open);
        const QString folder = freshFolder();
        const QString list = folder + u"/blocked"_s;
        const QByteArray good = listFile("example.com\n");
        const bool root = geteuid() == 0;
        switch (Setup(setup)) {
        case Setup::Missing:
            break;
        case Setup::Empty:
            QVERIFY(replaceFile(list, QByteArray()));
            break;
        case Setup::HeaderOnly:
            QVERIFY(replaceFile(list, listFile({})));
            break;
        case Setup::NoHeader:
            QVERIFY(replaceFile(list, "example.com\nexample.com\n"));
            break;
        case Setup::FutureFormat:
            QVERIFY(replaceFile(list, "# quellnet-blocklist 2 uid=0 app=a\nexample.com\n"));
            break;
        case Setup::FileGroupWritable:
            QVERIFY(replaceFile(list, good, 0664));
            break;
        case Setup::FileWorldWritable:
            QVERIFY(replaceFile(list, good, 0646));
            break;
        case Setup::FolderGroupWritable:
            QVERIFY(replaceFile(list, good));
            QCOMPARE(chmod(path(folder).constData(), 0775), 0);
            break;
        case Setup::FolderWorldWritableSticky:
            QVERIFY(replaceFile(list, good));
            QCOMPARE(chmod(path(folder).constData(), 01777), 0);
            break;
        case Setup::FileOtherOwner:
        case Setup::FolderOtherOwner:
            if (!root)
                QSKIP("only root can give a file to another owner");
            QVERIFY(replaceFile(list, good));
            QCOMPARE(chown(path(Setup(setup) == Setup::FileOtherOwner ? list : folder).constData(),
                           65534, 65534),
                     0);
            break;
        case Setup::ListIsSymlink:
            QVERIFY(replaceFile(folder + u"/real"_s, good));
            QCOMPARE(symlink("real", path(list).constData()), 0);
            break;
        case Setup::FolderIsSymlink: {
            const QString real = folder + u"-real"_s;
            QVERIFY(QDir().mkpath(real));
            QCOMPARE(chmod(path(real).constData(), 0755), 0);
            QVERIFY(replaceFile(real + u"/blocked"_s, good));
            QVERIFY(QDir(folder).removeRecursively());
            QCOMPARE(symlink(path(real).constData(), path(folder).constData()), 0);
            break;
        }
        case Setup::Fifo:
            // Opening a FIFO without O_NONBLOCK would wait for a writer forever.
            QCOMPARE(mkfifo(path(list).constData(), 0644), 0);
            break;
        case Setup::ListIsFolder:
            QVERIFY(QDir().mkpath(list));
            QCOMPARE(chmod(path(list).constData(), 0755), 0);
            break;
        case Setup::AtByteCap:
            QVERIFY(replaceFile(list, paddedTo(QUELLNET_LIST_MAX_BYTES)));
            break;
        case Setup::OverByteCap:
            QVERIFY(replaceFile(list, paddedTo(QUELLNET_LIST_MAX_BYTES + 1)));
            break;
        case Setup::AtNameCap:
            QVERIFY(replaceFile(list, listOf(QUELLNET_LIST_MAX_NAMES)));
            break;
        case Setup::OverNameCap:
            QVERIFY(replaceFile(list, listOf(QUELLNET_LIST_MAX_NAMES + 1)));
            break;
        case Setup::GarbageAmongGood:
            QVERIFY(replaceFile(list, listFile(QByteArray("exa\0mple.org\n", 13) +
                                               "\xff\xfe.example\nEXAMPLE.NET\n-bad.example\n"
                                               "\n\n" +
                                               QByteArray(300, 'x') +
                                               "\nspaced name.example\ncrlf.example\r\n"
                                               "example.com\nexample.org\ntracker.example.net\n"
                                               "last.example")));
            break;
        case Setup::Unsorted:
            QVERIFY(replaceFile(list, listFile("zeta.example\nexample.com\nalpha.example\n")));
            break;
        }
        const QByteArray report = inChild([&]() -> QByteArray {
            for (const QByteArray &name : std::as_const(blocked)) {
                const NssModule::Answer answer = m_module.lookUp(name.constData());
                if (!answer.blocked() || !answer.agree || !answer.kept || !answer.reported)
                    return name + " not blocked as it should be";
            }
            for (const QByteArray &name : std::as_const(open)) {
                const NssModule::Answer answer = m_module.lookUp(name.constData());
                if (answer.blocked() || !answer.agree || !answer.kept)
                    return name + " blocked";
            }
            return {};
        });
        QVERIFY2(report.isEmpty(), report.constData());
    }

    // The very next look-up after a replacement, an in-place edit, a repair or a deletion
    // sees the list as it now is: nothing to restart.
    void changesTakeEffectAtOnce() {
        const QString list = freshFolder() + u"/blocked"_s;
        QVERIFY(replaceFile(list, listFile("a.example\n")));
        QVERIFY(m_module.lookUp("a.example").blocked());
        QVERIFY(replaceFile(list, listFile("b.example\n")));
        QVERIFY(!m_module.lookUp("a.example").blocked());
        QVERIFY(m_module.lookUp("b.example").blocked());

        // Same size, same inode: only the times tell.
        QFile inPlace(list);
        QVERIFY(inPlace.open(QIODevice::ReadWrite));
        QVERIFY(inPlace.seek(inPlace.size() - 10));
        QCOMPARE(inPlace.write("c"), 1);
        inPlace.close();
        // The clock may not have ticked since the rename; an editor's save comes later.
        const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
        QCOMPARE(utimensat(AT_FDCWD, path(list).constData(), times, 0), 0);
        QVERIFY(m_module.lookUp("c.example").blocked());
        QVERIFY(!m_module.lookUp("b.example").blocked());

        QCOMPARE(chmod(path(list).constData(), 0666), 0);
        QVERIFY(!m_module.lookUp("c.example").blocked());
        QCOMPARE(chmod(path(list).constData(), 0644), 0);
        QVERIFY(m_module.lookUp("c.example").blocked());

        QVERIFY(QFile::remove(list));
        QVERIFY(!m_module.lookUp("c.example").blocked());
        QVERIFY(replaceFile(list, listFile("c.example\n")));
        QVERIFY(m_module.lookUp("c.example").blocked());
    }
};

QTEST_GUILESS_MAIN(NssModuleTest)
#include "tst_nss_module.moc"
