#pragma once

#include <QString>

/**
 * Whether the emulated phone can reach the app store. The user flips it with
 * `device-settings store offline|online`; store pages read it to decide between loading and
 * failing. Kept as a flag file in the platform folder so every process sees the same answer.
 */
class StoreReachability {
public:
    /** True unless the store was switched offline: anything at the flag's path means offline. */
    static bool isReachable();
    /**
     * Persists the switch; false, with the reason in `error`, when the flag file could not be
     * written or removed. Never writes through a link at the flag's path.
     */
    static bool setReachable(bool reachable, QString *error = nullptr);
    /** The flag file whose presence means "offline"; empty when HOME is not set. */
    static QString offlineFlagPath();
};
