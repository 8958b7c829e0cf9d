#pragma once

#include "uikit/UIWindow.h"

#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqml.h>

#include <memory>

class UIWindowScene;

/** Makes the platform's sheet stack known to QML tooling; QML never creates one. */
struct UIPresentationStackForeign {
    Q_GADGET
    QML_FOREIGN(UIPresentationStack)
    QML_NAMED_ELEMENT(PresentationStack)
    QML_UNCREATABLE("Owned by a window")
};

/**
 * Connects the window it is placed in as the application's window scene, so store pages and
 * the review sheet have somewhere to appear, and hands QML that window's sheet stack. Placing
 * one in the main window (SheetLayer does) is all the app needs: nothing in main.
 */
class SheetPresenter : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(UIPresentationStack *sheets READ sheets NOTIFY sheetsChanged)
public:
    explicit SheetPresenter(QQuickItem *parent = nullptr);
    ~SheetPresenter() override;

    UIPresentationStack *sheets() const;

Q_SIGNALS:
    void sheetsChanged();

private:
    void connectWindow(QQuickWindow *window);

    std::shared_ptr<UIWindowScene> m_scene;
};
