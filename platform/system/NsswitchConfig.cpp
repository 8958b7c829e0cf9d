#include "system/NsswitchConfig.h"

#include <QList>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

/** Where the sources of a hosts line begin, after "hosts", blanks, ':' and blanks; -1 if none. */
qsizetype sourcesStart(const QByteArray &line) {
    qsizetype i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    if (!line.mid(i).startsWith("hosts"))
        return -1;
    i += 5;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != ':')
        return -1;
    ++i;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    return i;
}

/** Whether the sources at `start` begin with the module's entry (then a blank or the end). */
bool startsWithModule(const QByteArray &line, qsizetype start) {
    const QByteArray module(NsswitchConfig::moduleEntry);
    if (line.mid(start, module.size()) != module)
        return false;
    const qsizetype after = start + module.size();
    return after == line.size() || isBlank(line[after]) || line[after] == '\r';
}

/** Lines without their '\n'; the last one is empty when the text ends with a newline. */
QList<QByteArray> lines(const QByteArray &text) {
    return text.split('\n');
}

} // namespace

namespace NsswitchConfig {

bool hasModule(const QByteArray &text) {
    bool found = false;
    for (const QByteArray &line : lines(text)) {
        const qsizetype start = sourcesStart(line);
        if (start < 0)
            continue;
        if (!startsWithModule(line, start))
            return false;
        found = true;
    }
    return found;
}

std::optional<QByteArray> hostsLine(const QByteArray &text) {
    for (const QByteArray &line : lines(text)) {
        if (sourcesStart(line) >= 0)
            return line;
    }
    return std::nullopt;
}

} // namespace NsswitchConfig
