#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QWindow;
class UIWindow;

/** A scene of the application, as the platform reports it. */
class UIScene {
public:
    enum class ActivationState { unattached, foregroundActive, foregroundInactive, background };

    UIScene() = default;
    UIScene(const UIScene &) = delete;
    UIScene &operator=(const UIScene &) = delete;
    virtual ~UIScene();

    virtual ActivationState activationState() const = 0;
};

/**
 * A scene that shows windows. On the desktop one scene stands for one top-level Qt window: it
 * is foreground-active while that window is visible and the application is Qt's active
 * application, and its key window carries the sheets drawn over the Qt window.
 */
class UIWindowScene : public UIScene {
public:
    /** `window` may be null (tests): the scene is then unattached unless a state is forced. */
    explicit UIWindowScene(QWindow *window = nullptr);
    ~UIWindowScene() override;

    ActivationState activationState() const override;
    /** Forces the state (tests); nullopt follows the Qt window again. */
    void setActivationState(std::optional<ActivationState> state) { m_forcedState = state; }

    std::shared_ptr<UIWindow> keyWindow() const { return m_keyWindow; }
    void setKeyWindow(std::shared_ptr<UIWindow> window) { m_keyWindow = std::move(window); }
    QWindow *nativeWindow() const;

private:
    QPointer<QWindow> m_nativeWindow;
    std::shared_ptr<UIWindow> m_keyWindow;
    std::optional<ActivationState> m_forcedState;
};

/**
 * The running application as the platform sees it: its connected scenes and the opening of web
 * addresses. Used on the GUI thread only.
 */
class UIApplication : public QObject {
    Q_OBJECT
public:
    /** Opens a web address; returns whether it was handed on. */
    using URLOpener = std::function<bool(const QUrl &)>;

    static UIApplication &shared();

    /** Connected scenes in the order they were connected. */
    QList<std::shared_ptr<UIScene>> connectedScenes() const { return m_scenes; }
    void connectScene(std::shared_ptr<UIScene> scene);
    void disconnectScene(const std::shared_ptr<UIScene> &scene);
    /** The scene of `window`, made on first call with a key window and a plain root view
        controller; it disconnects itself when the Qt window is destroyed. */
    std::shared_ptr<UIWindowScene> connectWindowScene(QWindow *window);

    /** Opens `url` through the opener; the completion (if any) gets the outcome later, on the
        GUI thread. Options are accepted and ignored, as no option changes a web address. */
    void openURL(const QUrl &url, const QVariantMap &options, std::function<void(bool)> completion);
    /** Replaces the opener (tests record instead of launching a browser); an empty function
        restores the default. */
    void setURLOpener(URLOpener opener) { m_opener = std::move(opener); }

    /** The default opener: appends the address as one line to the file named by
        QUELLNET_URL_OPENER_LOG when that is set (so automated runs never start a browser),
        otherwise hands it to the desktop. */
    static bool openWithDesktop(const QUrl &url);

private:
    UIApplication() = default;

    QList<std::shared_ptr<UIScene>> m_scenes;
    URLOpener m_opener;
};
