import QtQuick
import QtQuick.Controls
import Quellnet

// One row of the Domains list. Buttons and labels look as on every screen; the add field
// carries its paste button (the model's separate paste row is drawn here and takes no space);
// entry rows swipe left to reveal a Delete button, which is also reachable by the Delete key
// and, as a named button ("Delete <domain>"), by assistive technology.
FocusScope {
    id: row

    required property var model
    required property int index
    property ScreenModel screen
    property ListView view

    readonly property bool isButton: model.kind === "button"
    readonly property bool isField: model.kind === "textField"
    readonly property bool isPaste: model.kind === "pasteButton"
    readonly property bool isEntry: model.deletable
    readonly property bool firstInSection: model.firstInSection
    // The paste row right after the field takes no space, so with nothing below it the field
    // closes the section (and the list: Domains is the last section).
    readonly property bool lastInSection: model.lastInSection
                                          || (isField && view !== null && index + 2 >= view.count)
    readonly property real sideInset: Math.max(Theme.inset, (width - Theme.maxContentWidth) / 2)
    readonly property real deleteWidth: 88
    readonly property color foreground: {
        if (isButton && model.buttonStyle === "automatic" && model.tint === "none")
            return Theme.teal
        return Theme.tintColor(model.tint, Theme.label)
    }
    // How far the row is swiped open (0 closed, -deleteWidth open).
    property real swipe: 0

    // A row fading out after its removal (index -1) has no model data left and does nothing.
    function live() {
        return index >= 0 && typeof model.key === "string"
    }

    function press() {
        if (!live())
            return
        if (isEntry && swipe !== 0)
            swipe = 0
        else if (isButton && model.enabled)
            screen.activate(model.key)
    }
    function deleteEntry() {
        if (isEntry && live())
            screen.deleteRows([model.key])
    }
    function pasteInto() {
        if (live())
            screen.paste("paste", Clipboard.plainTexts())
    }

    width: ListView.view ? ListView.view.width : 0
    height: isPaste ? 0 : Theme.rowHeight
    visible: !isPaste
    activeFocusOnTab: !isPaste && !isField
    // The add row dims only its field: the paste button beside it stays available at any count.
    opacity: isField || model.enabled ? 1 : 0.4

    Accessible.role: isButton ? Accessible.Button : isField ? Accessible.Grouping : Accessible.ListItem
    Accessible.name: isField ? model.placeholder : model.text
    Accessible.description: model.accessibleDescription
    Accessible.focusable: !isField
    Accessible.onPressAction: row.press()

    Keys.onReturnPressed: row.press()
    Keys.onEnterPressed: row.press()
    Keys.onSpacePressed: row.press()
    Keys.onUpPressed: if (view) view.stepFocus(index, -1)
    Keys.onDownPressed: if (view) view.stepFocus(index, 1)
    Keys.onDeletePressed: row.deleteEntry()
    Keys.onEscapePressed: row.swipe = 0
    onActiveFocusChanged: if (activeFocus && view) view.positionViewAtIndex(index, ListView.Contain)

    Behavior on swipe {
        enabled: !swiper.active
        NumberAnimation { duration: 180; easing.type: Easing.OutQuad }
    }

    Item {
        id: cell
        anchors.fill: parent
        anchors.leftMargin: row.sideInset
        anchors.rightMargin: row.sideInset
        clip: true
        visible: !row.isPaste

        Rectangle {
            anchors.fill: parent
            anchors.topMargin: row.firstInSection ? 0 : -Theme.cornerRadius
            anchors.bottomMargin: row.lastInSection ? 0 : -Theme.cornerRadius
            radius: Theme.cornerRadius
            color: Theme.red
            visible: row.isEntry && row.swipe < 0
        }

        // The Delete button under the row, revealed by the swipe.
        Rectangle {
            id: deleteButton
            objectName: "deleteButton"
            anchors.right: parent.right
            width: row.deleteWidth
            height: parent.height
            color: deletePress.pressed ? Qt.darker(Theme.red, 1.2) : Theme.red
            visible: row.isEntry
            activeFocusOnTab: false
            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Delete %1").arg(row.model.text)
            Accessible.focusable: true
            Accessible.onPressAction: row.deleteEntry()

            Text {
                anchors.centerIn: parent
                text: qsTr("Delete")
                color: "white"
                font.pixelSize: Theme.bodySize
                Accessible.ignored: true
            }
            TapHandler {
                id: deletePress
                enabled: row.swipe < 0
                onTapped: row.deleteEntry()
            }
        }

        Item {
            id: face
            width: parent.width
            height: parent.height
            x: row.swipe

            Rectangle {
                readonly property color fill: tap.pressed && row.isButton && row.model.enabled
                                              ? Theme.cellPressed : Theme.cellBackground
                anchors.fill: parent
                anchors.topMargin: row.firstInSection ? 0 : -Theme.cornerRadius
                anchors.bottomMargin: row.lastInSection ? 0 : -Theme.cornerRadius
                radius: Theme.cornerRadius
                color: fill
            }

            Rectangle {
                anchors.fill: parent
                anchors.margins: 2
                radius: Theme.cornerRadius - 2
                color: "transparent"
                border.color: Theme.focusRing
                border.width: 2
                visible: row.activeFocus && !field.activeFocus && !paste.activeFocus
            }

            Row {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.leftMargin: Theme.inset
                anchors.rightMargin: Theme.inset
                anchors.verticalCenter: parent.verticalCenter
                spacing: 12
                visible: !row.isField

                Icon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: row.model.systemImage
                    color: row.foreground
                    visible: row.model.systemImage !== ""
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - x
                    text: row.model.text
                    color: row.foreground
                    elide: Text.ElideRight
                    font.pixelSize: Theme.bodySize
                    Accessible.ignored: true
                }
            }

            // The add row: the field and, beside it, the icon-only paste button.
            TextField {
                id: field
                objectName: "addField"
                anchors.left: parent.left
                anchors.right: paste.left
                anchors.verticalCenter: parent.verticalCenter
                anchors.leftMargin: Theme.inset / 2
                anchors.rightMargin: 4
                visible: row.isField
                enabled: row.isField && row.model.enabled
                opacity: enabled ? 1 : 0.4
                focus: row.isField
                text: row.isField ? row.model.text : ""
                placeholderText: row.model.placeholder
                font.pixelSize: Theme.bodySize
                inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoPredictiveText | Qt.ImhNoAutoUppercase
                EnterKey.type: Qt.EnterKeyDone
                background: Rectangle {
                    color: "transparent"
                    border.color: field.activeFocus ? Theme.focusRing : Theme.hairline
                    border.width: field.activeFocus ? 2 : 1
                    radius: 6
                }
                Accessible.role: Accessible.EditableText
                Accessible.name: row.model.placeholder
                onTextEdited: row.screen.editText(row.model.key, text)
                onAccepted: row.screen.submit(row.model.key)
                Keys.onUpPressed: if (row.view) row.view.stepFocus(row.index, -1)
                Keys.onDownPressed: if (row.view) row.view.stepFocus(row.index, 1)
            }

            Item {
                id: paste
                objectName: "pasteButton"
                anchors.right: parent.right
                anchors.rightMargin: 4
                anchors.verticalCenter: parent.verticalCenter
                width: 44
                height: 44
                visible: row.isField
                activeFocusOnTab: row.isField
                Accessible.role: Accessible.Button
                Accessible.name: qsTr("Paste")
                Accessible.focusable: true
                Accessible.onPressAction: row.pasteInto()
                Keys.onReturnPressed: row.pasteInto()
                Keys.onEnterPressed: row.pasteInto()
                Keys.onSpacePressed: row.pasteInto()

                Rectangle {
                    anchors.fill: parent
                    radius: 8
                    color: pasteTap.pressed ? Theme.cellPressed : "transparent"
                    border.color: Theme.focusRing
                    border.width: paste.activeFocus ? 2 : 0
                }
                Icon {
                    anchors.centerIn: parent
                    name: "doc.on.clipboard"
                    color: Theme.teal
                }
                TapHandler {
                    id: pasteTap
                    onTapped: row.pasteInto()
                }
            }
        }
    }

    TapHandler {
        id: tap
        enabled: !row.isField && !row.isPaste
        onTapped: row.press()
    }

    DragHandler {
        id: swiper
        enabled: row.isEntry
        target: null
        xAxis.enabled: true
        yAxis.enabled: false
        property real start: 0
        onActiveChanged: {
            if (active) {
                start = row.swipe
                return
            }
            // A long swipe deletes at once; a short one opens or closes the button.
            if (row.swipe < -row.width * 0.6)
                row.deleteEntry()
            else
                row.swipe = row.swipe < -row.deleteWidth / 2 ? -row.deleteWidth : 0
        }
        onTranslationChanged: if (active) row.swipe = Math.min(0, Math.max(-row.width, start + translation.x))
    }
}
