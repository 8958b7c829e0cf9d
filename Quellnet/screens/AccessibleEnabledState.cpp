#include "AccessibleEnabledState.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QLatin1StringView>
#include <QObject>
#include <QPointer>

namespace {

// Set while the toolkit's own interface is being made, so the factory steps aside.
bool g_makingToolkitInterface = false;

bool isDisabledItem(const QObject *object) {
    return object && object->inherits("QQuickItem") && !object->property("enabled").toBool();
}

/** Sends the state change of an item whose `enabled` flipped (Qt Quick sends none). */
class EnabledChangeAnnouncer : public QObject {
    Q_OBJECT
public:
    static EnabledChangeAnnouncer *instance() {
        static EnabledChangeAnnouncer announcer;
        return &announcer;
    }
public Q_SLOTS:
    void announce() {
        // Making the event makes the item's interface: nobody listens unless a screen reader
        // (or a test) turned accessibility on, and at the Domains cap dozens of rows flip.
        if (!QAccessible::isActive())
            return;
        QAccessible::State changed;
        changed.disabled = true;
        changed.focusable = true;
        QAccessibleStateChangeEvent event(sender(), changed);
        QAccessible::updateAccessibility(&event);
    }
};

/**
 * The toolkit's interface for one item, with the disabled state added. The toolkit's
 * interface stays registered for the item as well (the cache maps the item to this one), and
 * goes with it. At exit the cache deletes every interface in its own order and asks each for
 * its object first, so object() must not reach through a toolkit interface deleted already.
 */
class EnabledStateInterface final : public QAccessibleInterface {
public:
    explicit EnabledStateInterface(QAccessibleInterface *toolkit)
        : m_toolkit(toolkit)
        , m_toolkitId(QAccessible::uniqueId(toolkit))
        , m_object(toolkit->object()) {
        QObject::connect(toolkit->object(), SIGNAL(enabledChanged()),
                         EnabledChangeAnnouncer::instance(), SLOT(announce()),
                         Qt::UniqueConnection);
    }
    ~EnabledStateInterface() override {
        if (QAccessible::accessibleInterface(m_toolkitId) == m_toolkit)
            QAccessible::deleteAccessibleInterface(m_toolkitId);
    }

    QAccessible::State state() const override {
        QAccessible::State state = m_toolkit->state();
        if (isDisabledItem(m_toolkit->object())) {
            state.disabled = true;
            state.focusable = false;
        }
        return state;
    }

    bool isValid() const override { return m_toolkit->isValid(); }
    QObject *object() const override { return m_object; }
    QWindow *window() const override { return m_toolkit->window(); }
    QList<std::pair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        return m_toolkit->relations(match);
    }
    QAccessibleInterface *focusChild() const override { return m_toolkit->focusChild(); }
    QAccessibleInterface *childAt(int x, int y) const override { return m_toolkit->childAt(x, y); }
    QAccessibleInterface *parent() const override { return m_toolkit->parent(); }
    QAccessibleInterface *child(int index) const override { return m_toolkit->child(index); }
    int childCount() const override { return m_toolkit->childCount(); }
    int indexOfChild(const QAccessibleInterface *child) const override {
        return m_toolkit->indexOfChild(child);
    }
    QString text(QAccessible::Text t) const override { return m_toolkit->text(t); }
    void setText(QAccessible::Text t, const QString &text) override { m_toolkit->setText(t, text); }
    QRect rect() const override { return m_toolkit->rect(); }
    QAccessible::Role role() const override { return m_toolkit->role(); }
    QColor foregroundColor() const override { return m_toolkit->foregroundColor(); }
    QColor backgroundColor() const override { return m_toolkit->backgroundColor(); }
    void *interface_cast(QAccessible::InterfaceType type) override {
        return m_toolkit->interface_cast(type);
    }
    void virtual_hook(int id, void *data) override { m_toolkit->virtual_hook(id, data); }

private:
    QAccessibleInterface *m_toolkit;
    QAccessible::Id m_toolkitId;
    QPointer<QObject> m_object;
};

QAccessibleInterface *enabledStateFactory(const QString &className, QObject *object) {
    // Asked once per class of the object's hierarchy: answer at the first, for items only.
    if (g_makingToolkitInterface || !object ||
        className != QLatin1StringView(object->metaObject()->className()) ||
        !object->inherits("QQuickItem"))
        return nullptr;
    g_makingToolkitInterface = true;
    QAccessibleInterface *toolkit = QAccessible::queryAccessibleInterface(object);
    g_makingToolkitInterface = false;
    return toolkit ? new EnabledStateInterface(toolkit) : nullptr;
}

} // namespace

void AccessibleEnabledState::install() {
    static const bool installed = [] {
        QAccessible::installFactory(enabledStateFactory);
        return true;
    }();
    Q_UNUSED(installed)
}

#include "AccessibleEnabledState.moc"
