#pragma once

#include <QString>

/**
 * The one folder where the emulated phone keeps its own system state (DNS configurations, store
 * reachability), apart from any app's data. Read from the environment on every call so that a
 * test or tool that moves XDG_STATE_HOME is followed at once.
 */
QString platformStateDirectory();
