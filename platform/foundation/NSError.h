#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

/** The platform's error value: callers decide by the exact domain text and the code. */
struct NSError {
    QString domain;
    qint64 code = 0;
    QString localizedDescription;

    friend bool operator==(const NSError &a, const NSError &b) {
        return a.domain == b.domain && a.code == b.code;
    }
};

using OptionalError = std::optional<NSError>;
