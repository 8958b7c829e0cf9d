#include "MoreApps.h"

#include "AppStoreView/AppCatalogue.h"

namespace MoreApps {

Screen::Row featuredAppRow() {
    QString title;
    for (const AppInfo &info : AppCatalogue::promotedInfo())
        if (info.productID == featuredProductID)
            title = info.title;
    return Screen::button(rowKey, title, QStringLiteral("arrow.down.circle"),
                          Screen::ButtonStyle::plain);
}

void presentFeaturedApp() {
    presentPromotedApp(featuredProductID);
}

bool presentPromotedApp(const QString &productID) {
    const auto app = AppCatalogue::findApp(AppCatalogue::promotedApps(), productID);
    if (!app)
        return false;
    app->presentProductPage();
    return true;
}

} // namespace MoreApps
