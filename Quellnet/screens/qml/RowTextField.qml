import QtQuick
import QtQuick.Controls
import Quellnet

// The text field part of a ScreenRow of kind textField, in a file of its own so that rows
// without a field never load QtQuick.Controls: the field and, beside it, its icon-only paste
// button, which stays available while the field is disabled. Tab steps from the field to the
// paste button before it leaves the row.
FocusScope {
    id: part

    required property ScreenRow row

    // The field, or the paste button when `last` or while the field is disabled.
    function focusPart(last, reason) {
        if (last || !field.enabled)
            paste.forceActiveFocus(reason)
        else
            field.forceActiveFocus(reason)
    }
    // Tab inside the row; false when it leaves the row.
    function tabWithin(forward) {
        if (forward && field.activeFocus) {
            paste.forceActiveFocus(Qt.TabFocusReason)
            return true
        }
        if (!forward && paste.activeFocus && field.enabled) {
            field.forceActiveFocus(Qt.BacktabFocusReason)
            return true
        }
        return false
    }
    function pasteInto() {
        if (row.index >= 0)
            row.screen.paste(row.key, Clipboard.plainTexts())
    }

    focus: true

    TextField {
        id: field
        objectName: "addField"
        anchors.left: parent.left
        anchors.right: paste.left
        anchors.verticalCenter: parent.verticalCenter
        anchors.leftMargin: Theme.inset / 2
        anchors.rightMargin: 4
        enabled: part.row.rowEnabled
        opacity: enabled ? 1 : 0.4
        focus: true
        text: part.row.text
        placeholderText: part.row.placeholder
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
        Accessible.name: part.row.placeholder
        onTextEdited: part.row.screen.editText(part.row.key, text)
        onAccepted: part.row.screen.submit(part.row.key)
        Keys.onUpPressed: if (part.row.view) part.row.view.focusRow(part.row.index - 1, false, -1)
        Keys.onDownPressed: if (part.row.view) part.row.view.focusRow(part.row.index + 1)
        // Here too, or the field's own Tab handling would follow the item tree.
        Keys.onTabPressed: part.row.tabOn(true)
        Keys.onBacktabPressed: part.row.tabOn(false)
    }

    Item {
        id: paste
        objectName: "pasteButton"
        anchors.right: parent.right
        anchors.rightMargin: 4
        anchors.verticalCenter: parent.verticalCenter
        width: 44
        height: 44
        activeFocusOnTab: true
        Accessible.role: Accessible.Button
        Accessible.name: qsTr("Paste")
        Accessible.focusable: true
        Accessible.onPressAction: part.pasteInto()
        Keys.onReturnPressed: part.pasteInto()
        Keys.onEnterPressed: part.pasteInto()
        Keys.onSpacePressed: part.pasteInto()
        Keys.onTabPressed: part.row.tabOn(true)
        Keys.onBacktabPressed: part.row.tabOn(false)

        Rectangle {
            anchors.fill: parent
            radius: 8
            color: pasteTap.pressed ? Theme.cellPressed : "transparent"
            border.color: Theme.focusRing
            border.width: paste.activeFocus ? 2 : 0
        }
        Icon {
            anchors.centerIn: parent
            name: part.row.systemImage
            color: Theme.teal
        }
        TapHandler {
            id: pasteTap
            onTapped: part.pasteInto()
        }
    }
}
