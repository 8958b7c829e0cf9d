#pragma once

#include "networkextension/EnforcedList.h"

#include <QString>

/** Wording every command group shares, so a configuration or a list reads the same in each. */
namespace CommandText {
inline const QString program = QStringLiteral("device-settings");
QString label(const DNSConfiguration &configuration);
QString onOff(bool on);
QString namesText(qsizetype count);
QString listOwner(const EnforcedList::InForce &list);
QString leftOutText(const QList<EnforcedList::LeftOut> &leftOut);
} // namespace CommandText
