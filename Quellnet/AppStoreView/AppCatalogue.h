#pragma once

#include "AppStoreView/AppStoreView.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>

/** A catalogue line: what a row shows and which product it stands for. */
struct AppInfo {
    QString title;
    QString productID;
};

/**
 * The two fixed catalogues of the maker's applications. Entries are built on first use, once,
 * even when first used from several threads at the same time, and then live until the process
 * ends, so a row tapped twice works with the same entry.
 */
namespace AppCatalogue {

/** The product's page on the store's website: https://apps.example.com/app/id<productID>. */
QUrl storeURL(const QString &productID);

/** The eight "More Options" lines, in row order. Reading them builds no entry. */
const QList<AppInfo> &moreOptionsInfo();
/** The entry of "More Options" row `index`, built the first time it is asked for; null when
    `index` is out of range. */
std::shared_ptr<AppStoreView> moreOptionsApp(int index);
/** Whether row `index`'s entry exists yet (tests: the first tap is what builds it). */
bool isMoreOptionsAppBuilt(int index);

/** The seven promoted lines, in catalogue order. Reading them builds no entry. */
const QList<AppInfo> &promotedInfo();
/** All seven promoted entries, built together on first use. */
const QList<std::shared_ptr<AppStoreView>> &promotedApps();
bool arePromotedAppsBuilt();

/** The first of `apps` whose productID equals `productID`, or null. */
std::shared_ptr<AppStoreView> findApp(const QList<std::shared_ptr<AppStoreView>> &apps,
                                      const QString &productID);

/** Presents the store page of one promoted entry chosen uniformly at random. */
void promoteRandomApp();

} // namespace AppCatalogue
