#pragma once

#include "screens/RowListModel.h"
#include "screens/ScenePhase.h"
#include "screens/ScreenContent.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

/**
 * Base of every screen: a state record (in the subclass) plus content computed from it, kept
 * in `rows` for QML to draw, and the actions QML forwards to. Subclasses call refresh()
 * whenever their state changes.
 */
class ScreenModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Screens are created by the app")
    Q_PROPERTY(QString navigationTitle READ navigationTitle CONSTANT)
    Q_PROPERTY(RowListModel *rows READ rows CONSTANT)
public:
    ScreenModel(QString navigationTitle, ScenePhaseSource *scenePhase, QObject *parent = nullptr);

    QString navigationTitle() const { return m_navigationTitle; }
    RowListModel *rows() { return &m_rows; }

    /** The content as of the current state. */
    virtual Screen::Content content() const;

    /** The "More Apps" row of Settings and Status: the featured app's title as a plain button. */
    static Screen::Row featuredAppRow();

    /** The screen came into view. */
    Q_INVOKABLE virtual void appear() {}
    /** A button row was tapped (or pressed through the keyboard or accessibility). */
    Q_INVOKABLE virtual void activate(const QString &key) { Q_UNUSED(key) }
    /** The user changed the text of a field row. */
    Q_INVOKABLE virtual void editText(const QString &key, const QString &text) {
        Q_UNUSED(key)
        Q_UNUSED(text)
    }
    /** The return key in a field row. */
    Q_INVOKABLE virtual void submit(const QString &key) { Q_UNUSED(key) }
    /** A paste button delivered these plain texts. */
    Q_INVOKABLE virtual void paste(const QString &key, const QStringList &texts) {
        Q_UNUSED(key)
        Q_UNUSED(texts)
    }
    /** The user deleted these rows (swipe, Delete key or accessibility action). */
    Q_INVOKABLE virtual void deleteRows(const QStringList &keys) { Q_UNUSED(keys) }

protected:
    /** Recomputes the content and brings `rows` to it. */
    void refresh();
    virtual QList<Screen::Section> sections() const = 0;
    /** Called on every change of the scene phase, never for the value it starts with. */
    virtual void scenePhaseChanged(ScenePhase phase) { Q_UNUSED(phase) }
    ScenePhaseSource *scenePhaseSource() const { return m_scenePhase; }
    const RowListModel &rowList() const { return m_rows; }
    /**
     * True when `key` is a button row the screen offers now. Actions check it, so a press that
     * raced a change of the row (a message took the button's place) does nothing.
     */
    bool offersButton(const QString &key) const;

private:
    QString m_navigationTitle;
    ScenePhaseSource *m_scenePhase;
    RowListModel m_rows;
};
