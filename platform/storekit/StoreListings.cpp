#include "storekit/StoreListings.h"

#include <QCoreApplication>

#include <array>

namespace {
struct Known {
    const char16_t *id;
    const char16_t *title;
};

// The fictional maker's applications; the only seller the emulated store knows by name.
constexpr std::array known{
    Known{u"6451000011", u"Tidewater Focus Timer"},
    Known{u"6451000028", u"Lantern Budget"},
    Known{u"6451000035", u"Quiet Hours Scheduler"},
    Known{u"6451000042", u"Pocket Packing List"},
    Known{u"6451000059", u"Driftwood Journal"},
    Known{u"6451000066", u"Harbor Password Vault"},
    Known{u"6451000073", u"Kelp Reading List"},
    Known{u"6451000080", u"Beacon Battery Monitor"},
    Known{u"6452000017", u"Saltmarsh Weather"},
    Known{u"6452000024", u"Tidepool Photo Cleaner"},
    Known{u"6452000031", u"Gull Flashcards"},
    Known{u"6452000048", u"Anchor Sleep Sounds"},
    Known{u"6452000055", u"Compass Unit Converter"},
    Known{u"6452000062", u"Lighthouse QR Scanner"},
    Known{u"6452000079", u"Shoreline Step Counter"},
};
} // namespace

StoreListing StoreListings::listing(const QString &productID) {
    for (const Known &k : known)
        if (productID == QStringView(k.id))
            return {QString::fromUtf16(k.title), QStringLiteral("Lanternfish Software")};
    return {QCoreApplication::translate("StoreKit", "App %1").arg(productID), QString()};
}
