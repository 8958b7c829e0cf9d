#include "storekit/SKStoreProductViewController.h"

#include "foundation/MainQueue.h"
#include "storekit/StoreListings.h"
#include "storekit/StoreReachability.h"

#include <QCoreApplication>

SKStoreProductViewControllerDelegate::~SKStoreProductViewControllerDelegate() = default;

bool SKStoreProductViewController::isProductIdentifier(const QString &text) {
    if (text.size() != 10)
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

void SKStoreProductViewController::loadProductWithParameters(const QVariantMap &parameters,
                                                             LoadCompletion completion) {
    const QString id = parameters.value(SKStoreProductParameterITunesItemIdentifier).toString();
    OptionalError error;
    if (!StoreReachability::isReachable()) {
        error = NSError{SKErrorDomain, SKErrorCloudServiceNetworkConnectionFailed,
                        QCoreApplication::translate("StoreKit", "Cannot connect to the store")};
    } else if (!isProductIdentifier(id)) {
        error = NSError{SKErrorDomain, SKErrorStoreProductNotAvailable,
                        QCoreApplication::translate("StoreKit", "Product not available")};
    }
    // Keep the page alive until its completion has run, like the block that captures it.
    auto self = std::static_pointer_cast<SKStoreProductViewController>(shared_from_this());
    dispatchToMain([self, id, error, completion = std::move(completion)] {
        if (!error) {
            const StoreListing listing = StoreListings::listing(id);
            self->m_loaded = true;
            self->m_productID = id;
            self->m_productTitle = listing.title;
            self->m_seller = listing.seller;
        }
        if (completion)
            completion(!error, error);
    });
}

QString SKStoreProductViewController::sheetKind() const {
    return QStringLiteral("storeProduct");
}

QString SKStoreProductViewController::message() const {
    return m_seller;
}

void SKStoreProductViewController::userDidRequestClose() {
    if (const auto delegate = m_delegate.lock())
        delegate->productViewControllerDidFinish(this);
    else
        dismissViewControllerAnimated(true, {});
}
