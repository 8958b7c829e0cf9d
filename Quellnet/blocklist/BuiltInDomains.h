#pragma once

#include <QString>
#include <QStringList>

/** The shipped tracker names offered as one-tap suggestions; never written to the store. */
const QStringList &builtInDomains(); // 58 entries, built once, thread-safe (function-local static)
bool isBuiltIn(const QString &text); // exact text equality (textEquals), linear scan
