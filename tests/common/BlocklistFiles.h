#pragma once

// The blocklist file as another program sees it, a second process, and a hostile file system.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <QUuid>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace BlocklistFiles {

inline bool exec(const QString &path, const QByteArray &sql) {
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

/** The rows in file order; none unless the integrity check says "ok". */
struct OnDisk {
    QByteArray verdict;
    QStringList names;
    QList<QUuid> ids; // null for an id that is not 16 bytes
};
inline OnDisk onDisk(const QString &path) {
    OnDisk disk;
    sqlite3 *db = nullptr;
    sqlite3_stmt *query = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &query, nullptr) == SQLITE_OK &&
        sqlite3_step(query) == SQLITE_ROW)
        disk.verdict = reinterpret_cast<const char *>(sqlite3_column_text(query, 0));
    sqlite3_finalize(query);
    query = nullptr;
    if (disk.verdict == "ok" &&
        sqlite3_prepare_v2(db, "SELECT domain, id FROM domains ORDER BY seq", -1, &query,
                           nullptr) == SQLITE_OK) {
        while (sqlite3_step(query) == SQLITE_ROW) {
            disk.names << QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(query, 0)));
            const void *id = sqlite3_column_blob(query, 1);
            disk.ids << (sqlite3_column_bytes(query, 1) == 16
                             ? QUuid::fromRfc4122(QByteArrayView(static_cast<const char *>(id), 16))
                             : QUuid());
        }
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return disk;
}

/** This test's binary again as `--child ARGUMENTS`, run by mainWithChild(). */
inline void startChild(QProcess &child, const QStringList &arguments) {
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--child")} + arguments);
}

/** The child's output; its exit code in `code` (-1: no normal exit). */
inline QByteArray runChild(const QStringList &arguments, int *code = nullptr) {
    QProcess child;
    startChild(child, arguments);
    const bool exited = child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit;
    if (code)
        *code = exited ? child.exitCode() : -1;
    return exited && (code || child.exitCode() == 0)
               ? child.readAllStandardOutput()
               : "child failed: " + child.readAllStandardError();
}

template<typename Test>
int mainWithChild(int argc, char **argv, int (*child)(const QStringList &)) {
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == QStringLiteral("--child"))
        return child(app.arguments().mid(2));
    Test test;
    return QTest::qExec(&test, argc, argv);
}

/** A 256 KiB tmpfs on `folder` in a private mount namespace, before any thread starts. */
inline QString privateSmallDisk(const char *folder) {
    if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0)
        return QStringLiteral("unshare: ") + QString::fromLocal8Bit(strerror(errno));
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("quellnet-test", folder, "tmpfs", 0, "size=256k,mode=0700") != 0)
        return QStringLiteral("mount: ") + QString::fromLocal8Bit(strerror(errno));
    return {};
}

/** Fills the disk to the last byte with `filler`. */
inline bool fillDisk(const QString &filler) {
    const int fd =
        ::open(QFile::encodeName(filler).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const QByteArray block(4096, 'x');
    bool full = false;
    for (qsizetype size = block.size(); fd >= 0 && size > 0; size /= 2) {
        while (::write(fd, block.constData(), size_t(size)) == size) {
        }
        full = errno == ENOSPC;
    }
    ::close(fd);
    return full;
}

/** While alive, this thread lacks root's permission overrides, as any user does. */
class WithoutFileOverrides {
public:
    WithoutFileOverrides() { setOverrides(false); }
    ~WithoutFileOverrides() { setOverrides(true); }
    WithoutFileOverrides(const WithoutFileOverrides &) = delete;
    WithoutFileOverrides &operator=(const WithoutFileOverrides &) = delete;

private:
    static void setOverrides(bool on) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) != 0)
            return;
        constexpr quint32 overrides =
            (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
        data[0].effective = on ? data[0].effective | (overrides & data[0].permitted)
                               : data[0].effective & ~overrides;
        ::syscall(SYS_capset, &header, data);
    }
};

} // namespace BlocklistFiles
