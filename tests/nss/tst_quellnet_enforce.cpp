#include "NssModule.h"
#include "quellnet_enforced_list.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

QByteArray path(const QString &name) {
    return QFile::encodeName(name);
}

QByteArray readAll(const QString &name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

QByteArray header(uid_t uid, const QByteArray &app = "com.example.Quellnet") {
    return "# quellnet-blocklist 1 uid=" + QByteArray::number(uid) + " app=" + app + '\n';
}

const QStringList writeList{u"write"_s, u"com.example.Quellnet"_s};

} // namespace

/**
 * The privileged writer, in its test build: it keeps its list under a temporary root and lets
 * the account running the test stand in for root as owner of files. The owner rule is driven
 * through PKEXEC_UID as pkexec would set it.
 */
class QuellnetEnforceTest : public QObject {
    Q_OBJECT

    struct Run {
        int exitCode = -1;
        QByteArray out, err;
    };

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
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    /** The folder holds the list and nothing else: no temporary file left behind. */
    bool onlyTheList() const {
        const QStringList entries = QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot);
        return entries.isEmpty() || entries == QStringList{u"blocked"_s};
    }

    void makeFolder(mode_t mode = 0755) {
        QVERIFY(QDir().mkpath(folder()));
        QCOMPARE(chmod(path(folder()).constData(), mode), 0);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init() {
        m_root = m_dir.path() + u"/%1"_s.arg(++m_roots);
        QVERIFY(QDir().mkpath(m_root));
    }

    // Names re-validated, sorted by bytes, de-duplicated, up to the name cap; the header names
    // the caller and the app; the file is the owner's, 0644, in a 0755 folder the writer made.
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
        const Run result = run(writeList, input);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.isEmpty() && result.err.isEmpty());
        QCOMPARE(readAll(list()), header(getuid()) + names);
        struct stat st {};
        QCOMPARE(lstat(path(list()).constData(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode) && st.st_uid == geteuid());
        QCOMPARE(st.st_mode & 07777, mode_t(0644));
        QCOMPARE(lstat(path(folder()).constData(), &st), 0);
        QVERIFY(st.st_uid == geteuid());
        QCOMPARE(st.st_mode & 07777, mode_t(0755));
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
        QTest::newRow("unknown command")
            << QStringList{u"append"_s, u"com.example.Quellnet"_s} << QByteArray() << "usage"_ba;
        QTest::newRow("extra argument")
            << QStringList{u"clear"_s, u"--any"_s, u"x"_s} << QByteArray() << "usage"_ba;
    }
    void refusesInvalidRequests() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, message);
        QCOMPARE(run(writeList, "kept.example\n").exitCode, 0);
        const QByteArray before = readAll(list());
        const Run result = run(arguments, input);
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.out.isEmpty());
        QCOMPARE(result.err.count('\n'), 1);
        QVERIFY2(result.err.contains(message), result.err.constData());
        QCOMPARE(readAll(list()), before);
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
        const QString elsewhere = m_root + u"/elsewhere"_s;
        QVERIFY(QDir().mkpath(elsewhere) && QDir().mkpath(m_root + u"/etc"_s));
        if (kind == u"symlink"_s) {
            QCOMPARE(symlink(path(elsewhere).constData(), path(folder()).constData()), 0);
        } else if (kind == u"file"_s) {
            QFile file(folder());
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            makeFolder(kind == u"owner"_s ? 0755 : mode_t(kind.toUInt(nullptr, 8)));
            if (kind == u"owner"_s)
                QCOMPARE(chown(path(folder()).constData(), 65534, 65534), 0);
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
        makeFolder();
        const QString target = m_root + u"/target"_s;
        QVERIFY(replaceFile(target, "# precious\n"));
        QCOMPARE(symlink(path(target).constData(), path(list()).constData()), 0);

        const Run refused = run(writeList, "b.example\n", "1000");
        QCOMPARE(refused.exitCode, 3);
        QVERIFY2(refused.err.contains("no owner"), refused.err.constData());
        QCOMPARE(run(writeList, "b.example\n", "0").exitCode, 0);
        QCOMPARE(readAll(target), "# precious\n"_ba);
        QVERIFY(!QFileInfo(list()).isSymLink());
        QCOMPARE(readAll(list()), header(0) + "b.example\n");
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
        QTest::newRow("owner clears any") << "2000"_ba << clearAny << 0 << "<absent>"_ba;
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
        makeFolder();
        if (!QByteArray(QTest::currentDataTag()).startsWith("none in force"))
            QVERIFY(replaceFile(list(), header(2000, "org.other.App") + "other.example\n"));
        const Run result = run(arguments, "mine.example\n", caller);
        QCOMPARE(result.exitCode, exitCode);
        if (exitCode == 3)
            QVERIFY2(result.err.contains("uid 2000, org.other.App"), result.err.constData());
        if (after == "replaced")
            after = header(caller.toUInt()) + "mine.example\n";
        QCOMPARE(readAll(list()), after);
        QVERIFY(onlyTheList());
    }

    // While other processes rewrite the list over and over, a reader never misses a name that
    // every version holds and never blocks one that none holds.
    void readersNeverMissANameDuringRewrites() {
        NssModule module;
        QVERIFY2(module.isValid(), qPrintable(NssModule::error()));
        QCOMPARE(run(writeList, "always.example\n").exitCode, 0);
        module.setListPath(list());

        std::atomic<bool> stop{false};
        std::atomic<long> looks{0}, wrong{0};
        std::thread reader([&] {
            while (!stop.load()) {
                wrong += !module.lookUp("always.example").blocked() ||
                         !module.lookUp("x.always.example").blocked() ||
                         module.lookUp("never.example").blocked();
                ++looks;
            }
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
        QVERIFY(module.lookUp("v39-1999.example").blocked());
    }
};

QTEST_GUILESS_MAIN(QuellnetEnforceTest)
#include "tst_quellnet_enforce.moc"
