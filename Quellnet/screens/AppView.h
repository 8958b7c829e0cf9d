#pragma once

#include "screens/ScreenModel.h"

#include <QObject>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <array>
#include <functional>

class BlocklistStore;
class NEDNSSettingsManager;

/**
 * The services the screens act through. `main` takes the platform's shared instances once and
 * hands them in, so nothing below it reaches for a global and a test can hand in its own.
 */
struct AppServices {
    NEDNSSettingsManager *dnsSettings = nullptr;
    /** The platform's review request, run once per version when Domains first appears. */
    std::function<void()> requestReview;
    /** Shows one promoted app's store page, run once per version beside the review request. */
    std::function<void()> promoteApp;
};

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

    /** `store`, `scenePhase` and `services.dnsSettings` must outlive the container. */
    AppView(BlocklistStore *store, ScenePhaseSource *scenePhase, AppServices services,
            QObject *parent = nullptr);

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
    AppServices m_services;
    std::array<ScreenModel *, tabCount> m_screens{};
    int m_currentIndex = -1;
};
