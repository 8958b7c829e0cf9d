#include "InstructionsView.h"

using namespace Qt::StringLiterals;
using Screen::label;

InstructionsView::InstructionsView(ScenePhaseSource *scenePhase, QObject *parent)
    : ScreenModel(tr("Instructions"), scenePhase, parent) {
    refresh();
}

QList<Screen::Section> InstructionsView::sections() const {
    return {
        {tr("Instructions"),
         {
             label(u"addDomains"_s, tr("Add domains to the list"), u"plus"_s),
             label(u"savePreferences"_s, tr("Save your preferences"), u"square.and.arrow.down"_s),
             label(u"openSettings"_s, tr("Open Settings"), u"gear"_s),
             label(u"goToDNS"_s, tr("Go to General > VPN > DNS"), u"gear"_s),
             label(u"enableApp"_s, tr("Enable the app"), u"hand.raised"_s),
         }},
        {tr("Help"),
         {label(u"wifiReset"_s, tr("Turn off Wi-Fi to reset settings"), u"info.circle"_s)}},
    };
}
