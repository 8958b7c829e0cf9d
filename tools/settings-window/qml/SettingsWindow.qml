import QtQuick
import Quellnet
import QuellnetSettings

// The device's Settings as a desktop window: a bar with the way back and the page's title, and
// the page's rows drawn as Quellnet draws its own. The navigator decides which page is shown.
// Keyboard: Tab runs through the back button and the rows and round again, the arrows move
// between rows, Enter or Space presses, Escape or Alt+Left goes back.
Window {
    id: window

    required property SettingsNavigatorModel navigator

    function focusFirst() {
        if (!list.focusRow(0, false))
            backButton.forceActiveFocus(Qt.TabFocusReason)
    }

    width: 480
    height: 560
    minimumWidth: 320
    minimumHeight: 360
    visible: true
    title: Qt.application.displayName
    color: Theme.groupedBackground

    palette {
        window: Theme.groupedBackground
        windowText: Theme.label
        base: Theme.cellBackground
        text: Theme.label
        highlight: Theme.teal
        highlightedText: Theme.cellBackground
        button: Theme.cellBackground
        buttonText: Theme.teal
        mid: Theme.hairline
    }

    Shortcut {
        sequences: ["Escape", "Alt+Left", StandardKey.Back]
        enabled: window.navigator.canGoBack
        onActivated: window.navigator.back()
    }

    Connections {
        target: window.navigator
        // The new page's first row takes the keyboard once its rows are made.
        function onPageChanged() {
            if (window.activeFocusItem)
                Qt.callLater(window.focusFirst)
        }
    }

    Item {
        id: bar
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: 52

        FocusScope {
            id: backButton
            objectName: "backButton"
            anchors.left: parent.left
            anchors.leftMargin: 6
            anchors.verticalCenter: parent.verticalCenter
            width: backRow.width + 16
            height: 40
            visible: window.navigator.canGoBack
            activeFocusOnTab: visible

            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Back")
            Accessible.description: window.navigator.backTitle
            Accessible.focusable: true
            Accessible.onPressAction: window.navigator.back()
            Keys.onReturnPressed: window.navigator.back()
            Keys.onEnterPressed: window.navigator.back()
            Keys.onSpacePressed: window.navigator.back()
            Keys.onTabPressed: list.enterFocus(true)
            Keys.onBacktabPressed: list.enterFocus(false)

            Rectangle {
                anchors.fill: parent
                radius: Theme.cornerRadius
                color: backTap.pressed ? Theme.cellPressed : "transparent"
                border.color: Theme.focusRing
                border.width: backButton.activeFocus ? 2 : 0
            }
            Row {
                id: backRow
                anchors.centerIn: parent
                Icon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "chevron.left"
                    color: Theme.teal
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: window.navigator.backTitle
                    color: Theme.teal
                    font.pixelSize: Theme.bodySize
                    Accessible.ignored: true
                }
            }
            TapHandler {
                id: backTap
                onTapped: window.navigator.back()
            }
        }

        Text {
            anchors.centerIn: parent
            width: Math.min(implicitWidth, parent.width - 2 * (backButton.width + 12))
            text: window.navigator.page.navigationTitle
            color: Theme.label
            elide: Text.ElideRight
            font.pixelSize: Theme.bodySize
            font.weight: Font.DemiBold
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }

        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: 1
            color: Theme.hairline
        }
    }

    ScreenList {
        id: list
        objectName: "pageList"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: bar.bottom
        anchors.bottom: parent.bottom
        screen: window.navigator.page
        onFocusLeaving: forward => {
            if (backButton.visible)
                backButton.forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
            else
                list.focusRow(forward ? 0 : list.count - 1, !forward)
        }
    }

    Component.onCompleted: focusFirst()
}
