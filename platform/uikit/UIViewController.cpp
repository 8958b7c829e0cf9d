#include "uikit/UIViewController.h"

#include <QCoreApplication>

UIViewController::~UIViewController() = default;

// Presenting and dismissing are the window's business: UIWindow.cpp defines them, so the
// controller needs nothing of the window's.

std::shared_ptr<UIViewController> UIViewController::presentingViewController() const {
    return m_presenting.lock();
}

QString UIViewController::closeTitle() const {
    return QCoreApplication::translate("UIViewController", "Done");
}

void UIViewController::userDidRequestClose() {
    dismissViewControllerAnimated(true, {});
}
