#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "common/TestEnvironment.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>

#include <memory>

using namespace Qt::StringLiterals;

using MakeFile = std::function<void(const QString &path)>;

namespace {

// Texts cross the process boundary as hex of their UTF-16 units, so any text survives.
QByteArray encode(const QString &text) {
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2).toHex();
}

std::unique_ptr<BlocklistStore> openStore(const QString &path,
                                          BlocklistStore::Options options = {}) {
    auto store = std::make_unique<BlocklistStore>(path, options);
    new QAbstractItemModelTester(
        store->domains(), QAbstractItemModelTester::FailureReportingMode::QtTest, store->domains());
    return store;
}

DomainRef record(const QString &text) {
    return std::make_shared<Domain>(text, QUuid::createUuid());
}

/** One "id hex-text" line per record, in list order. */
QByteArray recordLines(BlocklistStore &store) {
    QByteArray lines;
    for (const DomainRef &r : store.domains()->records())
        lines +=
            r->id().toString(QUuid::WithoutBraces).toLatin1() + ' ' + encode(r->domain()) + '\n';
    return lines;
}

/** Child side: `list <path>` prints recordLines; `kill <path> <n>` saves n records, says so
    and waits to be killed. */
int runChild(const QStringList &args) {
    BlocklistStore store(args.value(1));
    if (args.value(0) == u"list"_s) {
        QTextStream(stdout) << recordLines(store);
        return 0;
    }
    for (int i = 0; i < args.value(2).toInt(); ++i) {
        QString text = u"host-%1.example"_s.arg(i);
        if (!submitDomain(text, store) || store.hasChanges())
            return 2;
    }
    QTextStream(stdout) << "saved" << Qt::endl;
    return QCoreApplication::exec();
}

} // namespace

class TestBlocklistStore : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    int m_case = 0;
    QString freshPath() { return m_env.root() + u"/store%1/blocklist.sqlite"_s.arg(++m_case); }

    static QByteArray inChild(const QStringList &args) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), QStringList{u"--child"_s} + args);
        if (!child.waitForFinished(60000) || child.exitCode() != 0)
            return "child failed: " + child.readAllStandardError();
        return child.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        const QString path = openStore(QString())->path();
        QVERIFY(path.startsWith(m_env.dataHome() + u'/') && QFileInfo::exists(path));
    }

    // Code point order (upper case first, non-ASCII after, above-BMP after U+FFFD), not UTF-16
    // order, both live and after a reopen; inserts land in place (the model tester checks the
    // neighbours), never by a reset.
    void ordering_data() {
        QTest::addColumn<QStringList>("inserted");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("upper case first")
            << QStringList{u"b"_s, u"A"_s, u"a"_s} << QStringList{u"A"_s, u"a"_s, u"b"_s};
        QTest::newRow("non-ASCII after ASCII")
            << QStringList{u"\u00e9"_s, u"z"_s, u"Z"_s} << QStringList{u"Z"_s, u"z"_s, u"\u00e9"_s};
        QTest::newRow("above the BMP by code point")
            << QStringList{u"\U0001D49C"_s, u"\uFFFD"_s, u"\uFF21"_s, u"\uD7FF"_s}
            << QStringList{u"\uD7FF"_s, u"\uFF21"_s, u"\uFFFD"_s, u"\U0001D49C"_s};
        QTest::newRow("prefix first")
            << QStringList{u"ab.com"_s, u"ab"_s, u""_s} << QStringList{u""_s, u"ab"_s, u"ab.com"_s};
    }
    void ordering() {
        QFETCH(QStringList, inserted);
        QFETCH(QStringList, listed);
        const QString path = freshPath();
        {
            auto store = openStore(path);
            QSignalSpy resets(store->domains(), &QAbstractItemModel::modelReset);
            for (const QString &text : inserted)
                store->insert(record(text));
            QVERIFY(!store->save());
            QCOMPARE(store->domains()->domainNames(), listed);
            QCOMPARE(resets.size(), 0);
        }
        QCOMPARE(openStore(path)->domains()->domainNames(), listed);
    }

    // Equal texts coexist in insertion order; records, ids and order reach another process; a
    // deleted record stays gone once saved, and changes that cancel out lose nothing.
    void recordsPersistAcrossProcesses() {
        const QString path = freshPath();
        const QList<DomainRef> made{record(u"b"_s), record(u"a"_s), record(u"a"_s),
                                    record(u" spaced "_s), record(u"lone"_s + QChar(0xD800))};
        auto store = openStore(path);
        for (const DomainRef &r : made)
            store->insert(r);
        store->insert(made[1]); // already listed: listed once
        QCOMPARE(store->domains()->records(),
                 (QList<DomainRef>{made[3], made[1], made[2], made[0], made[4]}));
        QVERIFY(!store->save());
        QCOMPARE(inChild({u"list"_s, path}), recordLines(*store));

        store->remove(made[1]);
        store->remove(made[0]); // removed and re-inserted: cancels out, the record stays
        store->insert(made[0]);
        const DomainRef fleeting = record(u"fleeting"_s);
        store->insert(fleeting);
        store->remove(fleeting);
        QVERIFY(!store->save());
        QCOMPARE(store->domains()->count(), 4);
        QCOMPARE(inChild({u"list"_s, path}), recordLines(*store));
    }

    void killedProcessLosesNothingSaved() {
        const QString path = freshPath();
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--child"_s, u"kill"_s, path, u"25"_s});
        QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine(), 60000);
        QCOMPARE(child.readLine(), QByteArray("saved\n"));
        child.kill();
        QVERIFY(child.waitForFinished(30000));
        auto store = openStore(path);
        QVERIFY(store->movedAsidePath().isEmpty());
        QCOMPARE(store->domains()->count(), 25);
    }

    // A bad file is moved aside intact, the store still opens on disk, and what is added then
    // is kept at the usual path.
    void corruptFileMovedAside_data() {
        QTest::addColumn<MakeFile>("make");
        QTest::newRow("not a database") << MakeFile([](const QString &path) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("no database here\n").repeated(300));
        });
        QTest::newRow("newer schema") << MakeFile([](const QString &path) {
            sqlite3 *db = nullptr;
            sqlite3_open(QFile::encodeName(path).constData(), &db);
            QCOMPARE(sqlite3_exec(db, "CREATE TABLE future(x); PRAGMA user_version = 7;", nullptr,
                                  nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(db);
        });
        QTest::newRow("damaged page") << MakeFile([](const QString &path) {
            {
                auto store = openStore(path);
                for (int i = 0; i < 60; ++i)
                    store->insert(record(u"site%1.test"_s.arg(i)));
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.size() >= 8192);
            file.seek(4096);
            file.write(QByteArray(4096, '\x5a'));
        });
        QTest::newRow("a directory")
            << MakeFile([](const QString &path) { QVERIFY(QDir().mkpath(path)); });
    }
    void corruptFileMovedAside() {
        QFETCH(MakeFile, make);
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        make(path);
        if (QTest::currentTestFailed())
            return;
        QFile original(path);
        const QByteArray before = original.open(QIODevice::ReadOnly) ? original.readAll() : "";
        {
            auto store = openStore(path);
            QVERIFY(!store->isStoredInMemoryOnly());
            const QString aside = store->movedAsidePath();
            QVERIFY2(aside.startsWith(path + u".corrupt-"_s), qPrintable(aside));
            QCOMPARE(store->domains()->count(), 0);
            QFile moved(aside);
            QVERIFY(QFileInfo(aside).isDir() || moved.open(QIODevice::ReadOnly));
            QCOMPARE(moved.isOpen() ? moved.readAll() : "", before);
            QString text = u"kept.example"_s;
            QVERIFY(submitDomain(text, *store));
            QVERIFY(!store->hasChanges());
        }
        auto reopened = openStore(path);
        QVERIFY(reopened->movedAsidePath().isEmpty());
        QCOMPARE(reopened->domains()->domainNames(), QStringList{u"kept.example"_s});
    }

    // A save that fails (file locked by another writer) keeps the record listed and pending;
    // autosave, or else the destructor, writes it once the lock is gone.
    void failedSaveRetried_data() {
        QTest::addColumn<bool>("byDestructor");
        QTest::newRow("autosave retries") << false;
        QTest::newRow("destructor writes") << true;
    }
    void failedSaveRetried() {
        QFETCH(bool, byDestructor);
        const QString path = freshPath();
        auto store = openStore(path, {.isAutosaveEnabled = !byDestructor});
        sqlite3 *locker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &locker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

        QString text = u"pending.example"_s;
        const DomainRef made = submitDomain(text, *store);
        QVERIFY(made);
        QCOMPARE(store->domains()->records(), QList<DomainRef>{made});
        QVERIFY(store->hasChanges());
        QVERIFY(store->save().has_value());

        QCOMPARE(sqlite3_exec(locker, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(locker);
        if (byDestructor) {
            store.reset();
        } else {
            QSignalSpy saved(store.get(), &BlocklistStore::saved);
            QVERIFY(saved.wait(10000));
            QVERIFY(!store->hasChanges());
        }
        QCOMPARE(inChild({u"list"_s, path}), made->id().toString(QUuid::WithoutBraces).toLatin1() +
                                                 ' ' + encode(u"pending.example"_s) + '\n');
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == u"--child"_s)
        return runChild(args.mid(2));
    TestBlocklistStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_blocklist_store.moc"
