import QtQuick
import Quellnet

// One tab of the bottom bar: symbol over title (the symbol only decorates, so a screen reader
// hears the title alone). Tap, Enter/Space and the accessibility press action all select it.
Item {
    id: tab

    property string title
    property string systemImage
    property bool selected: false
    signal select
    signal moveFocus(int offset)

    readonly property color tint: selected ? Theme.teal : Theme.secondaryLabel

    activeFocusOnTab: true
    Accessible.role: Accessible.PageTab
    Accessible.name: title
    Accessible.selectable: true
    Accessible.selected: selected
    Accessible.focusable: true
    Accessible.onPressAction: tab.select()

    Keys.onReturnPressed: tab.select()
    Keys.onEnterPressed: tab.select()
    Keys.onSpacePressed: tab.select()
    Keys.onLeftPressed: tab.moveFocus(-1)
    Keys.onRightPressed: tab.moveFocus(1)

    Column {
        anchors.centerIn: parent
        spacing: 2

        Icon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: tab.systemImage
            size: Theme.tabIconSize
            color: tab.tint
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: tab.title
            color: tab.tint
            font.pixelSize: Theme.tabLabelSize
            font.weight: Font.Medium
            Accessible.ignored: true
        }
    }

    Rectangle {
        anchors.fill: parent
        anchors.margins: 4
        radius: 8
        color: "transparent"
        border.color: Theme.focusRing
        border.width: 2
        visible: tab.activeFocus
    }

    TapHandler {
        onTapped: tab.select()
    }
}
