#include "NssModule.h"
#include "quellnet_enforced_list.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <future>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

QByteArray path(const QString &name) {
    return QFile::encodeName(name);
}

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray readAll(const QString &name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

QByteArray header(uid_t uid, const QByteArray &app) {
    return "# quellnet-blocklist 1 uid=" + QByteArray::number(uid) + " app=" + app + '\n';
}

} // namespace

/**
 * The privileged writer, in its test build: it keeps its list under a temporary root and lets
 * the account running the test stand in for root as owner of files. The owner rule is driven
 * through PKEXEC_UID as pkexec would set it.
 */
class QuellnetEnforceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_roots = 0;
    QString m_root;

    QString folder() const { return m_root + u"/etc/quellnet"_s; }
    QString list() const { return folder() + u"/blocked"_s; }

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
        Run result;
        if (!process.waitForStarted())
            return result;
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return result;
        result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    /** The folder holds the list and nothing else: no temporary file left behind. */
    bool onlyTheList() const {
        const QStringList entries = QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot);
        return entries.isEmpty() || entries == QStringList{u"blocked"_s};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init() {
        m_root = m_dir.path() + u"/%1"_s.arg(++m_roots);
        QVERIFY(QDir().mkpath(m_root));
    }

    // Names re-validated, sorted, de-duplicated; header names the caller and the app; the file
    // is the owner's, 0644, in a 0755 folder the writer made; one line per name.
    void writesTheList_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("names");
        QTest::newRow("sorted, duplicates removed")
            << "tracker.example.net\na.example\nb.example\na.example\n"_ba
            << "a.example\nb.example\ntracker.example.net\n"_ba;
        QTest::newRow("byte order: prefix first, digits before letters")
            << "ab.example\na.example\na-b.example\n0.example\n"_ba
            << "0.example\na-b.example\na.example\nab.example\n"_ba;
        QTest::newRow("last line without newline") << "b.example\na.example"_ba
                                                   << "a.example\nb.example\n"_ba;
        QTest::newRow("nothing: a list that blocks nothing") << QByteArray() << QByteArray();
    }
    void writesTheList() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, names);
        const Run result = run({u"write"_s, u"com.example.Quellnet"_s}, input);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.isEmpty());
        QVERIFY(result.err.isEmpty());
        QCOMPARE(readAll(list()), header(getuid(), "com.example.Quellnet") + names);

        struct stat st {};
        QCOMPARE(lstat(path(list()).constData(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode));
        QCOMPARE(st.st_mode & 07777, mode_t(0644));
        QCOMPARE(st.st_uid, geteuid());
        QCOMPARE(lstat(path(folder()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0755));
        QCOMPARE(st.st_uid, geteuid());
        QVERIFY(onlyTheList());
    }

    // Any bad line or exceeded cap refuses the whole request with exit 2, says which line or
    // cap, and leaves the list in force exactly as it was.
    void refusesInvalidRequests_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("message");
        const QStringList write{u"write"_s, u"com.example.Quellnet"_s};
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
        QByteArray overInputCap(QUELLNET_LIST_MAX_BYTES + 1, 'a');
        QTest::newRow("upper case") << write << "a.example\nB.example\n"_ba
                                    << "line 2"_ba;
        QTest::newRow("trailing dot") << write << "a.example.\n"_ba
                                      << "line 1"_ba;
        QTest::newRow("empty line") << write << "a.example\n\nb.example\n"_ba
                                    << "line 2: empty"_ba;
        QTest::newRow("space") << write << "a example\n"_ba
                               << "line 1"_ba;
        QTest::newRow("CRLF") << write << "a.example\r\n"_ba
                              << "line 1"_ba;
        QTest::newRow("NUL byte") << write << "a.exa\0mple\n"_ba
                                  << "line 1"_ba;
        QTest::newRow("raw UTF-8") << write
                                   << "b\xc3\xbc"
                                      "cher.example\n"_ba
                                   << "line 1"_ba;
        QTest::newRow("label of 64") << write << QByteArray(64, 'a') + ".example\n"
                                     << "line 1"_ba;
        QTest::newRow("name of 254")
            << write << label + '.' + label + '.' + label + '.' + label.left(62) + '\n'
            << "line 1: longer than 253"_ba;
        QTest::newRow("hyphen at label end") << write << "a-.example\n"_ba
                                             << "line 1"_ba;
        QTest::newRow("over the name cap") << write << overNameCap << "10001 names"_ba;
        QTest::newRow("over the byte cap") << write << overByteCap << "bytes"_ba;
        QTest::newRow("input over the byte cap") << write << overInputCap << "standard input"_ba;
        QTest::newRow("app identifier with space")
            << QStringList{u"write"_s, u"com.example Quellnet"_s} << "a.example\n"_ba
            << "app identifier"_ba;
        QTest::newRow("empty app identifier")
            << QStringList{u"clear"_s, QString()} << QByteArray() << "app identifier"_ba;
        QTest::newRow("unknown command")
            << QStringList{u"append"_s, u"com.example.Quellnet"_s} << QByteArray() << "usage"_ba;
        QTest::newRow("missing argument") << QStringList{u"write"_s} << QByteArray() << "usage"_ba;
        QTest::newRow("extra argument")
            << QStringList{u"clear"_s, u"--any"_s, u"x"_s} << QByteArray() << "usage"_ba;
    }
    void refusesInvalidRequests() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, message);
        QCOMPARE(run({u"write"_s, u"com.example.Quellnet"_s}, "kept.example\n").exitCode, 0);
        const QByteArray before = readAll(list());

        const Run result = run(arguments, input);
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.out.isEmpty());
        QCOMPARE(result.err.count('\n'), 1);
        QVERIFY2(result.err.contains(message), result.err.constData());
        QCOMPARE(readAll(list()), before);
        QVERIFY(onlyTheList());
    }

    // The most a list may hold is accepted.
    void acceptsTheNameCap() {
        QByteArray names;
        for (int i = 0; i < QUELLNET_LIST_MAX_NAMES; ++i)
            names += "n" + QByteArray::number(i) + ".example\n";
        QCOMPARE(run({u"write"_s, u"com.example.Quellnet"_s}, names).exitCode, 0);
        QCOMPARE(readAll(list()).count('\n'), QUELLNET_LIST_MAX_NAMES + 1);
    }

    // A folder someone else could write to, or one reached through a symlink, is refused with
    // exit 1 and nothing is written anywhere.
    void refusesUntrustedFolder_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("symlink") << u"symlink"_s;
        QTest::newRow("group-writable") << u"0775"_s;
        QTest::newRow("world-writable") << u"0777"_s;
        QTest::newRow("world-writable, sticky") << u"1777"_s;
        QTest::newRow("a file") << u"file"_s;
        QTest::newRow("another owner") << u"owner"_s;
    }
    void refusesUntrustedFolder() {
        QFETCH(QString, kind);
        const QString elsewhere = m_root + u"/elsewhere"_s;
        QVERIFY(QDir().mkpath(elsewhere));
        QCOMPARE(chmod(path(elsewhere).constData(), 0755), 0);
        QVERIFY(QDir().mkpath(m_root + u"/etc"_s));
        if (kind == u"symlink"_s) {
            QCOMPARE(symlink(path(elsewhere).constData(), path(folder()).constData()), 0);
        } else if (kind == u"file"_s) {
            QFile file(folder());
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (kind == u"owner"_s) {
            if (geteuid() != 0)
                QSKIP("only root can give a folder to another owner");
            QVERIFY(QDir().mkpath(folder()));
            QCOMPARE(chmod(path(folder()).constData(), 0755), 0);
            QCOMPARE(chown(path(folder()).constData(), 65534, 65534), 0);
        } else {
            QVERIFY(QDir().mkpath(folder()));
            QCOMPARE(chmod(path(folder()).constData(), mode_t(kind.toUInt(nullptr, 8))), 0);
        }
        const Run write = run({u"write"_s, u"com.example.Quellnet"_s}, "a.example\n");
        QCOMPARE(write.exitCode, 1);
        QVERIFY2(write.err.contains("refusing"), write.err.constData());
        QVERIFY(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        if (kind != u"file"_s && kind != u"symlink"_s)
            QVERIFY(QDir(folder()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QCOMPARE(run({u"clear"_s, u"--any"_s}).exitCode, 1);
    }

    // A symlink where the list belongs is replaced, never written through; only root may do
    // that, as nobody's name is on it.
    void replacesASymlinkedListWithoutFollowingIt() {
        QCOMPARE(run({u"write"_s, u"com.example.Quellnet"_s}, "a.example\n").exitCode, 0);
        const QString target = m_root + u"/target"_s;
        QVERIFY(replaceFile(target, "# precious\n"));
        QVERIFY(QFile::remove(list()));
        QCOMPARE(symlink(path(target).constData(), path(list()).constData()), 0);

        const Run refused = run({u"write"_s, u"com.example.Quellnet"_s}, "b.example\n", "1000");
        QCOMPARE(refused.exitCode, 3);
        QVERIFY2(refused.err.contains("no owner"), refused.err.constData());
        QCOMPARE(run({u"write"_s, u"com.example.Quellnet"_s}, "b.example\n", "0").exitCode, 0);
        QCOMPARE(readAll(target), "# precious\n"_ba);
        QVERIFY(!QFileInfo(list()).isSymLink());
        QCOMPARE(readAll(list()), header(0, "com.example.Quellnet") + "b.example\n");
    }

    // Only the account named in the list in force, or root, replaces or deletes it; clearing
    // "my" list when another account's is in force takes nothing away and succeeds.
    void ownerRule_data() {
        QTest::addColumn<QByteArray>("caller");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("after");
        const QByteArray kept = header(2000, "org.other.App") + "other.example\n";
        const QByteArray replaced = "replaced";
        const QStringList write{u"write"_s, u"com.example.Quellnet"_s};
        const QStringList clear{u"clear"_s, u"com.example.Quellnet"_s};
        const QStringList clearAny{u"clear"_s, u"--any"_s};
        QTest::newRow("other account writes") << "1000"_ba << write << 3 << kept;
        QTest::newRow("owner writes, another app") << "2000"_ba << write << 0 << replaced;
        QTest::newRow("root writes") << "0"_ba << write << 0 << replaced;
        QTest::newRow("other account clears its own") << "1000"_ba << clear << 0 << kept;
        QTest::newRow("owner clears, any app of it") << "2000"_ba << clear << 0 << "<absent>"_ba;
        QTest::newRow("root clears its own") << "0"_ba << clear << 0 << kept;
        QTest::newRow("other account clears any") << "1000"_ba << clearAny << 3 << kept;
        QTest::newRow("owner clears any") << "2000"_ba << clearAny << 0 << "<absent>"_ba;
        QTest::newRow("root clears any") << "0"_ba << clearAny << 0 << "<absent>"_ba;
        QTest::newRow("PKEXEC_UID not a number") << "10x"_ba << write << 1 << kept;
        QTest::newRow("PKEXEC_UID out of range") << "4294967295"_ba << write << 1 << kept;
    }
    void ownerRule() {
        QFETCH(QByteArray, caller);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, after);
        QVERIFY(QDir().mkpath(folder()));
        QCOMPARE(chmod(path(folder()).constData(), 0755), 0);
        const QByteArray other = header(2000, "org.other.App") + "other.example\n";
        QVERIFY(replaceFile(list(), other));

        const Run result = run(arguments, "mine.example\n", caller);
        QCOMPARE(result.exitCode, exitCode);
        if (exitCode == 3)
            QVERIFY2(result.err.contains("uid 2000, org.other.App"), result.err.constData());
        if (after == "replaced")
            after = header(caller.toUInt(), "com.example.Quellnet") + "mine.example\n";
        QCOMPARE(readAll(list()), after);
        QVERIFY(onlyTheList());
    }

    // Without a list in force anyone may write one, and it is theirs; clearing is idempotent.
    void noListInForce() {
        QCOMPARE(run({u"clear"_s, u"--any"_s}, {}, "1000").exitCode, 0);
        QVERIFY(!QFileInfo::exists(m_root + u"/etc"_s));
        QCOMPARE(run({u"write"_s, u"com.example.Quellnet"_s}, "a.example\n", "1000").exitCode, 0);
        QCOMPARE(readAll(list()), header(1000, "com.example.Quellnet") + "a.example\n");
        QCOMPARE(run({u"clear"_s, u"com.example.Quellnet"_s}, {}, "1000").exitCode, 0);
        QVERIFY(!QFileInfo::exists(list()));
        QCOMPARE(run({u"clear"_s, u"com.example.Quellnet"_s}, {}, "1000").exitCode, 0);
    }

    // While other processes rewrite the list over and over, a reader never misses a name that
    // every version holds and never blocks one that none holds.
    void readersNeverMissANameDuringRewrites() {
        NssModule module;
        QVERIFY2(module.isValid(), qPrintable(NssModule::error()));
        QCOMPARE(run({u"write"_s, u"com.example.Quellnet"_s}, "always.example\n").exitCode, 0);
        module.setListPath(list());

        std::atomic<bool> stop{false};
        std::atomic<long> looks{0};
        std::atomic<long> wrong{0};
        std::promise<void> started;
        std::thread reader([&] {
            bool first = true;
            while (!stop.load()) {
                if (!module.blocked("always.example") || !module.blocked("x.always.example") ||
                    module.blocked("never.example"))
                    ++wrong;
                ++looks;
                if (first) {
                    started.set_value();
                    first = false;
                }
            }
        });
        started.get_future().wait();
        int failedWrites = 0;
        for (int i = 0; i < 40; ++i) {
            QByteArray names = "always.example\n";
            for (int n = 0; n < (i % 2 ? 2000 : 3); ++n)
                names += "v" + QByteArray::number(i) + "-" + QByteArray::number(n) + ".example\n";
            failedWrites += run({u"write"_s, u"com.example.Quellnet"_s}, names).exitCode != 0;
        }
        stop = true;
        reader.join();
        QCOMPARE(failedWrites, 0);
        QVERIFY(looks.load() > 0);
        QCOMPARE(wrong.load(), 0L);
        QVERIFY(module.blocked("v39-1999.example"));
    }
};

QTEST_GUILESS_MAIN(QuellnetEnforceTest)
#include "tst_quellnet_enforce.moc"
