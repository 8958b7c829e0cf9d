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

namespace {

// Texts cross the process boundary as hex of their UTF-16 units, so any text survives.
QByteArray encode(const QString &text) {
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2).toHex();
}

std::unique_ptr<BlocklistStore> openStore(const QString &path) {
    auto store = std::make_unique<BlocklistStore>(path);
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

    // Code point order (upper case first, above-BMP after U+FFFD), not UTF-16 order, both live
    // and after a reopen; inserts land in place (the model tester checks the neighbours).
    void ordering_data() {
        QTest::addColumn<QStringList>("inserted");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("upper case first")
            << QStringList{u"b"_s, u"A"_s, u"a"_s} << QStringList{u"A"_s, u"a"_s, u"b"_s};
        QTest::newRow("above the BMP by code point")
            << QStringList{u"\U0001D49C"_s, u"\uFFFD"_s, u"\uFF21"_s, u"\uD7FF"_s}
            << QStringList{u"\uD7FF"_s, u"\uFF21"_s, u"\uFFFD"_s, u"\U0001D49C"_s};
    }
    void ordering() {
        QFETCH(QStringList, inserted);
        QFETCH(QStringList, listed);
        const QString path = freshPath();
        auto store = openStore(path);
        for (const QString &text : inserted)
            store->insert(record(text));
        QVERIFY(!store->save());
        QCOMPARE(store->domains()->domainNames(), listed);
        store.reset();
        QCOMPARE(openStore(path)->domains()->domainNames(), listed);
    }

    // Equal texts coexist in insertion order; records, ids and order reach another process; a
    // deleted record stays gone once saved.
    void recordsPersistAcrossProcesses() {
        const QString path = freshPath();
        const QList<DomainRef> made{record(u"b"_s), record(u"a"_s), record(u"a"_s),
                                    record(u" spaced "_s), record(u"lone"_s + QChar(0xD800))};
        auto store = openStore(path);
        for (const DomainRef &r : made)
            store->insert(r);
        QCOMPARE(store->domains()->records(),
                 (QList<DomainRef>{made[3], made[1], made[2], made[0], made[4]}));
        QVERIFY(!store->save());
        QCOMPARE(inChild({u"list"_s, path}), recordLines(*store));

        store->remove(made[1]);
        QVERIFY(!store->save());
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
        QCOMPARE(store->domains()->count(), 25);
    }

    // A bad file is moved aside intact, the store still opens on disk, and what is added then
    // is kept at the usual path.
    void corruptFileMovedAside_data() {
        QTest::addColumn<qint64>("damageAt"); // -1: not a database at all
        QTest::newRow("not a database") << qint64(-1);
        QTest::newRow("damaged page") << qint64(4096);
    }
    void corruptFileMovedAside() {
        QFETCH(qint64, damageAt);
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (damageAt >= 0) {
            auto store = openStore(path);
            for (int i = 0; i < 60; ++i)
                store->insert(record(u"site%1.test"_s.arg(i)));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(qMax(damageAt, 0)));
        file.write(QByteArray("no database here\n").repeated(300));
        QVERIFY(file.seek(0));
        const QByteArray before = file.readAll();
        file.close();
        auto store = openStore(path);
        const QString aside = store->movedAsidePath();
        QVERIFY2(aside.startsWith(path + u".corrupt-"_s), qPrintable(aside));
        QCOMPARE(store->domains()->count(), 0);
        QFile moved(aside);
        QVERIFY(moved.open(QIODevice::ReadOnly) && moved.readAll() == before);
        QString text = u"kept.example"_s;
        QVERIFY(submitDomain(text, *store));
        store.reset();
        QCOMPARE(openStore(path)->domains()->domainNames(), QStringList{u"kept.example"_s});
    }

    // A save that fails (file locked by another writer) keeps the record listed and pending;
    // autosave writes it once the lock is gone.
    void failedSaveRetried() {
        const QString path = freshPath();
        auto store = openStore(path);
        sqlite3 *locker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &locker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

        QString text = u"pending.example"_s;
        const DomainRef made = submitDomain(text, *store);
        QVERIFY(made && store->hasChanges());
        QVERIFY(store->save().has_value());

        QCOMPARE(sqlite3_exec(locker, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(locker);
        QSignalSpy saved(store.get(), &BlocklistStore::saved);
        QVERIFY(saved.wait(10000));
        QCOMPARE(inChild({u"list"_s, path}), recordLines(*store));
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
