#pragma once

#include <QString>

/** The featured app behind the "More Apps" row of the Settings and Status screens. */
namespace MoreApps {
inline const QString rowKey = QStringLiteral("moreApps");
/** The product identifier of the featured application (one of the promoted ones). */
inline const QString featuredProductID = QStringLiteral("6452000024");
/** The featured application's title, as the catalogue lists it. */
QString featuredAppTitle();
/** Presents the featured application's store page; does nothing when it is not in the catalogue. */
void presentFeaturedApp();
/** Presents the promoted entry with `productID`; false (and nothing happens) when none has it. */
bool presentPromotedApp(const QString &productID);
} // namespace MoreApps
