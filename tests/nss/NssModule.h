#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <dlfcn.h>
#include <functional>
#include <netdb.h>
#include <nss.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

/**
 * The test build of the hosts module, loaded the way glibc loads it (dlopen, then the four
 * entry points by name) and pointed at a list in a temporary folder.
 */
class NssModule {
public:
    /** What one look-up answered through each entry point, with what it left in errno. */
    struct Answer {
        bool agree = true;    // all four entry points gave the same status
        bool kept = true;     // errno, and *errnop / *herrnop on UNAVAIL, untouched
        bool reported = true; // NOTFOUND came with ENOENT and HOST_NOT_FOUND
        enum nss_status status = NSS_STATUS_UNAVAIL;
        bool blocked() const { return status == NSS_STATUS_NOTFOUND; }
    };

    NssModule() {
        m_handle = dlopen(QUELLNET_NSS_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
        if (!m_handle)
            return;
        m_by4 = reinterpret_cast<nss_gethostbyname4_r *>(
            dlsym(m_handle, "_nss_quellnet_gethostbyname4_r"));
        m_by3 = reinterpret_cast<nss_gethostbyname3_r *>(
            dlsym(m_handle, "_nss_quellnet_gethostbyname3_r"));
        m_by2 = reinterpret_cast<nss_gethostbyname2_r *>(
            dlsym(m_handle, "_nss_quellnet_gethostbyname2_r"));
        m_by1 = reinterpret_cast<nss_gethostbyname_r *>(
            dlsym(m_handle, "_nss_quellnet_gethostbyname_r"));
        m_setPath = reinterpret_cast<void (*)(const char *)>(
            dlsym(m_handle, "quellnet_nss_test_set_list_path"));
    }

    bool isValid() const { return m_by4 && m_by3 && m_by2 && m_by1 && m_setPath; }
    static QString error() { return QString::fromLocal8Bit(dlerror()); }

    void setListPath(const QString &path) { m_setPath(QFile::encodeName(path).constData()); }

    /** Only the glibc getaddrinfo path (gethostbyname4_r), for tight loops. */
    bool blocked(const char *name) {
        char buffer[512];
        gaih_addrtuple *tuple = nullptr;
        int error = 0;
        int herror = 0;
        return m_by4(name, &tuple, buffer, sizeof buffer, &error, &herror, nullptr) ==
               NSS_STATUS_NOTFOUND;
    }

    Answer lookUp(const char *name) {
        Answer answer;
        char buffer[1024];
        hostent host{};
        gaih_addrtuple *tuple = nullptr;
        int32_t ttl = 0;
        char *canonical = nullptr;
        enum nss_status statuses[5];
        for (int which = 0; which < 5; ++which) {
            int error = 7777;
            int herror = 8888;
            errno = 4242;
            int *errnop = &error;
            // glibc hands the module &errno itself: that must survive an UNAVAIL too.
            if (which == 4)
                errnop = &errno;
            switch (which) {
            case 0:
            case 4:
                statuses[which] = m_by4(name, &tuple, buffer, sizeof buffer, errnop, &herror, &ttl);
                break;
            case 1:
                statuses[which] = m_by3(name, AF_INET6, &host, buffer, sizeof buffer, errnop,
                                        &herror, &ttl, &canonical);
                break;
            case 2:
                statuses[which] =
                    m_by2(name, AF_INET, &host, buffer, sizeof buffer, errnop, &herror);
                break;
            default:
                statuses[which] = m_by1(name, &host, buffer, sizeof buffer, errnop, &herror);
                break;
            }
            const int errnoAfter = errno;
            if (statuses[which] == NSS_STATUS_NOTFOUND) {
                answer.reported = answer.reported && *errnop == ENOENT && herror == HOST_NOT_FOUND;
                if (which != 4)
                    answer.kept = answer.kept && errnoAfter == 4242;
            } else {
                answer.kept = answer.kept && errnoAfter == 4242 &&
                              *errnop == (which == 4 ? 4242 : 7777) && herror == 8888;
            }
            answer.agree = answer.agree && statuses[which] == statuses[0];
        }
        answer.status = statuses[0];
        return answer;
    }

private:
    void *m_handle = nullptr;
    nss_gethostbyname4_r *m_by4 = nullptr;
    nss_gethostbyname3_r *m_by3 = nullptr;
    nss_gethostbyname2_r *m_by2 = nullptr;
    nss_gethostbyname_r *m_by1 = nullptr;
    void (*m_setPath)(const char *) = nullptr;
};

/** Writes `data` to `path` by rename, as the writer does, with the given mode. */
inline bool replaceFile(const QString &path, const QByteArray &data, mode_t mode = 0644) {
    const QString temporary = path + QStringLiteral(".new");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return false;
    file.close();
    return chmod(QFile::encodeName(temporary).constData(), mode) == 0 &&
           rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) ==
               0;
}

/** A list file as the writer makes it: header line, then the names as given. */
inline QByteArray listFile(const QByteArray &names,
                           const QByteArray &app = "com.example.Quellnet") {
    return "# quellnet-blocklist 1 uid=" + QByteArray::number(geteuid()) + " app=" + app + '\n' +
           names;
}

/**
 * Runs `check` in a forked child under a deadline, so that a look-up that hangs or crashes
 * fails the test instead of stalling or killing it. Returns what `check` reported (empty when
 * all was well), or says how the child ended.
 */
inline QByteArray inChild(const std::function<QByteArray()> &check, int deadlineMs = 20000) {
    int channel[2];
    if (pipe(channel) != 0)
        return "cannot make a pipe";
    const pid_t child = fork();
    if (child < 0)
        return "cannot fork";
    if (child == 0) {
        close(channel[0]);
        const QByteArray report = check() + '.';
        const ssize_t written = write(channel[1], report.constData(), size_t(report.size()));
        _exit(written == report.size() ? 0 : 1);
    }
    close(channel[1]);
    QByteArray report;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    bool hung = true;
    for (;;) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long left = deadlineMs - ((now.tv_sec - start.tv_sec) * 1000 +
                                        (now.tv_nsec - start.tv_nsec) / 1000000);
        pollfd wait{channel[0], POLLIN, 0};
        const int ready = left > 0 ? poll(&wait, 1, int(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[256];
        const ssize_t got = read(channel[0], buffer, sizeof buffer);
        if (got <= 0) {
            hung = got < 0;
            break;
        }
        report.append(buffer, got);
    }
    close(channel[0]);
    if (hung)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (hung)
        return "the look-up hung";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !report.endsWith('.'))
        return "the look-up crashed (status " + QByteArray::number(status) + ")";
    report.chop(1);
    return report;
}
