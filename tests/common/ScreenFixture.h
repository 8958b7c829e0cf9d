#pragma once

// What a test that builds screens needs: a fresh temporary home with its blocklist store, a
// scene phase to drive, and the app's services without the once-per-version actions.

#include "TestEnvironment.h"

#include "blocklist/BlocklistStore.h"
#include "networkextension/NEDNSSettingsManager.h"
#include "screens/AppView.h"
#include "screens/ScenePhase.h"

struct ScreenFixture {
    TestEnvironment env;
    BlocklistStore store{env.dataHome() + QStringLiteral("/domains.sqlite")};
    ScenePhaseSource phase;

    /** The app's services with the process-wide manager, as main() hands them. */
    static AppServices services() {
        return {.dnsSettings = &NEDNSSettingsManager::sharedManager(),
                .requestReview = {},
                .promoteApp = {}};
    }
};
