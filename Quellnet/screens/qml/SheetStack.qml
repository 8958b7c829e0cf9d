import QtQuick
import QtQuick.Controls
import Quellnet

// The sheets of a SheetLayer, bottom to top, so a later sheet covers an earlier one. A file of
// its own, loaded with the first sheet: its buttons bring QtQuick.Controls, which the launch
// does without.
Item {
    id: stack

    required property SheetLayer owner

    Repeater {
        model: stack.owner.sheets

        FocusScope {
            id: sheet

            required property int index
            required property string kind
            required property string title
            required property string message
            required property string closeTitle
            readonly property bool isReview: kind === "review"
            readonly property bool onTop: index === stack.owner.count - 1

            function close() {
                if (index >= 0)
                    stack.owner.sheets.close(index)
            }

            // Tab and Shift+Tab go round the sheet's own buttons: what lies under it is shielded.
            function cycleFocus(forward) {
                const stops = []
                if (isReview) {
                    for (let i = 0; i < stars.count; ++i)
                        stops.push(stars.itemAt(i))
                }
                stops.push(closeButton)
                let at = -1
                for (let i = 0; i < stops.length; ++i) {
                    if (stops[i].activeFocus)
                        at = i
                }
                const next = at < 0 ? 0 : (at + (forward ? 1 : stops.length - 1)) % stops.length
                stops[next].forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
            }

            anchors.fill: parent
            enabled: onTop
            Accessible.role: Accessible.Dialog
            Accessible.name: title
            Keys.onEscapePressed: sheet.close()
            // Keyboard users land in the new sheet (once it is placed in the window).
            Component.onCompleted: Qt.callLater(takeFocus)
            onOnTopChanged: if (onTop) takeFocus()
            function takeFocus() {
                if (onTop)
                    closeButton.forceActiveFocus(Qt.PopupFocusReason)
            }

            Rectangle {
                id: card
                color: Theme.cellBackground
                radius: 14
                // A store page keeps a readable width on a wide window.
                width: sheet.isReview ? Math.min(300, parent.width - 40)
                                      : Math.min(parent.width, Theme.maxContentWidth)
                height: sheet.isReview ? reviewColumn.implicitHeight + closeButton.height + 40
                                        : parent.height - 28 + radius
                x: (parent.width - width) / 2
                y: sheet.isReview ? (parent.height - height) / 2 : 28
                opacity: 0
                Component.onCompleted: opacity = 1
                Behavior on opacity { NumberAnimation { duration: 160 } }
                MouseArea { anchors.fill: parent } // taps on the card stay on the card

                // Store product page.
                Column {
                    visible: !sheet.isReview
                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.margins: 20
                    spacing: 14

                    Text {
                        text: qsTr("App Store")
                        color: Theme.secondaryLabel
                        font.pixelSize: Theme.headerSize
                        font.weight: Font.Medium
                        Accessible.ignored: true
                    }
                    Row {
                        spacing: 16
                        Rectangle {
                            width: 88
                            height: 88
                            radius: 20
                            color: Theme.teal
                            Icon {
                                anchors.centerIn: parent
                                name: "arrow.down.circle"
                                size: 44
                                color: "white"
                            }
                        }
                        Column {
                            anchors.verticalCenter: parent.verticalCenter
                            spacing: 4
                            Text {
                                text: sheet.title
                                font.pixelSize: 22
                                font.weight: Font.DemiBold
                                color: Theme.label
                                Accessible.role: Accessible.Heading
                                Accessible.name: text
                            }
                            Text {
                                text: sheet.message
                                color: Theme.secondaryLabel
                                font.pixelSize: Theme.bodySize
                                Accessible.role: Accessible.StaticText
                                Accessible.name: text
                            }
                        }
                    }
                }

                // Review request.
                Column {
                    id: reviewColumn
                    visible: sheet.isReview
                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.margins: 16
                    spacing: 10

                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        text: sheet.title
                        font.pixelSize: Theme.bodySize
                        font.weight: Font.DemiBold
                        color: Theme.label
                        Accessible.role: Accessible.Heading
                        Accessible.name: text
                    }
                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        text: sheet.message
                        font.pixelSize: Theme.headerSize
                        color: Theme.secondaryLabel
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    Row {
                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: 6
                        Repeater {
                            id: stars
                            model: 5
                            Item {
                                required property int index
                                width: 36
                                height: 36
                                activeFocusOnTab: true
                                Accessible.role: Accessible.Button
                                Accessible.name: qsTr("%n star(s)", "", index + 1)
                                Accessible.focusable: true
                                Accessible.onPressAction: sheet.close()
                                Keys.onReturnPressed: sheet.close()
                                Keys.onEnterPressed: sheet.close()
                                Keys.onSpacePressed: sheet.close()
                                Keys.onTabPressed: sheet.cycleFocus(true)
                                Keys.onBacktabPressed: sheet.cycleFocus(false)
                                Icon {
                                    anchors.centerIn: parent
                                    name: "star"
                                    color: parent.activeFocus ? Theme.teal : Theme.secondaryLabel
                                }
                                TapHandler { onTapped: sheet.close() }
                            }
                        }
                    }
                }

                Button {
                    id: closeButton
                    objectName: "sheetCloseButton"
                    text: sheet.closeTitle
                    flat: true
                    anchors.right: sheet.isReview ? undefined : parent.right
                    anchors.horizontalCenter: sheet.isReview ? parent.horizontalCenter : undefined
                    anchors.top: sheet.isReview ? reviewColumn.bottom : parent.top
                    anchors.topMargin: sheet.isReview ? 4 : 10
                    anchors.rightMargin: 10
                    font.pixelSize: Theme.bodySize
                    // A flat button draws its text in windowText.
                    palette.buttonText: Theme.teal
                    palette.windowText: Theme.teal
                    background: Rectangle {
                        implicitWidth: 64
                        implicitHeight: 40
                        radius: 8
                        color: closeButton.down ? Theme.cellPressed : "transparent"
                        border.color: Theme.focusRing
                        border.width: closeButton.activeFocus ? 2 : 0
                    }
                    Accessible.name: sheet.closeTitle
                    Accessible.onPressAction: sheet.close()
                    onClicked: sheet.close()
                    Keys.onReturnPressed: sheet.close()
                    Keys.onEnterPressed: sheet.close()
                    // On the button itself: its own Tab handling would leave the sheet.
                    Keys.onTabPressed: sheet.cycleFocus(true)
                    Keys.onBacktabPressed: sheet.cycleFocus(false)
                }
            }
        }
    }
}
