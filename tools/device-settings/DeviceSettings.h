#pragma once

#include <QStringList>
#include <QTextStream>

/**
 * The phone's Settings app as a command: lists the stored DNS configurations, switches one on
 * (and every other off) or off, and toggles whether the app store is reachable. Kept apart from
 * main() so the whole command is one call with its own streams.
 */
class DeviceSettings {
public:
    enum ExitCode { success = 0, failure = 1, badUsage = 2 };

    DeviceSettings(QTextStream &out, QTextStream &err)
        : m_out(out)
        , m_err(err) {}

    /** `arguments` without the program name. */
    int run(const QStringList &arguments);

    static QString usageLine();

private:
    int listDns();
    int switchDns(const QString &app, bool on);
    int store(const QString &command);
    int usageError(const QString &message);

    QTextStream &m_out;
    QTextStream &m_err;
};
