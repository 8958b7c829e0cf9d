#include "uikit/UIApplication.h"

#include "foundation/MainQueue.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QWindow>

UIScene::~UIScene() = default;

UIWindowScene::UIWindowScene(QWindow *window)
    : m_nativeWindow(window) {}

UIWindowScene::~UIWindowScene() = default;

QWindow *UIWindowScene::nativeWindow() const {
    return m_nativeWindow.data();
}

UIScene::ActivationState UIWindowScene::activationState() const {
    if (m_forcedState)
        return *m_forcedState;
    if (!m_nativeWindow || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return ActivationState::unattached;
    if (!m_nativeWindow->isVisible())
        return ActivationState::background;
    switch (QGuiApplication::applicationState()) {
    case Qt::ApplicationActive:
        return ActivationState::foregroundActive;
    case Qt::ApplicationInactive:
        return ActivationState::foregroundInactive;
    case Qt::ApplicationHidden:
    case Qt::ApplicationSuspended:
        break;
    }
    return ActivationState::background;
}

UIApplication &UIApplication::shared() {
    static UIApplication application;
    return application;
}

void UIApplication::connectScene(std::shared_ptr<UIScene> scene) {
    if (scene && !m_scenes.contains(scene))
        m_scenes.append(std::move(scene));
}

void UIApplication::disconnectScene(const std::shared_ptr<UIScene> &scene) {
    m_scenes.removeAll(scene);
}

std::shared_ptr<UIWindowScene> UIApplication::connectWindowScene(QWindow *window) {
    if (!window)
        return nullptr;
    for (const auto &scene : std::as_const(m_scenes)) {
        auto windowScene = std::dynamic_pointer_cast<UIWindowScene>(scene);
        if (windowScene && windowScene->nativeWindow() == window)
            return windowScene;
    }
    auto scene = std::make_shared<UIWindowScene>(window);
    auto keyWindow = std::make_shared<UIWindow>();
    keyWindow->setRootViewController(std::make_shared<UIViewController>());
    scene->setKeyWindow(std::move(keyWindow));
    connectScene(scene);
    const std::weak_ptr<UIScene> weak = scene;
    connect(window, &QObject::destroyed, this, [this, weak] {
        if (const auto gone = weak.lock())
            disconnectScene(gone);
    });
    return scene;
}

void UIApplication::openURL(const QUrl &url, const QVariantMap &options,
                            std::function<void(bool)> completion) {
    Q_UNUSED(options)
    const bool opened = url.isValid() && (m_opener ? m_opener(url) : openWithDesktop(url));
    if (completion)
        dispatchToMain([completion = std::move(completion), opened] { completion(opened); });
}

bool UIApplication::openWithDesktop(const QUrl &url) {
    const QString log = qEnvironmentVariable("QUELLNET_URL_OPENER_LOG");
    if (!log.isEmpty()) {
        QFile file(log);
        const QByteArray line = url.toEncoded() + '\n';
        return file.open(QIODevice::WriteOnly | QIODevice::Append) &&
               file.write(line) == line.size();
    }
    return QDesktopServices::openUrl(url);
}
