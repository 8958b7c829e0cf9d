#include "screens/SheetPresenter.h"

#include "uikit/UIApplication.h"

#include <QQuickWindow>

SheetPresenter::SheetPresenter(QQuickItem *parent)
    : QQuickItem(parent) {
    connect(this, &QQuickItem::windowChanged, this, &SheetPresenter::connectWindow);
}

SheetPresenter::~SheetPresenter() = default;

UIPresentationStack *SheetPresenter::sheets() const {
    const auto window = m_scene ? m_scene->keyWindow() : nullptr;
    return window ? window->presentationStack() : nullptr;
}

void SheetPresenter::connectWindow(QQuickWindow *window) {
    // The scene stays connected while its Qt window lives (it disconnects itself when the
    // window goes); this item only keeps it for drawing.
    m_scene = window ? UIApplication::shared().connectWindowScene(window) : nullptr;
    Q_EMIT sheetsChanged();
}
