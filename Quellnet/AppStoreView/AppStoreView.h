#pragma once

#include "storekit/SKStoreProductViewController.h"
#include "uikit/UIViewController.h"

#include <QString>
#include <QUrl>

/**
 * One of the maker's other applications, able to show its store page over the current screen.
 * It is never shown itself: it holds the product and closes the store pages it presents. When
 * the store cannot load the page, the product's web address is opened instead.
 *
 * Entries are owned through std::shared_ptr (the store page holds its delegate weakly).
 */
class AppStoreView : public UIViewController, public SKStoreProductViewControllerDelegate {
public:
    AppStoreView(QUrl appURL, QString productID);

    const QUrl &appURL() const { return m_appURL; }
    const QString &productID() const { return m_productID; }

    /** Loads the store page; on success shows it on the first foreground-active window scene
        (nothing when there is none), on failure opens appURL. Each call loads a new page. */
    void presentProductPage();

    void productViewControllerDidFinish(SKStoreProductViewController *viewController) override;

private:
    QUrl m_appURL;
    QString m_productID;
};
