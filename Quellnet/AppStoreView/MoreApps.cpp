#include "MoreApps.h"

#include "AppStoreView/AppCatalogue.h"

namespace MoreApps {

QString featuredAppTitle() {
    QString title;
    for (const AppInfo &info : AppCatalogue::promotedInfo())
        if (info.productID == featuredProductID)
            title = info.title;
    return title;
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
