#include "uikit/UIViewController.h"

#include "uikit/UIWindow.h"

#include <QCoreApplication>

UIViewController::~UIViewController() = default;

void UIViewController::presentViewController(std::shared_ptr<UIViewController> controller,
                                             bool animated, std::function<void()> completion) {
    Q_UNUSED(animated)
    if (const auto window = m_window.lock())
        window->present(shared_from_this(), std::move(controller), std::move(completion));
}

void UIViewController::dismissViewControllerAnimated(bool animated,
                                                     std::function<void()> completion) {
    Q_UNUSED(animated)
    const auto keepAlive = weak_from_this().lock(); // the window may hold the last reference
    if (const auto window = m_window.lock())
        window->dismiss(this, std::move(completion));
}

std::shared_ptr<UIViewController> UIViewController::presentedViewController() const {
    const auto window = m_window.lock();
    return window ? window->presentedBy(this) : nullptr;
}

std::shared_ptr<UIViewController> UIViewController::presentingViewController() const {
    return m_presenting.lock();
}

QString UIViewController::closeTitle() const {
    return QCoreApplication::translate("UIViewController", "Done");
}

void UIViewController::userDidRequestClose() {
    dismissViewControllerAnimated(true, {});
}
