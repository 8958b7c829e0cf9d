#include "AppStoreView.h"

#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"

AppStoreView::AppStoreView(QUrl appURL, QString productID)
    : m_appURL(std::move(appURL))
    , m_productID(std::move(productID)) {}

void AppStoreView::presentProductPage() {
    auto controller = std::make_shared<SKStoreProductViewController>();
    const auto self = std::static_pointer_cast<AppStoreView>(weak_from_this().lock());
    if (self)
        controller->setDelegate(self);

    const QVariantMap parameters{{SKStoreProductParameterITunesItemIdentifier, m_productID}};
    const std::weak_ptr<SKStoreProductViewController> page = controller;
    const QUrl url = m_appURL;
    // The load keeps the page alive until this completion has run; after that only a
    // presentation keeps it.
    controller->loadProductWithParameters(parameters, [page, url](bool, OptionalError error) {
        if (error) {
            UIApplication::shared().openURL(url, {}, {});
            return;
        }
        for (const auto &scene : UIApplication::shared().connectedScenes()) {
            if (scene->activationState() != UIScene::ActivationState::foregroundActive)
                continue;
            const auto windowScene = std::dynamic_pointer_cast<UIWindowScene>(scene);
            const auto window = windowScene ? windowScene->keyWindow() : nullptr;
            const auto root = window ? window->rootViewController() : nullptr;
            if (root)
                root->presentViewController(page.lock(), true, {});
            return;
        }
    });
}

void AppStoreView::productViewControllerDidFinish(SKStoreProductViewController *viewController) {
    if (viewController)
        viewController->dismissViewControllerAnimated(true, {});
}
