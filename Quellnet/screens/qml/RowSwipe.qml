import QtQuick
import Quellnet

// The swipe-to-delete part of a ScreenRow, under its cell: a drag to the left opens the row on
// a Delete button, which is also a named button ("Delete <text>") for assistive technology; a
// long swipe deletes at once. The Delete key does the same from the row itself.
Item {
    id: part

    required property ScreenRow row
    readonly property real deleteWidth: 88

    Item {
        anchors.fill: parent
        anchors.leftMargin: part.row.sideInset
        anchors.rightMargin: part.row.sideInset
        clip: true

        // The only red: shaped as the cell is and shown only while the row is swiped, so the
        // cell's rounded corners never show it.
        Rectangle {
            anchors.fill: parent
            anchors.topMargin: part.row.firstInSection ? 0 : -Theme.cornerRadius
            anchors.bottomMargin: part.row.lastInSection ? 0 : -Theme.cornerRadius
            radius: Theme.cornerRadius
            color: deletePress.pressed ? Qt.darker(Theme.red, 1.2) : Theme.red
            visible: part.row.swipe < 0
        }

        Item {
            objectName: "deleteButton"
            anchors.right: parent.right
            width: part.deleteWidth
            height: parent.height
            activeFocusOnTab: false
            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Delete %1").arg(part.row.text)
            Accessible.focusable: true
            Accessible.onPressAction: part.row.deleteEntry()

            Text {
                anchors.centerIn: parent
                text: qsTr("Delete")
                color: "white"
                font.pixelSize: Theme.bodySize
                Accessible.ignored: true
            }
            TapHandler {
                id: deletePress
                enabled: part.row.swipe < 0
                onTapped: part.row.deleteEntry()
            }
        }
    }

    DragHandler {
        id: swiper
        target: null
        xAxis.enabled: true
        yAxis.enabled: false
        property real start: 0
        onActiveChanged: {
            part.row.swiping = active
            if (active) {
                start = part.row.swipe
                return
            }
            // A long swipe deletes at once; a short one opens or closes the button.
            if (part.row.swipe < -part.row.width * 0.6)
                part.row.deleteEntry()
            else
                part.row.swipe = part.row.swipe < -part.deleteWidth / 2 ? -part.deleteWidth : 0
        }
        onTranslationChanged: if (active) part.row.swipe = Math.min(0, Math.max(-part.row.width, start + translation.x))
    }
}
