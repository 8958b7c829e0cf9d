pragma Singleton
import QtQuick
import Quellnet

// The look of a grouped phone list: a plain ground, rounded sections, teal accent; light or
// dark as the desktop prefers (Appearance decides).
QtObject {
    readonly property bool dark: Appearance.dark

    readonly property color groupedBackground: dark ? "#000000" : "#f2f2f7"
    readonly property color cellBackground: dark ? "#1c1c1e" : "#ffffff"
    readonly property color cellPressed: dark ? "#2c2c2e" : "#e5e5ea"
    readonly property color label: dark ? "#ffffff" : "#000000"
    readonly property color secondaryLabel: dark ? "#98989f" : "#6c6c70"
    readonly property color tabBarBackground: dark ? "#161618" : "#f9f9f9"
    readonly property color hairline: dark ? "#38383a" : "#c6c6c8"
    // Light: darker than the system's teal and red, so text on white stays readable (about
    // 4.5:1). Dark: the system's own, which read well on the dark cells.
    readonly property color teal: dark ? "#40c8e0" : "#007c89"
    readonly property color red: dark ? "#ff453a" : "#d70015"
    readonly property color focusRing: teal

    readonly property int bodySize: 17
    readonly property int headerSize: 13
    readonly property int tabLabelSize: 11
    readonly property int iconSize: 22
    readonly property int tabIconSize: 26
    readonly property int rowHeight: 48
    readonly property int inset: 16
    readonly property int cornerRadius: 10
    readonly property int tabBarHeight: 56
    readonly property int maxContentWidth: 680
    // From this window width on, the tabs stand in a rail at the left instead of a bottom bar.
    readonly property int railBreakpoint: 720
    readonly property int railWidth: 96
    readonly property int railTabHeight: 68

    function tintColor(tint, fallback) {
        return tint === "teal" ? teal : tint === "red" ? red : fallback
    }
}
