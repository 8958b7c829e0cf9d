#include "MoreApps.h"

#include <QCoreApplication>

namespace MoreApps {

Screen::Row featuredAppRow()
{
    return Screen::button(rowKey, QCoreApplication::translate("MoreApps", "More Apps"),
                          QStringLiteral("arrow.down.circle"), Screen::ButtonStyle::plain);
}

void presentFeaturedApp() {}

} // namespace MoreApps
