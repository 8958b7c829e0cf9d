#pragma once

#include "screens/ScreenContent.h"

/** The "More Apps" row shared by the Settings and Status screens. */
namespace MoreApps {
inline const QString rowKey = QStringLiteral("moreApps");
/** The featured application's row: its title, "arrow.down.circle", plain style. */
Screen::Row featuredAppRow();
/** Presents the featured application's store page; does nothing when it is not in the catalogue. */
void presentFeaturedApp();
} // namespace MoreApps
