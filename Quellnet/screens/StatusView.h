#pragma once

#include "screens/ScreenModel.h"

class NEDNSSettingsManager;

/** The Status tab: whether the saved DNS configuration is switched on in the system. */
class StatusView : public ScreenModel {
    Q_OBJECT
    QML_NAMED_ELEMENT(StatusViewModel)
    QML_UNCREATABLE("Created by the app")
    Q_PROPERTY(bool isDNSEnabled READ isDNSEnabled NOTIFY isDNSEnabledChanged)
public:
    /** `manager` must outlive the screen. */
    StatusView(NEDNSSettingsManager &manager, ScenePhaseSource *scenePhase,
               QObject *parent = nullptr);

    bool isDNSEnabled() const { return m_isDNSEnabled; }

    /** Asks the platform again; the row follows when a successful answer arrives. */
    void appear() override;
    void activate(const QString &key) override;

    static inline const QString statusRowKey = QStringLiteral("status");

Q_SIGNALS:
    void isDNSEnabledChanged();

protected:
    QList<Screen::Section> sections() const override;
    void scenePhaseChanged(ScenePhase phase) override;

private:
    void refreshStatus();
    void setDNSEnabled(bool enabled);

    NEDNSSettingsManager &m_manager;
    bool m_isDNSEnabled = false;
};
