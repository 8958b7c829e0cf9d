#pragma once

#include "foundation/NSError.h"
#include "uikit/UIViewController.h"

#include <QVariantMap>

#include <functional>
#include <memory>

class SKStoreProductViewController;

/** Told when the user closes a store product page; it dismisses the page. */
class SKStoreProductViewControllerDelegate {
public:
    virtual ~SKStoreProductViewControllerDelegate();
    virtual void productViewControllerDidFinish(SKStoreProductViewController *viewController) = 0;
};

/** Parameter key whose value is the product identifier to load. */
inline const QString SKStoreProductParameterITunesItemIdentifier = QStringLiteral("id");

/** Error domain and codes of a failed load. */
inline const QString SKErrorDomain = QStringLiteral("SKErrorDomain");
enum SKErrorCode : qint64 {
    SKErrorStoreProductNotAvailable = 5,
    SKErrorCloudServiceNetworkConnectionFailed = 7,
};

/**
 * The store's page for one product, shown as a sheet. Loading fails when the store is
 * unreachable (see StoreReachability) or the identifier is not a store identifier (ten
 * digits); the page then shows nothing and the caller decides what to do instead.
 */
class SKStoreProductViewController : public UIViewController {
public:
    using LoadCompletion = std::function<void(bool result, OptionalError error)>;

    SKStoreProductViewController() = default;

    /** The delegate is held weakly, as the page must never keep its owner alive. */
    void setDelegate(std::weak_ptr<SKStoreProductViewControllerDelegate> delegate) {
        m_delegate = std::move(delegate);
    }
    std::shared_ptr<SKStoreProductViewControllerDelegate> delegate() const {
        return m_delegate.lock();
    }

    /** Starts loading; the completion runs later on the GUI thread, never inside this call.
        The controller stays alive until its completion has run. */
    void loadProductWithParameters(const QVariantMap &parameters, LoadCompletion completion);

    bool isLoaded() const { return m_loaded; }
    QString productID() const { return m_productID; }
    QString productTitle() const { return m_productTitle; }

    /** Ten ASCII digits, nothing else. */
    static bool isProductIdentifier(const QString &text);

    QString sheetKind() const override;
    QString title() const override { return m_productTitle; }
    QString message() const override;
    /** Goes through the delegate, as the page's Done button does; a page without a delegate
        closes itself so the user is never stuck. */
    void userDidRequestClose() override;

private:
    std::weak_ptr<SKStoreProductViewControllerDelegate> m_delegate;
    bool m_loaded = false;
    QString m_productID;
    QString m_productTitle;
    QString m_seller;
};
