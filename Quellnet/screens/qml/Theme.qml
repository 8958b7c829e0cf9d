pragma Singleton
import QtQuick

// The look of a grouped phone list: light grey ground, white rounded sections, teal accent.
QtObject {
    readonly property color groupedBackground: "#f2f2f7"
    readonly property color cellBackground: "#ffffff"
    readonly property color cellPressed: "#e5e5ea"
    readonly property color label: "#000000"
    readonly property color secondaryLabel: "#6c6c70"
    readonly property color tabBarBackground: "#f9f9f9"
    readonly property color hairline: "#c6c6c8"
    // Darker than the system's teal and red so text on white stays readable (about 4.5:1).
    readonly property color teal: "#007c89"
    readonly property color red: "#d70015"
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

    function tintColor(tint, fallback) {
        return tint === "teal" ? teal : tint === "red" ? red : fallback
    }
}
