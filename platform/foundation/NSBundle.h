#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

/**
 * The running application's identity as the platform sees it: identifier, display name and
 * version. `main` fills it once at start; platform layers read it to know which app is asking.
 */
class NSBundle {
public:
    static NSBundle &mainBundle();

    /** Absent when the application installed no information dictionary at all. */
    std::optional<QVariantMap> infoDictionary() const { return m_info; }
    void setInfoDictionary(std::optional<QVariantMap> info) { m_info = std::move(info); }

    QString bundleIdentifier() const;
    /** CFBundleDisplayName, falling back to the identifier. */
    QString displayName() const;

private:
    std::optional<QVariantMap> m_info;
};
