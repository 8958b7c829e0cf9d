import QtQuick
import Quellnet

// One row of a grouped list, drawn by its kind: a label (symbol and text), a button (plain:
// the bare label in its tint; automatic: the label in the accent colour), a text field or a
// paste button. Every row takes keyboard focus; Enter/Space and the accessibility press action
// do what a tap does.
FocusScope {
    id: row

    required property var model
    required property int index
    property ScreenModel screen
    property ListView view

    readonly property bool isButton: model.kind === "button"
    readonly property bool isField: model.kind === "textField"
    readonly property bool isPaste: model.kind === "pasteButton"
    readonly property bool firstInSection: model.firstInSection
    readonly property bool lastInSection: model.lastInSection
    readonly property real sideInset: Math.max(Theme.inset, (width - Theme.maxContentWidth) / 2)
    readonly property color foreground: {
        if (isButton && model.buttonStyle === "automatic" && model.tint === "none")
            return Theme.teal
        return Theme.tintColor(model.tint, Theme.label)
    }

    function press() {
        if (!model.enabled)
            return
        if (isButton)
            screen.activate(model.key)
        else if (isPaste)
            screen.paste(model.key, Clipboard.plainTexts())
    }

    width: view ? view.width : implicitWidth
    height: Theme.rowHeight
    activeFocusOnTab: true
    opacity: model.enabled ? 1 : 0.4

    // A field row lets its text field speak for it.
    Accessible.ignored: isField
    Accessible.role: isButton || isPaste ? Accessible.Button : Accessible.ListItem
    Accessible.name: isPaste ? qsTr("Paste") : model.text
    Accessible.description: model.accessibleDescription
    Accessible.focusable: true
    Accessible.onPressAction: row.press()

    Keys.onReturnPressed: row.press()
    Keys.onEnterPressed: row.press()
    Keys.onSpacePressed: row.press()
    Keys.onUpPressed: if (view) view.focusRow(index - 1)
    Keys.onDownPressed: if (view) view.focusRow(index + 1)
    Keys.onDeletePressed: if (model.deletable) screen.deleteRows([model.key])
    onActiveFocusChanged: if (activeFocus && view) view.positionViewAtIndex(index, ListView.Contain)

    // The cell: rounded at the top of its section's first row and the bottom of its last.
    Item {
        id: cell
        anchors.fill: parent
        anchors.leftMargin: row.sideInset
        anchors.rightMargin: row.sideInset
        clip: true

        Rectangle {
            readonly property color fill: tap.pressed && (row.isButton || row.isPaste) && row.model.enabled
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
            visible: row.activeFocus || field.activeFocus
        }

        Row {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: Theme.inset
            anchors.rightMargin: Theme.inset
            anchors.verticalCenter: parent.verticalCenter
            spacing: 12
            visible: !row.isField && !row.isPaste

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

        Loader {
            id: field
            anchors.fill: parent
            anchors.leftMargin: Theme.inset / 2
            anchors.rightMargin: Theme.inset / 2
            anchors.topMargin: 6
            anchors.bottomMargin: 6
            active: row.isField
            focus: row.isField
            // By URL, so QtQuick.Controls loads with the first field instead of at launch.
            function load() {
                if (active && status === Loader.Null)
                    setSource("RowTextField.qml", { row: row })
            }
            onActiveChanged: load()
            Component.onCompleted: load()
        }

        // Only paste rows draw this symbol; the other rows skip making it.
        Loader {
            anchors.centerIn: parent
            active: row.isPaste
            sourceComponent: Icon {
                name: row.model.systemImage !== "" ? row.model.systemImage : "doc.on.clipboard"
                color: Theme.teal
            }
        }
    }

    TapHandler {
        id: tap
        enabled: !row.isField
        onTapped: row.press()
    }
}
