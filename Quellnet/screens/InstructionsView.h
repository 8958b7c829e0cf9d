#pragma once

#include "screens/ScreenModel.h"

/** The first tab: how protection is set up, as fixed read-only rows. */
class InstructionsView : public ScreenModel {
    Q_OBJECT
    QML_NAMED_ELEMENT(InstructionsViewModel)
    QML_UNCREATABLE("Created by the app")
public:
    explicit InstructionsView(ScenePhaseSource *scenePhase = nullptr, QObject *parent = nullptr);

protected:
    QList<Screen::Section> sections() const override;
};
