// The hosts module and the privileged writer, in their test builds: lists live in temporary
// folders and the account running the test stands in for root as owner of files. The module is
// loaded the way glibc loads it (dlopen, then the four entry points by name); the writer's owner
// rule is driven through PKEXEC_UID as pkexec would set it.
#include "common/TestFiles.h"
#include "quellnet_enforced_list.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <nss.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray path(const QString &name) {
    return QFile::encodeName(name);
}

QByteArray header(uid_t uid = geteuid(), const QByteArray &app = "com.example.Quellnet") {
    return "# quellnet-blocklist 1 uid=" + QByteArray::number(uid) + " app=" + app + '\n';
}

/** Writes `data` to `file` by rename, as the writer does, with the given mode. */
bool replaceFile(const QString &file, const QByteArray &data, mode_t mode = 0644) {
    const QString temporary = file + u".new"_s;
    return putFile(temporary, data) && chmod(path(temporary).constData(), mode) == 0 &&
           rename(path(temporary).constData(), path(file).constData()) == 0;
}

/** example.com plus `count - 1` other names, as one list file. */
QByteArray listOf(int count) {
    QByteArrayList names{"example.com"};
    for (int i = 1; i < count; ++i)
        names << "n" + QByteArray::number(i) + ".example";
    std::sort(names.begin(), names.end());
    return header() + names.join('\n') + '\n';
}

/** A good list padded with a skipped line to exactly `size` bytes. */
QByteArray paddedTo(qsizetype size) {
    const QByteArray data = header() + "example.com\n";
    return data + QByteArray(size - data.size() - 1, '#') + '\n';
}

const QStringList writeList{u"write"_s, u"com.example.Quellnet"_s};

/** The test build of the hosts module, pointed at a list of the test's choosing. */
class NssModule {
public:
    NssModule()
        : m_handle(dlopen(QUELLNET_NSS_TEST_MODULE, RTLD_NOW | RTLD_LOCAL)) {
        m_by4 = symbol<nss_gethostbyname4_r>("_nss_quellnet_gethostbyname4_r");
        m_by3 = symbol<nss_gethostbyname3_r>("_nss_quellnet_gethostbyname3_r");
        m_by2 = symbol<nss_gethostbyname2_r>("_nss_quellnet_gethostbyname2_r");
        m_by1 = symbol<nss_gethostbyname_r>("_nss_quellnet_gethostbyname_r");
        m_setPath = symbol<void(const char *)>("quellnet_nss_test_set_list_path");
    }
    bool isValid() const { return m_by4 && m_by3 && m_by2 && m_by1 && m_setPath; }
    void setListPath(const QString &list) { m_setPath(path(list).constData()); }

    /** 1 blocked, 0 not blocked, -1 when the entry points disagree, errno (or *errnop and
     *herrnop, unless NOTFOUND) changed, or NOTFOUND came without ENOENT and HOST_NOT_FOUND. */
    int lookUp(const char *name) {
        char buffer[1024];
        hostent host{};
        gaih_addrtuple *tuple = nullptr;
        int32_t ttl = 0;
        char *canonical = nullptr;
        int answer = -2;
        for (int which = 0; which < 5; ++which) {
            int error = 7777, herror = 8888;
            errno = 4242;
            // glibc hands the module &errno itself: that must survive an UNAVAIL too.
            int *errnop = which == 4 ? &errno : &error;
            const size_t size = sizeof buffer;
            const enum nss_status status =
                which == 1
                    ? m_by3(name, AF_INET6, &host, buffer, size, errnop, &herror, &ttl, &canonical)
                : which == 2 ? m_by2(name, AF_INET, &host, buffer, size, errnop, &herror)
                : which == 3 ? m_by1(name, &host, buffer, size, errnop, &herror)
                             : m_by4(name, &tuple, buffer, size, errnop, &herror, &ttl);
            const bool sound =
                status == NSS_STATUS_NOTFOUND
                    ? *errnop == ENOENT && herror == HOST_NOT_FOUND && (which == 4 || errno == 4242)
                    : errno == 4242 && herror == 8888 && *errnop == (which == 4 ? 4242 : 7777);
            const int now = sound ? int(status == NSS_STATUS_NOTFOUND) : -1;
            answer = answer == -2 || answer == now ? now : -1;
        }
        return answer;
    }

private:
    template<typename Function> Function *symbol(const char *name) {
        return m_handle ? reinterpret_cast<Function *>(dlsym(m_handle, name)) : nullptr;
    }
    void *m_handle = nullptr;
    nss_gethostbyname4_r *m_by4 = nullptr;
    nss_gethostbyname3_r *m_by3 = nullptr;
    nss_gethostbyname2_r *m_by2 = nullptr;
    nss_gethostbyname_r *m_by1 = nullptr;
    void (*m_setPath)(const char *) = nullptr;
};

} // namespace

class NssTest : public QObject {
    Q_OBJECT

    struct Run {
        int exitCode = -1;
        QByteArray out, err;
    };

    QTemporaryDir m_dir;
    NssModule m_module;
    int m_roots = 0;
    QString m_root;

    QString folder() const { return m_root + u"/etc/quellnet"_s; }
    QString list() const { return folder() + u"/blocked"_s; }

    /** A fresh root with DIR/etc/quellnet (0755, if `made`), the module pointed at its list. */
    void freshRoot(bool made = true) {
        m_root = m_dir.path() + u"/%1"_s.arg(++m_roots);
        QVERIFY(QDir().mkpath(made ? folder() : m_root + u"/etc"_s));
        QVERIFY(!made || chmod(path(folder()).constData(), 0755) == 0);
        m_module.setListPath(list());
    }

    Run run(const QStringList &arguments, const QByteArray &input = {},
            const QByteArray &pkexecUid = {}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"PKEXEC_UID"_s);
        if (!pkexecUid.isNull())
            environment.insert(u"PKEXEC_UID"_s, QString::fromLatin1(pkexecUid));
        process.setProcessEnvironment(environment);
        process.start(QString::fromLocal8Bit(QUELLNET_ENFORCE_TEST),
                      QStringList{u"--root"_s, m_root} + arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    QByteArray listBytes() const { return fileBytes(list(), "<absent>"); }

    /** The folder holds the list and nothing else: no temporary file left behind. */
    bool onlyTheList() const {
        const QStringList entries = QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot);
        return entries.isEmpty() || entries == QStringList{u"blocked"_s};
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_module.isValid(), qPrintable(QString::fromLocal8Bit(dlerror())));
    }

    // Blocks the listed names and every name under them on a label boundary, whatever the
    // letter case or a trailing dot; never a lookalike, a name merely containing a listed one,
    // raw UTF-8, localhost or this machine's own name. All four entry points agree and errno
    // is kept.
    void names_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("blocked");
        QTest::newRow("exact") << "example.com"_ba << true;
        QTest::newRow("upper case, trailing dot") << "WWW.Example.COM."_ba << true;
        QTest::newRow("underscore label") << "_dmarc.under_score.example"_ba << true;
        QTest::newRow("localhost label under a listed name") << "localhost.example.com"_ba << true;
        QTest::newRow("lookalike") << "notexample.com"_ba << false;
        QTest::newRow("listed name inside another") << "example.com.evil.org"_ba << false;
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
        QByteArrayList names{"example.com", "under_score.example", "localhost"};
        if (hostListable)
            names << host;
        std::sort(names.begin(), names.end());
        freshRoot();
        QVERIFY(replaceFile(list(), header() + names.join('\n') + '\n'));
        QCOMPARE(m_module.lookUp(name.constData()), int(blocked));
    }

    // A list the module cannot trust, or cannot read whole, blocks nothing; a bad line never
    // blocks anything and never hides the good lines around it. Never a crash or a hang.
    void badLists_data() {
        QTest::addColumn<QByteArray>("setup"); // what else is done besides writing `content`
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArrayList>("blocked");
        QTest::addColumn<QByteArrayList>("open");
        const QByteArray good = header() + "example.com\n";
        const auto distrusted = [](const char *name, const QByteArray &setup,
                                   const QByteArray &content) {
            QTest::newRow(name) << setup << content << QByteArrayList()
                                << QByteArrayList{"example.com", "www.example.com"};
        };
        distrusted("missing", "missing", {});
        distrusted("empty", {}, {});
        distrusted("header only", {}, header());
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
            << header() + QByteArray("exa\0mple.org\n", 13) +
                   "\xff\xfe.example\nEXAMPLE.NET\n-bad.example\n\n\n" + QByteArray(300, 'x') +
                   "\nspaced name.example\ncrlf.example\r\nexample.com\nexample.org\n"
                   "tracker.example.net\nlast.example"
            << QByteArrayList{"example.com", "tracker.example.net", "a.example.org"}
            << QByteArrayList{"exa",          "example.net", "crlf.example",
                              "last.example", "bad.example", "spaced"};
        QTest::newRow("unsorted") << QByteArray()
                                  << header() + "zeta.example\nexample.com\nalpha.example\n"
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
        freshRoot();
        if (setup == "fifo") {
            QCOMPARE(mkfifo(path(list()).constData(), 0644), 0);
        } else if (setup == "folder") {
            QVERIFY(QDir().mkpath(list()));
        } else if (setup == "symlink") {
            QVERIFY(replaceFile(folder() + u"/real"_s, content));
            QCOMPARE(symlink("real", path(list()).constData()), 0);
        } else if (setup != "missing") {
            const bool fileMode = setup.startsWith("file 0");
            QVERIFY(
                replaceFile(list(), content, fileMode ? setup.mid(5).toUInt(nullptr, 8) : 0644));
        }
        if (setup.startsWith("folder 1"))
            QCOMPARE(chmod(path(folder()).constData(), setup.mid(7).toUInt(nullptr, 8)), 0);
        if (setup.endsWith("owner"))
            QCOMPARE(
                chown(path(setup.startsWith("file") ? list() : folder()).constData(), 65534, 65534),
                0);
        if (setup == "folder symlink") {
            const QByteArray real = path(folder() + u"-real"_s);
            QCOMPARE(rename(path(folder()).constData(), real.constData()), 0);
            QCOMPARE(symlink(real.constData(), path(folder()).constData()), 0);
        }
        // A look-up that hangs (a FIFO opened without O_NONBLOCK waits for a writer forever)
        // ends the whole test here rather than stalling it.
        alarm(20);
        const auto noDeadline = qScopeGuard([] { alarm(0); });
        for (const QByteArray &name : std::as_const(blocked))
            QVERIFY2(m_module.lookUp(name.constData()) == 1, name.constData());
        for (const QByteArray &name : std::as_const(open))
            QVERIFY2(m_module.lookUp(name.constData()) == 0, name.constData());
    }

    // The very next look-up after a replacement, an in-place edit, a change of mode or a
    // deletion sees the list as it now is: nothing to restart.
    void changesTakeEffectAtOnce() {
        freshRoot();
        QVERIFY(replaceFile(list(), header() + "a.example\n"));
        QCOMPARE(m_module.lookUp("a.example"), 1);
        QVERIFY(replaceFile(list(), header() + "b.example\n"));
        QCOMPARE(m_module.lookUp("a.example"), 0);
        QCOMPARE(m_module.lookUp("b.example"), 1);

        // Same size, same inode: only the times tell.
        QFile inPlace(list());
        QVERIFY(inPlace.open(QIODevice::ReadWrite) && inPlace.seek(inPlace.size() - 10));
        QCOMPARE(inPlace.write("c"), 1);
        inPlace.close();
        // The clock may not have ticked since the rename; an editor's save comes later.
        const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
        QCOMPARE(utimensat(AT_FDCWD, path(list()).constData(), times, 0), 0);
        QCOMPARE(m_module.lookUp("b.example"), 0);
        QCOMPARE(m_module.lookUp("c.example"), 1);

        QCOMPARE(chmod(path(list()).constData(), 0666), 0);
        QCOMPARE(m_module.lookUp("c.example"), 0);
        QVERIFY(QFile::remove(list()));
        QCOMPARE(m_module.lookUp("c.example"), 0);
    }

    // The writer re-validates, sorts by bytes and de-duplicates, up to the name cap; the header
    // names the caller and the app; the file is the owner's, 0644, in a 0755 folder it made.
    void writesTheList_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("names");
        QByteArray cap;
        for (int i = 0; i < QUELLNET_LIST_MAX_NAMES; ++i)
            cap += "n" + QByteArray::number(i).rightJustified(5, '0') + ".example\n";
        QTest::newRow("sorted by bytes, duplicates removed")
            << "tracker.example.net\nab.example\na.example\na-b.example\n0.example\na.example"_ba
            << "0.example\na-b.example\na.example\nab.example\ntracker.example.net\n"_ba;
        QTest::newRow("nothing: a list that blocks nothing") << QByteArray() << QByteArray();
        QTest::newRow("exactly the name cap") << cap << cap;
    }
    void writesTheList() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, names);
        freshRoot(false);
        const Run result = run(writeList, input);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.isEmpty() && result.err.isEmpty());
        QCOMPARE(listBytes(), header(getuid()) + names);
        struct stat file {
        }, dir{};
        QVERIFY(lstat(path(list()).constData(), &file) == 0 && S_ISREG(file.st_mode));
        QVERIFY(lstat(path(folder()).constData(), &dir) == 0);
        QVERIFY(file.st_uid == geteuid() && dir.st_uid == geteuid());
        QCOMPARE(file.st_mode & 07777, mode_t(0644));
        QCOMPARE(dir.st_mode & 07777, mode_t(0755));
        QVERIFY(onlyTheList());
    }

    // Any bad line or exceeded cap refuses the whole request with exit 2, says which line or
    // cap in one line, and leaves the list in force exactly as it was.
    void refusesInvalidRequests_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("message");
        QByteArray overNameCap;
        for (int i = 0; i <= QUELLNET_LIST_MAX_NAMES; ++i)
            overNameCap += "n" + QByteArray::number(i) + ".example\n";
        // Under the input cap, over the list's: the header line tips it.
        const QByteArray label(63, 'a');
        QByteArray overByteCap;
        for (int i = 0; overByteCap.size() < QUELLNET_LIST_MAX_BYTES - 250; ++i)
            overByteCap += QByteArray::number(i) + '.' + label + '.' + label + '.' + label + '\n';
        QByteArray last(QUELLNET_LIST_MAX_BYTES - 10 - overByteCap.size() - 1, 'z');
        for (qsizetype dot = 63; dot < last.size() - 1; dot += 64)
            last[dot] = '.';
        overByteCap += last + '\n';
        QTest::newRow("upper case") << writeList << "a.example\nB.example\n"_ba
                                    << "line 2"_ba;
        QTest::newRow("empty line") << writeList << "a.example\n\nb.example\n"_ba
                                    << "line 2: empty"_ba;
        QTest::newRow("CRLF") << writeList << "a.example\r\n"_ba
                              << "line 1"_ba;
        QTest::newRow("NUL byte") << writeList << "a.exa\0mple\n"_ba
                                  << "line 1"_ba;
        QTest::newRow("name of 254")
            << writeList << label + '.' + label + '.' + label + '.' + label.left(62) + '\n'
            << "line 1: longer than 253"_ba;
        QTest::newRow("over the name cap") << writeList << overNameCap << "10001 names"_ba;
        QTest::newRow("over the byte cap") << writeList << overByteCap << "bytes"_ba;
        QTest::newRow("input over the byte cap")
            << writeList << QByteArray(QUELLNET_LIST_MAX_BYTES + 1, 'a') << "standard input"_ba;
        QTest::newRow("app identifier with space")
            << QStringList{u"write"_s, u"com.example Quellnet"_s} << "a.example\n"_ba
            << "app identifier"_ba;
        QTest::newRow("empty app identifier")
            << QStringList{u"clear"_s, QString()} << QByteArray() << "app identifier"_ba;
        QTest::newRow("extra argument")
            << QStringList{u"clear"_s, u"--any"_s, u"x"_s} << QByteArray() << "usage"_ba;
    }
    void refusesInvalidRequests() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, message);
        freshRoot(false);
        QCOMPARE(run(writeList, "kept.example\n").exitCode, 0);
        const QByteArray before = listBytes();
        const Run result = run(arguments, input);
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.out.isEmpty() && result.err.count('\n') == 1);
        QVERIFY2(result.err.contains(message), result.err.constData());
        QCOMPARE(listBytes(), before);
        QVERIFY(onlyTheList());
    }

    // A folder someone else could write to, or one reached through a symlink, is refused with
    // exit 1 and nothing is written anywhere.
    void refusesUntrustedFolder_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("symlink") << u"symlink"_s;
        QTest::newRow("group-writable") << u"0775"_s;
        QTest::newRow("world-writable, sticky") << u"1777"_s;
        QTest::newRow("a file") << u"file"_s;
        QTest::newRow("another owner") << u"owner"_s;
    }
    void refusesUntrustedFolder() {
        QFETCH(QString, kind);
        if (kind == u"owner"_s && geteuid() != 0)
            QSKIP("only root can give a folder to another owner");
        freshRoot(false);
        const QString elsewhere = m_root + u"/elsewhere"_s;
        QVERIFY(QDir().mkpath(elsewhere));
        if (kind == u"symlink"_s) {
            QCOMPARE(symlink(path(elsewhere).constData(), path(folder()).constData()), 0);
        } else if (kind == u"file"_s) {
            QVERIFY(putFile(folder(), {}));
        } else {
            QVERIFY(QDir().mkpath(folder()));
            QCOMPARE(chmod(path(folder()).constData(),
                           kind == u"owner"_s ? 0755 : mode_t(kind.toUInt(nullptr, 8))),
                     0);
            QVERIFY(kind != u"owner"_s || chown(path(folder()).constData(), 65534, 65534) == 0);
        }
        const Run result = run(writeList, "a.example\n");
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("refusing"), result.err.constData());
        QVERIFY(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(!QFileInfo(folder()).isDir() ||
                QDir(folder()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QCOMPARE(run({u"clear"_s, u"--any"_s}).exitCode, 1);
    }

    // A symlink where the list belongs is replaced, never written through; only root may do
    // that, as nobody's name is on it.
    void replacesASymlinkedListWithoutFollowingIt() {
        freshRoot();
        const QString target = m_root + u"/target"_s;
        QVERIFY(replaceFile(target, "# precious\n"));
        QCOMPARE(symlink(path(target).constData(), path(list()).constData()), 0);
        const Run refused = run(writeList, "b.example\n", "1000");
        QCOMPARE(refused.exitCode, 3);
        QVERIFY2(refused.err.contains("no owner"), refused.err.constData());
        QCOMPARE(run(writeList, "b.example\n", "0").exitCode, 0);
        QCOMPARE(fileBytes(target), "# precious\n"_ba);
        QVERIFY(!QFileInfo(list()).isSymLink());
        QCOMPARE(listBytes(), header(0) + "b.example\n");
    }

    // Only the account named in the list in force, or root, replaces or deletes it; clearing
    // "my" list when another account's is in force takes nothing away and succeeds. Without a
    // list in force anyone may write one, and it is theirs.
    void ownerRule_data() {
        QTest::addColumn<QByteArray>("caller");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("after");
        const QByteArray kept = header(2000, "org.other.App") + "other.example\n";
        const QByteArray replaced = "replaced";
        const QStringList clear{u"clear"_s, u"com.example.Quellnet"_s};
        const QStringList clearAny{u"clear"_s, u"--any"_s};
        QTest::newRow("other account writes") << "1000"_ba << writeList << 3 << kept;
        QTest::newRow("owner writes, another app") << "2000"_ba << writeList << 0 << replaced;
        QTest::newRow("root writes") << "0"_ba << writeList << 0 << replaced;
        QTest::newRow("other account clears its own") << "1000"_ba << clear << 0 << kept;
        QTest::newRow("owner clears, any app of it") << "2000"_ba << clear << 0 << "<absent>"_ba;
        QTest::newRow("root clears its own") << "0"_ba << clear << 0 << kept;
        QTest::newRow("other account clears any") << "1000"_ba << clearAny << 3 << kept;
        QTest::newRow("root clears any") << "0"_ba << clearAny << 0 << "<absent>"_ba;
        QTest::newRow("PKEXEC_UID not a number") << "10x"_ba << writeList << 1 << kept;
        QTest::newRow("PKEXEC_UID out of range") << "4294967295"_ba << writeList << 1 << kept;
        QTest::newRow("none in force: write") << "1000"_ba << writeList << 0 << replaced;
        QTest::newRow("none in force: clear") << "1000"_ba << clear << 0 << "<absent>"_ba;
    }
    void ownerRule() {
        QFETCH(QByteArray, caller);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, after);
        freshRoot();
        if (!QByteArray(QTest::currentDataTag()).startsWith("none in force"))
            QVERIFY(replaceFile(list(), header(2000, "org.other.App") + "other.example\n"));
        const Run result = run(arguments, "mine.example\n", caller);
        QCOMPARE(result.exitCode, exitCode);
        if (exitCode == 3)
            QVERIFY2(result.err.contains("uid 2000, org.other.App"), result.err.constData());
        if (after == "replaced")
            after = header(caller.toUInt()) + "mine.example\n";
        QCOMPARE(listBytes(), after);
        QVERIFY(onlyTheList());
    }

    // While the writer rewrites the list over and over, a reader never misses a name that
    // every version holds and never blocks one that none holds.
    void readersNeverMissANameDuringRewrites() {
        freshRoot(false);
        QCOMPARE(run(writeList, "always.example\n").exitCode, 0);
        std::atomic<bool> stop{false};
        std::atomic<long> looks{0}, wrong{0};
        std::thread reader([&] {
            for (; !stop.load(); ++looks)
                wrong += m_module.lookUp("always.example") != 1 ||
                         m_module.lookUp("x.always.example") != 1 ||
                         m_module.lookUp("never.example") != 0;
        });
        int failedWrites = 0;
        for (int i = 0; i < 40; ++i) {
            QByteArray names = "always.example\n";
            for (int n = 0; n < (i % 2 ? 2000 : 3); ++n)
                names += "v" + QByteArray::number(i) + "-" + QByteArray::number(n) + ".example\n";
            failedWrites += run(writeList, names).exitCode != 0;
        }
        stop = true;
        reader.join();
        QCOMPARE(failedWrites, 0);
        QVERIFY(looks.load() > 0);
        QCOMPARE(wrong.load(), 0L);
        QCOMPARE(m_module.lookUp("v39-1999.example"), 1);
    }
};

QTEST_GUILESS_MAIN(NssTest)
#include "tst_nss.moc"
