#pragma once

#include <QString>

#include <functional>
#include <memory>

class UIWindow;

/**
 * A unit of screen that can be shown as a sheet over a window. Controllers are shared objects
 * (a presenting window keeps the ones it shows alive, a pending load keeps its own), so a sheet
 * the user closes goes away exactly when nothing refers to it any more.
 */
class UIViewController : public std::enable_shared_from_this<UIViewController> {
public:
    UIViewController() = default;
    UIViewController(const UIViewController &) = delete;
    UIViewController &operator=(const UIViewController &) = delete;
    virtual ~UIViewController();

    /** Shows `controller` above everything this controller's window already shows. Does
        nothing when this controller is in no window or `controller` is already shown. The
        completion runs later on the GUI thread, after the sheet is in place. */
    void presentViewController(std::shared_ptr<UIViewController> controller, bool animated,
                               std::function<void()> completion);
    /** Called on a presented controller, closes it; called on a presenting one, closes what
        it presents. Sheets shown above the closed one close with it. */
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion);

    std::shared_ptr<UIViewController> presentedViewController() const;
    std::shared_ptr<UIViewController> presentingViewController() const;
    /** The window this controller is the root of or is shown in, if any. */
    std::shared_ptr<UIWindow> window() const { return m_window.lock(); }

    // What a sheet layer draws for a presented controller.
    /** A short word the drawing picks its layout by; empty for a plain controller. */
    virtual QString sheetKind() const { return {}; }
    virtual QString title() const { return {}; }
    virtual QString message() const { return {}; }
    /** The label of the button that closes the sheet. */
    virtual QString closeTitle() const;
    /** The user closed the sheet (its button, the Escape key or the accessibility action). */
    virtual void userDidRequestClose();

private:
    friend class UIWindow;
    std::weak_ptr<UIWindow> m_window;
    std::weak_ptr<UIViewController> m_presenting;
};
