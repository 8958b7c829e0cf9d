#pragma once

#include <QAbstractListModel>
#include <QList>

#include <functional>
#include <memory>

class UIViewController;

/**
 * The sheets a window shows, bottom to top, as a list model a drawing layer can follow. Closing
 * through the model goes through the controller, so a store page tells its delegate.
 */
class UIPresentationStack : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum Roles { KindRole = Qt::UserRole + 1, TitleRole, MessageRole, CloseTitleRole };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_entries.size()); }
    std::shared_ptr<UIViewController> at(int row) const;
    /** The user closed the sheet at `row`. Runs queued: the drawing that called it may be
        destroyed by the close. */
    Q_INVOKABLE void close(int row);

Q_SIGNALS:
    void countChanged();

private:
    friend class UIWindow;
    struct Entry {
        std::shared_ptr<UIViewController> controller;
        std::weak_ptr<UIViewController> presenter;
    };
    QList<Entry> m_entries;
};

/**
 * One window of a scene: a root view controller and the sheets presented over it. Sheets stack
 * in the order they were presented, so a later sheet is always drawn above an earlier one.
 */
class UIWindow : public std::enable_shared_from_this<UIWindow> {
public:
    UIWindow();
    UIWindow(const UIWindow &) = delete;
    UIWindow &operator=(const UIWindow &) = delete;
    ~UIWindow();

    std::shared_ptr<UIViewController> rootViewController() const { return m_root; }
    void setRootViewController(std::shared_ptr<UIViewController> controller);
    UIPresentationStack *presentationStack() { return &m_stack; }

private:
    friend class UIViewController;
    void present(const std::shared_ptr<UIViewController> &presenter,
                 std::shared_ptr<UIViewController> controller, std::function<void()> completion);
    void dismiss(const UIViewController *controller, std::function<void()> completion);
    std::shared_ptr<UIViewController> presentedBy(const UIViewController *presenter) const;

    std::shared_ptr<UIViewController> m_root;
    UIPresentationStack m_stack;
};
