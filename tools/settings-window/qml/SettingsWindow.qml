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

    readonly property ScreenList list: lists.count > 0 ? lists.itemAt(navigator.depth - 1) : null

    // Set while a page shown by keys has no rows yet (the DNS page reads its rows first).
    property bool firstRowPending: false

    function focusFirst() {
        firstRowPending = !list || !list.focusRow(0, false)
        if (firstRowPending)
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
        sequences: ["Escape", "Alt+Left"]
        enabled: window.navigator.canGoBack
        onActivated: window.navigator.back()
    }

    Connections {
        target: window.navigator
        // The new page's first row takes the keyboard (a hidden page must not keep it).
        function onPageChanged() {
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
            activeFocusOnTab: true

            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Back")
            Accessible.description: window.navigator.backTitle
            Accessible.focusable: true
            Accessible.onPressAction: window.navigator.back()
            Keys.onReturnPressed: window.navigator.back()
            Keys.onEnterPressed: window.navigator.back()
            Keys.onSpacePressed: window.navigator.back()
            Keys.onTabPressed: if (window.list) window.list.enterFocus(true)
            Keys.onBacktabPressed: if (window.list) window.list.enterFocus(false)

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

    // One list per page, made once: the page shown is the top of the navigator's stack.
    Repeater {
        id: lists
        model: window.navigator.pages

        ScreenList {
            required property int index
            required property ScreenModel modelData

            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: bar.bottom
            anchors.bottom: parent.bottom
            objectName: "page" + index
            screen: modelData
            visible: index === window.navigator.depth - 1
            onCountChanged: {
                if (visible && count > 0 && window.firstRowPending && backButton.activeFocus)
                    window.focusFirst()
            }
            onFocusLeaving: forward => {
                if (backButton.visible)
                    backButton.forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
                else
                    focusRow(forward ? 0 : count - 1, !forward)
            }
        }
    }

    Component.onCompleted: focusFirst()
}
