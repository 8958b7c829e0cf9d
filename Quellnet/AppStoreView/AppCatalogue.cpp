#include "AppCatalogue.h"

#include <QRandomGenerator>

#include <array>
#include <atomic>
#include <mutex>

using namespace Qt::StringLiterals;

namespace AppCatalogue {

QUrl storeURL(const QString &productID) {
    // A host reserved for documentation: no real store is ever contacted.
    return QUrl(u"https://apps.example.com/app/id"_s + productID);
}

const QList<AppInfo> &moreOptionsInfo() {
    static const QList<AppInfo> info{
        {u"Tidewater Focus Timer"_s, u"6451000011"_s},
        {u"Lantern Budget"_s, u"6451000028"_s},
        {u"Quiet Hours Scheduler"_s, u"6451000035"_s},
        {u"Pocket Packing List"_s, u"6451000042"_s},
        {u"Driftwood Journal"_s, u"6451000059"_s},
        {u"Harbor Password Vault"_s, u"6451000066"_s},
        {u"Kelp Reading List"_s, u"6451000073"_s},
        {u"Beacon Battery Monitor"_s, u"6451000080"_s},
    };
    return info;
}

const QList<AppInfo> &promotedInfo() {
    static const QList<AppInfo> info{
        {u"Saltmarsh Weather"_s, u"6452000017"_s},
        {u"Tidepool Photo Cleaner"_s, u"6452000024"_s},
        {u"Gull Flashcards"_s, u"6452000031"_s},
        {u"Anchor Sleep Sounds"_s, u"6452000048"_s},
        {u"Compass Unit Converter"_s, u"6452000055"_s},
        {u"Lighthouse QR Scanner"_s, u"6452000062"_s},
        {u"Shoreline Step Counter"_s, u"6452000079"_s},
    };
    return info;
}

namespace {
constexpr int moreOptionsCount = 8;

struct MoreOptionsEntries {
    std::array<std::once_flag, moreOptionsCount> once;
    std::array<std::shared_ptr<AppStoreView>, moreOptionsCount> entries;
    std::array<std::atomic<bool>, moreOptionsCount> built{};
};

MoreOptionsEntries &moreOptionsEntries() {
    static MoreOptionsEntries entries;
    return entries;
}

std::atomic<bool> promotedBuilt{false};
} // namespace

std::shared_ptr<AppStoreView> moreOptionsApp(int index) {
    if (index < 0 || index >= moreOptionsCount || index >= moreOptionsInfo().size())
        return nullptr;
    MoreOptionsEntries &all = moreOptionsEntries();
    std::call_once(all.once[std::size_t(index)], [&all, index] {
        const QString &id = moreOptionsInfo().at(index).productID;
        all.entries[std::size_t(index)] = std::make_shared<AppStoreView>(storeURL(id), id);
        all.built[std::size_t(index)] = true;
    });
    return all.entries[std::size_t(index)];
}

bool isMoreOptionsAppBuilt(int index) {
    return index >= 0 && index < moreOptionsCount && moreOptionsEntries().built[std::size_t(index)];
}

const QList<std::shared_ptr<AppStoreView>> &promotedApps() {
    static const QList<std::shared_ptr<AppStoreView>> apps = [] {
        QList<std::shared_ptr<AppStoreView>> built;
        for (const AppInfo &info : promotedInfo())
            built.append(std::make_shared<AppStoreView>(storeURL(info.productID), info.productID));
        promotedBuilt = true;
        return built;
    }();
    return apps;
}

bool arePromotedAppsBuilt() {
    return promotedBuilt;
}

std::shared_ptr<AppStoreView> findApp(const QList<std::shared_ptr<AppStoreView>> &apps,
                                      const QString &productID) {
    for (const auto &app : apps)
        if (app->productID() == productID)
            return app;
    return nullptr;
}

void promoteRandomApp() {
    const auto &apps = promotedApps();
    if (apps.isEmpty())
        return;
    apps.at(int(QRandomGenerator::global()->bounded(quint32(apps.size()))))->presentProductPage();
}

} // namespace AppCatalogue
