#pragma once

#include "screens/ScreenModel.h"

class DomainListModel;
class NEDNSSettingsManager;
class PreferencesController;

/**
 * The Settings tab: saves, updates and removes the system DNS configuration. Each outcome
 * takes the place of the button that produced it, as chosen by the preferences controller.
 */
class SettingsView : public ScreenModel {
    Q_OBJECT
    QML_NAMED_ELEMENT(SettingsViewModel)
    QML_UNCREATABLE("Created by the app")
public:
    /** `domains` is the store's live list; it and `manager` must outlive the screen. */
    SettingsView(NEDNSSettingsManager &manager, DomainListModel *domains,
                 ScenePhaseSource *scenePhase, QObject *parent = nullptr);

    PreferencesController *controller() const { return m_controller; }

    /** Reloads the stored configuration's state. */
    void appear() override;
    void activate(const QString &key) override;

    static inline const QString saveButtonKey = QStringLiteral("saveButton");
    static inline const QString saveMessageKey = QStringLiteral("saveMessage");
    static inline const QString removeButtonKey = QStringLiteral("removeButton");
    static inline const QString removeMessageKey = QStringLiteral("removeMessage");

protected:
    QList<Screen::Section> sections() const override;
    void scenePhaseChanged(ScenePhase phase) override;

private:
    PreferencesController *m_controller;
};
