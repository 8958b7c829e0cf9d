#pragma once

// The computer as the Settings window's pages see it, steered by a test: what entries() lists,
// what a switch answers, and gates that hold a read or a switch on the worker.
#include "DnsSettingsBackend.h"

#include <QMutex>
#include <QSemaphore>

namespace FakeDns {

using State = DeviceDNSSettings::State;
using Outcome = DeviceDNSSettings::Outcome;
using Entry = DeviceDNSSettings::Entry;

inline Entry entry(const QString &id, const QString &name, bool on, State state,
                   const QString &why) {
    Entry e;
    e.identifier = id;
    e.displayName = name;
    e.switchedOn = on;
    e.state = state;
    e.explanation = why;
    return e;
}

/** Runs on the worker like the platform's; a switch that is done switches the others off. */
class FakeBackend final : public DnsSettingsBackend {
public:
    std::optional<QList<Entry>> entries(QString *error) override {
        if (readGate)
            readGate->acquire();
        QMutexLocker lock(&mutex);
        ++reads;
        if (!listed && error)
            *error = listError;
        return listed ? std::optional(list) : std::nullopt;
    }
    Outcome setEnabled(const QString &identifier, bool on) override {
        {
            QMutexLocker lock(&mutex);
            switches.append({identifier, on});
        }
        if (gate)
            gate->acquire();
        QMutexLocker lock(&mutex);
        if (next.status == Outcome::done)
            for (Entry &e : list) {
                if (e.identifier == identifier || on)
                    e.switchedOn = e.identifier == identifier && on;
            }
        return next;
    }
    QStringList watchedPaths() override {
        QMutexLocker lock(&mutex);
        return watched;
    }
    void setList(QList<Entry> entries) {
        QMutexLocker lock(&mutex);
        list = std::move(entries);
    }

    QMutex mutex;
    QList<Entry> list;
    bool listed = true;
    QString listError;
    Outcome next;
    QStringList watched;
    QSemaphore *gate = nullptr;
    QSemaphore *readGate = nullptr;
    int reads = 0;
    QList<std::pair<QString, bool>> switches;
};

} // namespace FakeDns
