#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QString>

#include <functional>

/**
 * One running copy of a program per user, as desktop applications do: a later launch hands its
 * activation token to the running copy, which brings its window forward, and exits before it
 * does any work of its own. The choice is made under a lock the kernel drops when its holder
 * dies, and a socket no copy answers on is left over from a crash, so it is replaced.
 *
 * The lock and the socket live in a folder only this account can enter (see privateFolder()):
 * anywhere else another account could hold the lock or answer in the running copy's place.
 */
class QWindow;

class SingleInstance {
public:
    /**
     * `name` is the file name, without suffix, that this program's lock and socket share; two
     * programs that must not hand over to each other give different names.
     */
    explicit SingleInstance(const QString &name);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    enum class Launch { first, handedOver, notAnswered };

    /** Hands `token` to a running copy if there is one; then this launch is done. */
    Launch handOver(const QByteArray &token);

    /** From now on, later launches reach `activate` with their tokens. */
    void listen(std::function<void(const QByteArray &)> activate);

    /** Where later launches connect; empty when this copy runs unshared. */
    QString socketPath() const;

    /** `program`, a dash and a short hash of `file`'s absolute path: one name per file. */
    static QString nameFor(const QString &program, const QString &file);
    /**
     * What a program does with a later launch's request: its window comes forward where the
     * desktop allows, with the launch's activation token (Qt's Wayland plugin hands it to the
     * compositor with the activation request).
     */
    static void bringForward(QWindow *window, const QByteArray &token);

    /**
     * The first of $XDG_RUNTIME_DIR, <temp>/runtime-<user> (made if missing) and
     * <cache>/runtime that is a real folder of this account with mode 0700; every one refused
     * on the way is logged with the reason. Empty, and logged, when none is.
     */
    static QString privateFolder();

private:
    void unlock();

    QString m_base; // folder and name, without suffix
    int m_lock = -1;
    QLocalServer m_server;
};
