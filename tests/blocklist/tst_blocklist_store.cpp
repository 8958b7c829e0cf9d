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

QString decode(const QByteArray &hex) {
    const QByteArray bytes = QByteArray::fromHex(hex);
    return QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
}

std::unique_ptr<BlocklistStore> openStore(const QString &path,
                                          BlocklistStore::Options options = {}) {
    auto store = std::make_unique<BlocklistStore>(path, options);
    new QAbstractItemModelTester(
        store->domains(), QAbstractItemModelTester::FailureReportingMode::QtTest, store->domains());
    return store;
}

QStringList recordLines(BlocklistStore &store) {
    QStringList lines;
    for (const DomainRef &record : store.domains()->records())
        lines.append(record->id().toString(QUuid::WithoutBraces) + u' ' +
                     QString::fromLatin1(encode(record->domain())));
    return lines;
}

/** Child side: `write <path> <hex>...` adds and saves each text, `list <path>` prints the
    records, `kill <path> <n>` saves n records, says so and waits to be killed. Children inherit
    the parent's HOME and XDG folders, so they touch nothing outside its temporary folder. */
int runChild(const QStringList &args) {
    const QString command = args.value(1);
    BlocklistStore store(args.value(2));
    QTextStream out(stdout);
    if (command == u"write"_s) {
        for (const QString &hex : args.mid(3)) {
            store.insert(std::make_shared<Domain>(decode(hex.toLatin1()), QUuid::createUuid()));
            if (store.save())
                return 2;
        }
    } else if (command == u"kill"_s) {
        for (int i = 0; i < args.value(3).toInt(); ++i) {
            QString text = u"host-%1.example"_s.arg(i);
            if (!submitDomain(text, store) || store.hasChanges())
                return 2;
        }
        out << "saved" << Qt::endl;
        return QCoreApplication::exec();
    }
    for (const QString &line : recordLines(store))
        out << line << '\n';
    return 0;
}

} // namespace

class TestBlocklistStore : public QObject {
    Q_OBJECT

private:
    TestEnvironment m_env;
    int m_case = 0;
    QString freshPath() { return m_env.root() + u"/store%1/blocklist.sqlite"_s.arg(++m_case); }

    QByteArray runChildProcess(const QStringList &args) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), QStringList{u"--child"_s} + args);
        if (!child.waitForFinished(60000) || child.exitCode() != 0)
            return "child failed: " + child.readAllStandardError();
        return child.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.isValid()); }

    void defaultFileInAppData() {
        auto store = openStore(QString());
        QVERIFY(store->path().startsWith(m_env.dataHome() + u'/'));
        QVERIFY(store->path().endsWith(u"/blocklist.sqlite"_s));
        QVERIFY(!store->isStoredInMemoryOnly());
        QVERIFY(QFileInfo::exists(store->path()));
    }

    void ordering_data() {
        QTest::addColumn<QStringList>("inserted");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("empty") << QStringList{} << QStringList{};
        QTest::newRow("upper case first")
            << QStringList{u"b"_s, u"A"_s, u"a"_s} << QStringList{u"A"_s, u"a"_s, u"b"_s};
        QTest::newRow("non-ASCII after ASCII")
            << QStringList{u"\u00e9"_s, u"z"_s, u"Z"_s} << QStringList{u"Z"_s, u"z"_s, u"\u00e9"_s};
        // U+1D49C is a surrogate pair in UTF-16 (0xD835...), yet comes after U+FF21 and U+FFFD.
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
            QSignalSpy rowsInserted(store->domains(), &QAbstractItemModel::rowsInserted);
            for (const QString &text : inserted) {
                auto record = std::make_shared<Domain>(text, QUuid::createUuid());
                store->insert(record);
                QCOMPARE(rowsInserted.size(), 1);
                const int row = rowsInserted.takeFirst().at(1).toInt();
                QCOMPARE(store->domains()->at(row), record);
                QVERIFY(!store->save());
            }
            QCOMPARE(store->domains()->domainNames(), listed);
            QCOMPARE(resets.size(), 0);
        }
        QCOMPARE(openStore(path)->domains()->domainNames(), listed);
    }

    void duplicatesCoexistInInsertionOrder() {
        const QString path = freshPath();
        QList<DomainRef> made;
        {
            auto store = openStore(path);
            for (const QString &text : {u"b"_s, u"a"_s, u"a"_s, u"a"_s}) {
                made.append(std::make_shared<Domain>(text, QUuid::createUuid()));
                store->insert(made.last());
            }
            store->insert(made.at(1)); // already listed: listed once
            QCOMPARE(store->domains()->records(),
                     (QList<DomainRef>{made[1], made[2], made[3], made[0]}));
            QVERIFY(made[1] != made[2]);
        }
        auto reopened = openStore(path);
        QStringList ids;
        for (const DomainRef &record : reopened->domains()->records())
            ids.append(record->id().toString());
        QCOMPARE(ids, (QStringList{made[1]->id().toString(), made[2]->id().toString(),
                                   made[3]->id().toString(), made[0]->id().toString()}));
    }

    void persistsAcrossProcesses() {
        const QString path = freshPath();
        const QStringList texts{u"Example.com"_s, u" spaced "_s, u"\u00fcn\u00efcode"_s,
                                u"lone"_s + QChar(0xD800) + u"surrogate"_s};
        QStringList args{u"write"_s, path};
        for (const QString &text : texts)
            args.append(QString::fromLatin1(encode(text)));
        const QByteArray written = runChildProcess(args);
        QCOMPARE(written.count('\n'), 4);

        // A third process and this one see the same records, ids and order.
        QCOMPARE(runChildProcess({u"list"_s, path}), written);
        auto store = openStore(path);
        QCOMPARE(recordLines(*store).join(u'\n') + u'\n', QString::fromLatin1(written));

        const DomainRef gone = store->domains()->at(0);
        store->remove(gone);
        QVERIFY(!store->save());
        const QByteArray after = runChildProcess({u"list"_s, path});
        QCOMPARE(after.count('\n'), 3);
        QVERIFY(!after.contains(gone->id().toString(QUuid::WithoutBraces).toLatin1()));
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
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        auto store = openStore(path);
        QVERIFY(store->movedAsidePath().isEmpty());
        QCOMPARE(store->domains()->count(), 25);
    }

    void corruptFileMovedAside_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a database") << u"garbage"_s;
        QTest::newRow("newer schema") << u"newer"_s;
        QTest::newRow("damaged page") << u"damaged"_s;
        QTest::newRow("a directory") << u"directory"_s;
    }

    void corruptFileMovedAside() {
        QFETCH(QString, kind);
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (kind == u"garbage"_s) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("no database here\n").repeated(300));
        } else if (kind == u"newer"_s) {
            sqlite3 *db = nullptr;
            sqlite3_open(QFile::encodeName(path).constData(), &db);
            QCOMPARE(sqlite3_exec(db, "CREATE TABLE future(x); PRAGMA user_version = 7;", nullptr,
                                  nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(db);
        } else if (kind == u"damaged"_s) {
            {
                auto store = openStore(path);
                for (int i = 0; i < 60; ++i)
                    store->insert(
                        std::make_shared<Domain>(u"site%1.test"_s.arg(i), QUuid::createUuid()));
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.size() >= 8192);
            file.seek(4096);
            file.write(QByteArray(4096, '\x5a'));
        } else {
            QVERIFY(QDir().mkpath(path));
        }
        QFile original(path);
        const QByteArray before =
            original.open(QIODevice::ReadOnly) ? original.readAll() : QByteArray();
        original.close();

        {
            auto store = openStore(path);
            QVERIFY(!store->isStoredInMemoryOnly());
            QVERIFY(!store->movedAsidePath().isEmpty());
            QVERIFY(store->movedAsidePath().startsWith(path + u".corrupt-"_s));
            QCOMPARE(store->domains()->count(), 0);
            QFile moved(store->movedAsidePath());
            if (kind == u"directory"_s) {
                QVERIFY(QFileInfo(store->movedAsidePath()).isDir());
            } else {
                QVERIFY(moved.open(QIODevice::ReadOnly));
                QCOMPARE(moved.readAll(), before);
            }
            QString text = u"kept.example"_s;
            QVERIFY(submitDomain(text, *store));
            QVERIFY(!store->hasChanges());
        }
        auto reopened = openStore(path);
        QVERIFY(reopened->movedAsidePath().isEmpty());
        QCOMPARE(reopened->domains()->domainNames(), QStringList{u"kept.example"_s});
    }

    void failedSaveRetried_data() {
        QTest::addColumn<bool>("byDestructor");
        QTest::newRow("autosave retries") << false;
        QTest::newRow("destructor writes") << true;
    }

    void failedSaveRetried() {
        QFETCH(bool, byDestructor);
        const QString path = freshPath();
        auto store =
            openStore(path, {.isStoredInMemoryOnly = false, .isAutosaveEnabled = !byDestructor});
        sqlite3 *locker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &locker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

        QString text = u"pending.example"_s;
        const DomainRef record = submitDomain(text, *store);
        QVERIFY(record);
        QCOMPARE(store->domains()->records(),
                 QList<DomainRef>{record}); // listed despite the failure
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
        QCOMPARE(runChildProcess({u"list"_s, path}),
                 QByteArray(record->id().toString(QUuid::WithoutBraces).toLatin1() + ' ' +
                            encode(u"pending.example"_s) + '\n'));
    }

    void cancelledChangesWriteNothing() {
        const QString path = freshPath();
        auto store = openStore(path);
        const auto kept = std::make_shared<Domain>(u"kept"_s, QUuid::createUuid());
        store->insert(kept);
        QVERIFY(!store->save());

        sqlite3 *observer = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &observer), SQLITE_OK);
        const auto dataVersion = [observer] {
            sqlite3_stmt *query = nullptr;
            sqlite3_prepare_v2(observer, "PRAGMA data_version", -1, &query, nullptr);
            sqlite3_step(query);
            const int version = sqlite3_column_int(query, 0);
            sqlite3_finalize(query);
            return version;
        };
        const int before = dataVersion();

        const auto fleeting = std::make_shared<Domain>(u"fleeting"_s, QUuid::createUuid());
        store->insert(fleeting);
        store->remove(fleeting);
        store->remove(kept);
        store->insert(kept);
        QVERIFY(!store->hasChanges());
        QVERIFY(!store->save());
        QCOMPARE(dataVersion(), before);
        sqlite3_close(observer);

        store.reset();
        auto reopened = openStore(path);
        QCOMPARE(reopened->domains()->count(), 1);
        QCOMPARE(reopened->domains()->at(0)->id(), kept->id());
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == u"--child"_s)
        return runChild(args.mid(1));
    TestBlocklistStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_blocklist_store.moc"
