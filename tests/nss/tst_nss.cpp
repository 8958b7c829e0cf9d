// The hosts module (loaded as glibc does: dlopen, four entry points by name) and the writer
// (owner rule driven through PKEXEC_UID as pkexec sets it), in their test builds.
#include "common/TestFiles.h"
#include "quellnet_enforced_list.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <netdb.h>
#include <nss.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray path(const QString &name) {
    return QFile::encodeName(name);
}

QByteArray header(uid_t uid = geteuid(), const QByteArray &app = "com.example.Quellnet") {
    return "# quellnet-blocklist 1 uid=" + QByteArray::number(uid) + " app=" + app + '\n';
}

bool replaceFile(const QString &file, const QByteArray &data, mode_t mode = 0644) {
    const QString temporary = file + u".new"_s;
    return putFile(temporary, data) && chmod(path(temporary).constData(), mode) == 0 &&
           rename(path(temporary).constData(), path(file).constData()) == 0;
}

QByteArray namesOf(int count) {
    QByteArrayList names{"example.com"};
    for (int i = 1; i < count; ++i)
        names << "n" + QByteArray::number(i) + ".example";
    std::sort(names.begin(), names.end());
    return names.join('\n') + '\n';
}

QByteArray paddedTo(qsizetype size) {
    const QByteArray data = header() + "example.com\n";
    return data + QByteArray(size - data.size() - 1, '#') + '\n';
}

/** The test build of the hosts module, pointed at a list of the test's choosing. */
class NssModule {
public:
    bool isValid() const { return m_by4 && m_by3 && m_by2 && m_by1 && m_setPath && m_setResolv; }
    void setListPath(const QString &list) { m_setPath(path(list).constData()); }
    void setResolvConfPath(const QString &file) { m_setResolv(path(file).constData()); }

    /** 1 blocked, 0 not, -1 if the entry points disagree or report errors wrongly. */
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
    void *m_handle = dlopen(QUELLNET_NSS_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    nss_gethostbyname4_r *m_by4 = symbol<nss_gethostbyname4_r>("_nss_quellnet_gethostbyname4_r");
    nss_gethostbyname3_r *m_by3 = symbol<nss_gethostbyname3_r>("_nss_quellnet_gethostbyname3_r");
    nss_gethostbyname2_r *m_by2 = symbol<nss_gethostbyname2_r>("_nss_quellnet_gethostbyname2_r");
    nss_gethostbyname_r *m_by1 = symbol<nss_gethostbyname_r>("_nss_quellnet_gethostbyname_r");
    void (*m_setPath)(const char *) = symbol<void(const char *)>("quellnet_nss_test_set_list_path");
    void (*m_setResolv)(const char *) =
        symbol<void(const char *)>("quellnet_nss_test_set_resolv_conf_path");
};

} // namespace

class NssTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    NssModule m_module;
    int m_roots = 0;
    QString m_root;

    QString folder() const { return m_root + u"/etc/quellnet"_s; }
    QString list() const { return folder() + u"/blocked"_s; }
    QString resolvConf() const { return m_root + u"/etc/resolv.conf"_s; }

    /** A fresh root with DIR/etc/quellnet (0755, if `made`), the module pointed at its list. */
    void freshRoot(bool made = true) {
        m_root = m_dir.path() + u"/%1"_s.arg(++m_roots);
        QVERIFY(QDir().mkpath(made ? folder() : m_root + u"/etc"_s));
        QVERIFY(!made || chmod(path(folder()).constData(), 0755) == 0);
        m_module.setListPath(list());
        // Without one, the search domain would come from this machine's host name.
        QVERIFY(replaceFile(resolvConf(), "domain quellnet-test.invalid\n"));
        m_module.setResolvConfPath(resolvConf());
    }

    /**
     * The first answer from a freshly read list searches it as it stands, without the index;
     * the cases below are the index's. A name no list holds is never blocked either way.
     */
    void answerFirst() { QCOMPARE(m_module.lookUp("first-answer.invalid"), 0); }

    void expect(const QByteArrayList &blocked, const QByteArrayList &open) {
        for (const QByteArray &name : blocked)
            QVERIFY2(m_module.lookUp(name.constData()) == 1, name.constData());
        for (const QByteArray &name : open)
            QVERIFY2(m_module.lookUp(name.constData()) == 0, name.constData());
    }

    /** The writer's exit code, or -1 if it crashed or hung. */
    int run(const QStringList &arguments, const QByteArray &input, const QByteArray &pkexecUid) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"PKEXEC_UID"_s, QString::fromLatin1(pkexecUid));
        if (pkexecUid.isNull())
            environment.remove(u"PKEXEC_UID"_s);
        process.setProcessEnvironment(environment);
        process.start(QString::fromLocal8Bit(QUELLNET_ENFORCE_TEST),
                      QStringList{u"--root"_s, m_root} + arguments);
        process.write(input);
        process.closeWriteChannel();
        const bool ended = process.waitForFinished(60000);
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_module.isValid(), qPrintable(QString::fromLocal8Bit(dlerror())));
    }

    // Listed names and names under them are blocked, and while a list is in force, even an
    // empty one, so is the browser signal (no list entry); a list the module cannot trust or read
    // whole blocks nothing; a bad line never blocks nor hides good ones. Never a crash or hang.
    void lookUps_data() {
        QTest::addColumn<QByteArray>("setup"); // what else is done besides writing `content`
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArrayList>("blocked");
        QTest::addColumn<QByteArrayList>("open");
        const QByteArray good = header() + "example.com\n";
        const auto distrusted =
            [](const char *name, const QByteArray &setup, const QByteArray &content) {
                QTest::newRow(name)
                    << setup << content << QByteArrayList()
                    << QByteArrayList{"example.com", "www.example.com", "use-application-dns.net"};
            };
        const QByteArrayList open = QByteArray("example.com.evil.org b\303\274cher.example "
                                               "example.com.. www..example.com LOCALHOST. "
                                               "db.localhost")
                                        .split(' ')
                                    << QByteArray(250, 'a') + ".example.com"
                                    << "notuse-application-dns.net"
                                    << "use-application-dns.net.example"
                                    << "application-dns.net";
        QTest::newRow("names")
            << QByteArray() << header() + "example.com\nlocalhost\nunder_score.example\n"
            << QByteArrayList{"_dmarc.under_score.example", "localhost.example.com",
                              "use-application-dns.net",    "USE-Application-DNS.net.",
                              "x.use-application-dns.net",  R"(use\-application-dns.net)"}
            << open;
        QTest::newRow("empty list")
            << QByteArray() << header() << QByteArrayList{"use-application-dns.net"}
            << QByteArrayList{"example.com"};
        distrusted("no list", "absent", {});
        distrusted("no header line", {}, "example.com\nexample.com\n");
        distrusted("file group-writable", "file 0664", good);
        distrusted("list is a symlink", "symlink", good);
        distrusted("folder is a symlink", "folder symlink", good);
        distrusted("FIFO", "fifo", {});
        distrusted("one byte over the cap", {}, paddedTo(QUELLNET_LIST_MAX_BYTES + 1));
        distrusted("one name over the cap", {}, header() + namesOf(QUELLNET_LIST_MAX_NAMES + 1));
        QTest::newRow("garbage and NUL lines among good ones")
            << QByteArray()
            << header() + QByteArray("exa\0mple.org\n", 13) +
                   "\xff\xfe.example\nEXAMPLE.NET\n-bad.example\n\n\n" + QByteArray(300, 'x') +
                   "\nspaced name.example\ncrlf.example\r\nexample.com\nexample.org\n"
                   "tracker.example.net\nlast.example"
            << QByteArrayList{"example.com", "tracker.example.net", "a.example.org"}
            << QByteArrayList{"exa",          "example.net", "crlf.example",
                              "last.example", "bad.example", "spaced"};
        // In byte order, so indexed as it stands: a line that is not a name still blocks nothing.
        QTest::newRow("bad lines in byte order")
            << QByteArray()
            << header() + "\n-bad.example\nEXAMPLE.NET\na b.example\n" +
                   QByteArray("exa\0mple.org\n", 13) +
                   "example.com\ntracker.example.net\n\xff.example\n"
            << QByteArrayList{"example.com", "www.example.com", "tracker.example.net",
                              R"(a\032b.example.com)"}
            << QByteArrayList{"-bad.example",    "x.-bad.example",     R"(a\032b.example)",
                              "a b.example",     R"(exa\000mple.org)", "example.net",
                              R"(\255.example)", "EXAMPLE.NET"};
    }
    void lookUps() {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, content);
        QFETCH(QByteArrayList, blocked);
        QFETCH(QByteArrayList, open);
        freshRoot();
        if (setup == "fifo") {
            QCOMPARE(mkfifo(path(list()).constData(), 0644), 0);
        } else if (setup == "symlink") {
            QVERIFY(replaceFile(folder() + u"/real"_s, content));
            QCOMPARE(symlink("real", path(list()).constData()), 0);
        } else if (setup != "absent") {
            QVERIFY(replaceFile(list(), content, setup == "file 0664" ? 0664 : 0644));
        }
        if (setup == "folder symlink") {
            const QByteArray real = path(folder() + u"-real"_s);
            QCOMPARE(rename(path(folder()).constData(), real.constData()), 0);
            QCOMPARE(symlink(real.constData(), path(folder()).constData()), 0);
        }
        // A FIFO opened without O_NONBLOCK would hang: end the test rather than stall it.
        alarm(20);
        const auto noDeadline = qScopeGuard([] { alarm(0); });
        answerFirst();
        expect(blocked, open);
    }

    // The search finds every name and no neighbour, on a list in byte order (indexed as it
    // stands) and reversed (sorted into a copy first); so does the first answer from a list in
    // byte order. On the reversed list, not the writer's, a first answer may miss a name but
    // never blocks one it does not hold.
    void everyListedNameIsFound() {
        QByteArrayList listed, between;
        for (const char first : QByteArray("0123456789_abcdefghijklmnopqrstuvwxyz")) {
            for (int i = 0; i < 60; ++i)
                (i % 2 ? between : listed) << first + QByteArray::number(i * 7) + ".t";
        }
        std::sort(listed.begin(), listed.end());
        for (int pass = 0; pass < 2; ++pass, std::reverse(listed.begin(), listed.end())) {
            freshRoot();
            QVERIFY(replaceFile(list(), header() + listed.join('\n') + '\n'));
            for (const QByteArray &name : listed + between) {
                m_module.setListPath(list());
                const int first = m_module.lookUp(name.constData());
                QVERIFY2(between.contains(name) ? first == 0 : first == 1 || pass == 1,
                         name.constData());
            }
            answerFirst();
            expect(listed + QByteArrayList{"www.z406.t"}, between + QByteArrayList{"z406.tt"});
        }
    }

    // What the C library's resolver would send is what is matched: escapes decoded as
    // ns_name_pton decodes them, case and one trailing dot ignored, and a name the resolver
    // joins to the search domains of resolv.conf (read as glibc reads it) blocked when the
    // joined name is. A resolv.conf the module cannot trust adds no search domains.
    void resolverRewrites_data() {
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArray>("conf");
        QTest::addColumn<QByteArrayList>("blocked");
        QTest::addColumn<QByteArrayList>("open");
        const auto row = [](const char *name, const QByteArray &setup, const QByteArray &conf,
                            const char *blocked, const char *open) {
            QTest::newRow(name) << setup << conf << QByteArray(blocked).split(' ')
                                << QByteArray(open).split(' ');
        };
        const QByteArray search = "search example.net\n";
        row("escapes", {}, {},
            R"(\116racker.example.net tr\acker.example.net \098lk.test \066LK.TEST. )"
            R"(tracker.example.net\ a\032b.tracker.example.net x\.y.blk.test \\.blk.test )"
            R"(tracker.exampl\e.n\e\116. \000.blk.test)",
            R"(tracker\.example.net blk\.test \256lk.test \98lk.test \09 tracker.example.net.. )"
            R"(x.blk\.test .blk.test blk..test \046blk.test \.blk.test)");
        row("search list", {}, "nameserver 127.0.0.1\nsearch  other.test\texample.net\n",
            R"(tracker TRACKER tr\acker x.tracker.example.net)",
            R"(tracker. tracker\ ads.tracker tracker.other \.tracker example other)");
        row("search domain with a leading or trailing dot", {}, "search .example.net. x\n",
            "tracker", "tracker.");
        row("domain after search wins", {}, "search other.test\ndomain example.net extra\n",
            "tracker", "other");
        row("search after domain wins", {}, "domain example.net\nsearch other.test\n",
            "tracker.example.net", "tracker");
        row("comments", {}, "# search example.net\n; search example.net\n", "tracker.example.net",
            "tracker");
        row("ndots: fewer dots are joined first", {}, search + "options rotate ndots:3\n",
            "tracker a.tracker b.a.tracker", "c.b.a.tracker a.tracker.");
        row("ndots:0 still joins a dotless name", {}, search + "options ndots:0\n", "tracker",
            "a.tracker");
        row("ndots over 15 is 15", {}, search + "options ndots:99\n", "a.b.c.d.e.f.g.tracker",
            "a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.tracker");
        row("search joins the browser signal", {}, "search net\n", "use-application-dns",
            "application-dns");
        row("resolv.conf a symlink", "symlink", search, "tracker.example.net", "tracker");
        row("resolv.conf writable by its group", "0664", search, "tracker.example.net", "tracker");
        row("resolv.conf over its cap", "big", search, "tracker.example.net", "tracker");
        row("resolv.conf absent", "absent", {}, "tracker.example.net", "other");
    }
    void resolverRewrites() {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, conf);
        QFETCH(QByteArrayList, blocked);
        QFETCH(QByteArrayList, open);
        freshRoot();
        QVERIFY(replaceFile(list(), header() + "blk.test\ntracker.example.net\n"));
        if (setup == "big")
            conf += QByteArray(64 * 1024, '#');
        QVERIFY(QFile::remove(resolvConf()));
        if (setup == "symlink") {
            QVERIFY(replaceFile(m_root + u"/resolv.conf.real"_s, conf));
            QCOMPARE(symlink("../resolv.conf.real", path(resolvConf()).constData()), 0);
        } else if (setup != "absent") {
            QVERIFY(replaceFile(resolvConf(), conf, setup == "0664" ? 0664 : 0644));
        }
        expect(blocked, open);
    }

    // The header line, read one way by the module, the writer and the platform.
    void headerLine_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<uint>("uid");
        QTest::addColumn<QByteArray>("app");
        const auto row = [](const char *line, int kind, uint uid = 0, const QByteArray &app = {}) {
            QTest::newRow(line) << QByteArray(line) << kind << uid << app;
        };
        row("# quellnet-blocklist 1 uid=1000 app=com.example.A", QUELLNET_HEADER_OWNED, 1000,
            "com.example.A");
        row("# quellnet-blocklist 1 uid=4294967294 app=x", QUELLNET_HEADER_OWNED, 4294967294u, "x");
        row("# quellnet-blocklist 1", QUELLNET_HEADER_NO_OWNER);
        row("# quellnet-blocklist 1 uid=4294967295 app=x", QUELLNET_HEADER_NO_OWNER);
        row("# quellnet-blocklist 1 uid=99999999999999999999 app=x", QUELLNET_HEADER_NO_OWNER);
        row("# quellnet-blocklist 1 uid=+5 app=x", QUELLNET_HEADER_NO_OWNER);
        row("# quellnet-blocklist 1 uid=5 app=", QUELLNET_HEADER_NO_OWNER);
        row("# quellnet-blocklist 1 uid=5 app=two words", QUELLNET_HEADER_NO_OWNER);
        row("# quellnet-blocklist 1 uid=5  app=x", QUELLNET_HEADER_NO_OWNER);
        row("# quellnet-blocklist 12 uid=5 app=x", QUELLNET_HEADER_NOT_OURS);
        row("# quellnet-blocklist", QUELLNET_HEADER_NOT_OURS);
        row("", QUELLNET_HEADER_NOT_OURS);
    }
    void headerLine() {
        QFETCH(QByteArray, line);
        QFETCH(int, kind);
        QFETCH(uint, uid);
        QFETCH(QByteArray, app);
        // Read from a copy without a terminator, so a read past the line shows under ASan.
        const std::unique_ptr<char[]> copy(new char[size_t(line.size()) + 1]);
        memcpy(copy.get(), line.constData(), size_t(line.size()));
        quellnet_list_header header{};
        QCOMPARE(int(quellnet_parse_header(copy.get(), size_t(line.size()), &header)), kind);
        if (kind == QUELLNET_HEADER_OWNED) {
            QCOMPARE(uint(header.uid), uid);
            QCOMPARE(QByteArray(header.app, qsizetype(header.app_length)), app);
        }
    }

    // The writer: what it writes, the owner rule, and refusals, which leave everything as it was.
    void writer_data() {
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArray>("caller"); // PKEXEC_UID, if set
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("after"); // the names under the caller's header, or "kept"
        const QStringList writeList{u"write"_s, u"com.example.Quellnet"_s};
        const QStringList clear{u"clear"_s, u"com.example.Quellnet"_s};
        const QStringList clearAny{u"clear"_s, u"--any"_s};
        const QByteArray mine = "mine.example\n", kept = "kept", absent = "<absent>";
        const auto row = [](const char *name, const QByteArray &setup, const QByteArray &caller,
                            const QStringList &arguments, const QByteArray &input, int exitCode,
                            const QByteArray &after) {
            QTest::newRow(name) << setup << caller << arguments << input << exitCode << after;
        };
        row("sorted by bytes, de-duplicated", "none", {}, writeList,
            "tracker.example.net\nab.example\na.example\na-b.example\n0.example\na.example", 0,
            "0.example\na-b.example\na.example\nab.example\ntracker.example.net\n");
        // Against uid 2000's list for org.other.App.
        row("other account writes", "other", "1000", writeList, mine, 3, kept);
        row("owner writes, another app", "other", "2000", writeList, mine, 0, mine);
        row("root writes", "other", "0", writeList, mine, 0, mine);
        row("owner clears, any app of it", "other", "2000", clear, {}, 0, absent);
        row("other account clears any", "other", "1000", clearAny, {}, 3, kept);
        row("PKEXEC_UID past 32 bits", "other", "4294967296", writeList, mine, 1, kept);
        row("upper case", "other", "0", writeList, "a.example\nB.example\n", 2, kept);
        row("NUL byte", "other", "0", writeList, "a.exa\0mple\n"_ba, 2, kept);
        row("input over the byte cap", "other", "0", writeList,
            QByteArray(QUELLNET_LIST_MAX_BYTES + 1, 'a'), 2, kept);
        row("list a symlink: root", "link", "0", writeList, mine, 0, mine);
        row("folder a symlink", "folder link", {}, writeList, mine, 1, absent);
    }
    void writer() {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, caller);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, after);
        freshRoot(setup != "none" && setup != "folder link");
        const QString target = m_root + u"/target"_s;
        if (setup == "other")
            QVERIFY(replaceFile(list(), header(2000, "org.other.App") + "other.example\n"));
        if (setup == "link") {
            QVERIFY(replaceFile(target, "# precious\n"));
            QCOMPARE(symlink(path(target).constData(), path(list()).constData()), 0);
        }
        if (setup == "folder link") {
            QVERIFY(QDir().mkpath(target));
            QCOMPARE(symlink(path(target).constData(), path(folder()).constData()), 0);
        }
        const QByteArray before = fileBytes(list(), "<absent>");

        QCOMPARE(run(arguments, input, caller), exitCode);
        if (after == "kept")
            after = before;
        else if (after != "<absent>")
            after = header(caller.isNull() ? getuid() : caller.toUInt()) + after;
        QCOMPARE(fileBytes(list(), "<absent>"), after);
        // No temporary left behind, nor anything in a symlinked folder's target.
        QStringList left = QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                    QDir::NoDotAndDotDot);
        left.removeOne(u".lock"_s);
        QVERIFY(left.isEmpty() || left == QStringList{u"blocked"_s});
        if (setup == "link")
            QCOMPARE(fileBytes(target), "# precious\n"_ba);
        struct stat file {
        }, dir{};
        if (exitCode == 0 && after != "<absent>")
            QVERIFY(
                lstat(path(list()).constData(), &file) == 0 && file.st_mode == (S_IFREG | 0644) &&
                lstat(path(folder()).constData(), &dir) == 0 && dir.st_mode == (S_IFDIR | 0755));
    }
};

QTEST_GUILESS_MAIN(NssTest)
#include "tst_nss.moc"
