#pragma once

#include "screens/ScreenModel.h"

#include <QObject>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <array>

class BlocklistStore;

/**
 * The tab container. It makes each tab's screen the first time the tab is selected and keeps
 * it for the life of the process, so a screen's state (and its first appearance) starts when
 * the user first opens it. Every launch starts on Instructions.
 */
class AppView : public QObject {
    Q_OBJECT
    // Named apart from AppView.qml, which draws it.
    QML_NAMED_ELEMENT(AppViewModel)
    QML_UNCREATABLE("Created by the app")
    Q_PROPERTY(QVariantList tabs READ tabs CONSTANT)
    Q_PROPERTY(int currentIndex READ currentIndex NOTIFY currentIndexChanged)
    /** One entry per tab: its ScreenModel, or null while the tab was never selected. */
    Q_PROPERTY(QVariantList screens READ screens NOTIFY screensChanged)
    /** The line above the tab bar while the blocklist cannot be written, or empty. */
    Q_PROPERTY(QString storageWarning READ storageWarning NOTIFY storageWarningChanged)
public:
    enum Tab { instructions, domains, status, settings, tabCount };
    Q_ENUM(Tab)

    /** `store` and `scenePhase` must outlive the container. */
    AppView(BlocklistStore *store, ScenePhaseSource *scenePhase, QObject *parent = nullptr);

    /** Each entry: `id` (the Tab key's name), `title` and `systemImage`. */
    QVariantList tabs() const;
    int currentIndex() const { return m_currentIndex; }
    QVariantList screens() const;
    /** The screen of `tab`, or nullptr while it was never selected. */
    ScreenModel *screen(int tab) const;
    QString storageWarning() const;

    /**
     * The user picked a tab. Selecting another tab brings its screen into view (creating it
     * the first time) and runs its appearance hook; the selected tab again does nothing.
     */
    Q_INVOKABLE void select(int tab);

Q_SIGNALS:
    void currentIndexChanged();
    void screensChanged();
    void storageWarningChanged();

private:
    ScreenModel *createScreen(int tab);

    BlocklistStore *m_store;
    ScenePhaseSource *m_scenePhase;
    std::array<ScreenModel *, tabCount> m_screens{};
    int m_currentIndex = -1;
};
