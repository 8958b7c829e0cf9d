#pragma once

#include <QString>

/** What the store page shows about a product. */
struct StoreListing {
    QString title;
    QString seller;
};

/**
 * The emulated store's listings. Products it has no listing for still load (any well-formed
 * identifier is a product) and show a generic title.
 */
namespace StoreListings {
StoreListing listing(const QString &productID);
}
