// Times the blocklist store's writes and its opening against the same work done with bare
// SQLite (same schema, journal mode and synchronous level) in the same run, and prints the
// medians and their ratio.

#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Clock = std::chrono::steady_clock;

double micros(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples.at(samples.size() / 2);
}

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "benchmark failed: %s\n", what);
        std::exit(1);
    }
}

/** The same writes as the store, straight through the C API with prepared statements. */
struct BareStore {
    sqlite3 *db = nullptr;
    sqlite3_stmt *begin = nullptr, *commit = nullptr, *insert = nullptr, *remove = nullptr;

    explicit BareStore(const QString &path) {
        check(sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK, "bare open");
        check(sqlite3_exec(db,
                           "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                           "CREATE TABLE IF NOT EXISTS domains(seq INTEGER PRIMARY KEY,"
                           " domain TEXT NOT NULL, id BLOB NOT NULL)",
                           nullptr, nullptr, nullptr) == SQLITE_OK,
              "bare schema");
        sqlite3_prepare_v2(db, "BEGIN IMMEDIATE", -1, &begin, nullptr);
        sqlite3_prepare_v2(db, "COMMIT", -1, &commit, nullptr);
        // The store's statements: a plain insert, a delete of the row seen, checked by id.
        sqlite3_prepare_v2(db, "INSERT INTO domains(domain, id) VALUES(?1, ?2)", -1, &insert,
                           nullptr);
        sqlite3_prepare_v2(db, "DELETE FROM domains WHERE seq = ?1 AND id = ?2", -1, &remove,
                           nullptr);
    }
    ~BareStore() {
        for (sqlite3_stmt *statement : {begin, commit, insert, remove})
            sqlite3_finalize(statement);
        sqlite3_close(db);
    }
    static void run(sqlite3_stmt *statement) {
        check(sqlite3_step(statement) == SQLITE_DONE, "bare step");
        sqlite3_reset(statement);
    }
    sqlite3_int64 add(const std::string &domain, const std::array<char, 16> &id) {
        run(begin);
        sqlite3_bind_text(insert, 1, domain.data(), int(domain.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, id.data(), 16, SQLITE_TRANSIENT);
        run(insert);
        run(commit);
        return sqlite3_last_insert_rowid(db);
    }
    void drop(sqlite3_int64 seq, const std::array<char, 16> &id) {
        run(begin);
        sqlite3_bind_int64(remove, 1, seq);
        sqlite3_bind_blob(remove, 2, id.data(), 16, SQLITE_TRANSIENT);
        run(remove);
        run(commit);
    }
};

struct BareRow {
    sqlite3_int64 seq;
    std::string domain;
    std::array<char, 16> id;
};

/** Bare opening: connect, set the same pragmas, read every row into memory. */
std::vector<BareRow> bareOpen(const QString &path, sqlite3 **db) {
    check(sqlite3_open(QFile::encodeName(path).constData(), db) == SQLITE_OK, "bare open");
    sqlite3_exec(*db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt *query = nullptr;
    sqlite3_prepare_v2(*db, "SELECT seq, domain, id FROM domains ORDER BY domain, seq", -1, &query,
                       nullptr);
    std::vector<BareRow> rows;
    while (sqlite3_step(query) == SQLITE_ROW) {
        BareRow row{sqlite3_column_int64(query, 0),
                    std::string(reinterpret_cast<const char *>(sqlite3_column_text(query, 1)),
                                size_t(sqlite3_column_bytes(query, 1))),
                    {}};
        std::copy_n(static_cast<const char *>(sqlite3_column_blob(query, 2)), 16, row.id.data());
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(query);
    return rows;
}

QString nameFor(int i) {
    return u"tracker-%1.example.com"_s.arg(i * 7919 % 1000);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    check(dir.isValid(), "temporary folder");
    constexpr int records = 200;
    constexpr int cycles = 3;
    constexpr int opens = 60;

    std::vector<double> ourInsert, bareInsert, ourDelete, bareDelete, ourOpen, bareOpenTimes;
    {
        BlocklistStore store(dir.filePath(u"ours.sqlite"_s));
        BareStore bare(dir.filePath(u"bare.sqlite"_s));
        for (int cycle = 0; cycle < cycles; ++cycle) {
            std::vector<DomainRef> made;
            std::vector<std::pair<sqlite3_int64, std::array<char, 16>>> bareRows;
            for (int i = 0; i < records; ++i) {
                auto record = std::make_shared<Domain>(nameFor(i), QUuid::createUuid());
                const std::string utf8 = record->domain().toStdString();
                std::array<char, 16> id;
                std::copy_n(record->id().toRfc4122().constData(), 16, id.data());

                auto t0 = Clock::now();
                store.insert(record);
                check(!store.save(), "save");
                auto t1 = Clock::now();
                bareRows.emplace_back(bare.add(utf8, id), id);
                auto t2 = Clock::now();
                ourInsert.push_back(micros(t0, t1));
                bareInsert.push_back(micros(t1, t2));
                made.push_back(record);
            }
            if (cycle == cycles - 1)
                break; // keep the last 200 for the open figures
            for (int i = 0; i < records; ++i) {
                auto t0 = Clock::now();
                store.remove(made.at(size_t(i)));
                check(!store.save(), "save");
                auto t1 = Clock::now();
                bare.drop(bareRows.at(size_t(i)).first, bareRows.at(size_t(i)).second);
                auto t2 = Clock::now();
                ourDelete.push_back(micros(t0, t1));
                bareDelete.push_back(micros(t1, t2));
            }
        }
    }

    for (int i = 0; i < opens; ++i) {
        auto t0 = Clock::now();
        auto store = std::make_unique<BlocklistStore>(dir.filePath(u"ours.sqlite"_s));
        auto t1 = Clock::now();
        check(store->domains()->count() == records, "opened store holds 200 records");
        store.reset();
        sqlite3 *db = nullptr;
        auto t2 = Clock::now();
        const auto rows = bareOpen(dir.filePath(u"bare.sqlite"_s), &db);
        auto t3 = Clock::now();
        check(rows.size() == records, "bare read holds 200 rows");
        sqlite3_close(db);
        ourOpen.push_back(micros(t0, t1));
        bareOpenTimes.push_back(micros(t2, t3));
    }

    QTextStream out(stdout);
    out << "blocklist store vs bare SQLite (WAL, synchronous=NORMAL), median microseconds\n";
    const auto line = [&out](const char *what, const std::vector<double> &ours,
                             const std::vector<double> &bare) {
        const double a = median(ours);
        const double b = median(bare);
        out << QString::asprintf("%-28s ours %9.1f   bare %9.1f   ratio %5.2fx  (n=%zu)\n", what, a,
                                 b, a / b, ours.size());
    };
    line("insert + save", ourInsert, bareInsert);
    line("delete + save", ourDelete, bareDelete);
    line("open 200 records to model", ourOpen, bareOpenTimes);
    out << "aim: ratio within 1.30x\n";
    return 0;
}
