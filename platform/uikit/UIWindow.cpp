#include "uikit/UIWindow.h"

#include "foundation/MainQueue.h"
#include "uikit/UIViewController.h"

int UIPresentationStack::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant UIPresentationStack::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const UIViewController &controller = *m_entries.at(index.row()).controller;
    switch (role) {
    case KindRole:
        return controller.sheetKind();
    case Qt::DisplayRole:
    case TitleRole:
        return controller.title();
    case MessageRole:
        return controller.message();
    case CloseTitleRole:
        return controller.closeTitle();
    default:
        return {};
    }
}

QHash<int, QByteArray> UIPresentationStack::roleNames() const {
    return {{KindRole, "kind"},
            {TitleRole, "title"},
            {MessageRole, "message"},
            {CloseTitleRole, "closeTitle"}};
}

std::shared_ptr<UIViewController> UIPresentationStack::at(int row) const {
    return row >= 0 && row < m_entries.size() ? m_entries.at(row).controller : nullptr;
}

void UIPresentationStack::close(int row) {
    const std::weak_ptr<UIViewController> target = at(row);
    dispatchToMain([target] {
        if (const auto controller = target.lock())
            controller->userDidRequestClose();
    });
}

UIWindow::UIWindow() = default;

UIWindow::~UIWindow() {
    // Sheets may outlive the window through other owners; they no longer belong to it.
    for (const auto &entry : std::as_const(m_stack.m_entries))
        entry.controller->m_window.reset();
    if (m_root)
        m_root->m_window.reset();
}

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
    if (m_root)
        m_root->m_window.reset();
    m_root = std::move(controller);
    if (m_root)
        m_root->m_window = weak_from_this();
}

void UIWindow::present(const std::shared_ptr<UIViewController> &presenter,
                       std::shared_ptr<UIViewController> controller,
                       std::function<void()> completion) {
    if (!controller || controller == m_root || controller->m_window.lock())
        return;
    controller->m_window = weak_from_this();
    controller->m_presenting = presenter;
    const int row = m_stack.count();
    m_stack.beginInsertRows({}, row, row);
    m_stack.m_entries.append({std::move(controller), presenter});
    m_stack.endInsertRows();
    Q_EMIT m_stack.countChanged();
    if (completion)
        dispatchToMain(std::move(completion));
}

void UIWindow::dismiss(const UIViewController *controller, std::function<void()> completion) {
    auto &entries = m_stack.m_entries;
    qsizetype first = -1;
    for (qsizetype i = 0; i < entries.size() && first < 0; ++i)
        if (entries.at(i).controller.get() == controller)
            first = i;
    for (qsizetype i = 0; i < entries.size() && first < 0; ++i)
        if (entries.at(i).presenter.lock().get() == controller)
            first = i;
    if (first < 0)
        return;

    // Keep the closed controllers alive until the model is consistent again: one of them may
    // be the object whose method is running.
    const QList<UIPresentationStack::Entry> closed = entries.mid(first);
    m_stack.beginRemoveRows({}, int(first), int(entries.size() - 1));
    entries.remove(first, entries.size() - first);
    m_stack.endRemoveRows();
    for (const auto &entry : closed) {
        entry.controller->m_window.reset();
        entry.controller->m_presenting.reset();
    }
    Q_EMIT m_stack.countChanged();
    if (completion)
        dispatchToMain(std::move(completion));
}

std::shared_ptr<UIViewController> UIWindow::presentedBy(const UIViewController *presenter) const {
    for (const auto &entry : m_stack.m_entries)
        if (entry.presenter.lock().get() == presenter)
            return entry.controller;
    return nullptr;
}

// The controller side of presentation, which is the window's work throughout.
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
