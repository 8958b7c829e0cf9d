#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <dlfcn.h>
#include <netdb.h>
#include <nss.h>
#include <sys/stat.h>
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
        bool kept = true;     // errno, and *errnop / *herrnop unless NOTFOUND, untouched
        bool reported = true; // NOTFOUND came with ENOENT and HOST_NOT_FOUND
        enum nss_status status = NSS_STATUS_UNAVAIL;
        bool blocked() const { return status == NSS_STATUS_NOTFOUND; }
        bool sound() const { return agree && kept && reported; }
    };

    NssModule()
        : m_handle(dlopen(QUELLNET_NSS_TEST_MODULE, RTLD_NOW | RTLD_LOCAL)) {
        m_by4 = symbol<nss_gethostbyname4_r>("_nss_quellnet_gethostbyname4_r");
        m_by3 = symbol<nss_gethostbyname3_r>("_nss_quellnet_gethostbyname3_r");
        m_by2 = symbol<nss_gethostbyname2_r>("_nss_quellnet_gethostbyname2_r");
        m_by1 = symbol<nss_gethostbyname_r>("_nss_quellnet_gethostbyname_r");
        m_setPath = symbol<void(const char *)>("quellnet_nss_test_set_list_path");
    }

    bool isValid() const { return m_by4 && m_by3 && m_by2 && m_by1 && m_setPath; }
    static QString error() { return QString::fromLocal8Bit(dlerror()); }
    void setListPath(const QString &path) { m_setPath(QFile::encodeName(path).constData()); }

    Answer lookUp(const char *name) {
        Answer answer;
        char buffer[1024];
        hostent host{};
        gaih_addrtuple *tuple = nullptr;
        int32_t ttl = 0;
        char *canonical = nullptr;
        for (int which = 0; which < 5; ++which) {
            int error = 7777;
            int herror = 8888;
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
            const int errnoAfter = errno;
            if (status == NSS_STATUS_NOTFOUND) {
                answer.reported = answer.reported && *errnop == ENOENT && herror == HOST_NOT_FOUND;
                answer.kept = answer.kept && (which == 4 || errnoAfter == 4242);
            } else {
                answer.kept = answer.kept && errnoAfter == 4242 &&
                              *errnop == (which == 4 ? 4242 : 7777) && herror == 8888;
            }
            if (which == 0)
                answer.status = status;
            answer.agree = answer.agree && status == answer.status;
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

/** Writes `data` to `path` by rename, as the writer does, with the given mode. */
inline bool replaceFile(const QString &path, const QByteArray &data, mode_t mode = 0644) {
    QFile file(path + QStringLiteral(".new"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return false;
    file.close();
    const QByteArray temporary = QFile::encodeName(file.fileName());
    return chmod(temporary.constData(), mode) == 0 &&
           rename(temporary.constData(), QFile::encodeName(path).constData()) == 0;
}

/** A list file as the writer makes it: header line, then the names as given. */
inline QByteArray listFile(const QByteArray &names,
                           const QByteArray &app = "com.example.Quellnet") {
    return "# quellnet-blocklist 1 uid=" + QByteArray::number(geteuid()) + " app=" + app + '\n' +
           names;
}
