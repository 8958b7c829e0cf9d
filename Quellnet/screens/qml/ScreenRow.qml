import QtQuick
import Quellnet

// One row of a grouped list, drawn by its kind: a label (symbol and text), a button (plain:
// the bare label in its tint; automatic: the label in the accent colour) or a text field with
// its paste button (RowTextField.qml). A row the screen lets the user delete swipes left to
// reveal its Delete button (RowSwipe.qml). Every row takes keyboard focus; Enter/Space and the
// accessibility press action do what a tap does.
FocusScope {
    id: row

    required property int index
    required property string key
    required property int kind
    required property string text
    required property string systemImage
    required property string buttonStyle
    required property string tint
    required property bool rowEnabled
    required property bool deletable
    required property string placeholder
    required property bool firstInSection
    required property bool lastInSection
    required property string accessibleDescription
    property ScreenModel screen
    property ListView view

    readonly property bool isButton: kind === RowListModel.Button
    readonly property bool isField: kind === RowListModel.TextField
    readonly property real sideInset: Math.max(Theme.inset, (width - Theme.maxContentWidth) / 2)
    readonly property color foreground: {
        if (isButton && buttonStyle === "automatic" && tint === "none")
            return Theme.teal
        return Theme.tintColor(tint, Theme.label)
    }
    // How far the row is swiped open (0 closed, negative open); the swipe part sets both.
    property real swipe: 0
    property bool swiping: false

    // A row fading out after its removal (index -1) does nothing.
    function press() {
        if (index < 0)
            return
        if (swipe !== 0)
            swipe = 0
        else if (isButton && rowEnabled)
            screen.activate(key)
    }
    function deleteEntry() {
        if (deletable && index >= 0)
            screen.deleteRows([key])
    }
    // Keyboard focus for the row: the row itself, or the first part of its field (the last
    // with `last`).
    function focusPart(last) {
        const reason = last ? Qt.BacktabFocusReason : Qt.TabFocusReason
        if (field.item)
            field.item.focusPart(last, reason)
        else
            row.forceActiveFocus(reason)
    }
    function tabOn(forward) {
        if (!(field.item && field.item.tabWithin(forward)) && view)
            view.tabFrom(index, forward)
    }

    width: view ? view.width : 0
    height: Theme.rowHeight
    activeFocusOnTab: !isField
    // A refused row is disabled, so taps, keys, the keyboard focus and assistive technology
    // all pass it by; a field row disables only its field, as its paste button stays available.
    enabled: isField || rowEnabled

    Accessible.role: isButton ? Accessible.Button : isField ? Accessible.Grouping : Accessible.ListItem
    Accessible.name: isField ? placeholder : text
    Accessible.description: accessibleDescription
    Accessible.focusable: !isField
    Accessible.onPressAction: row.press()

    Keys.onReturnPressed: row.press()
    Keys.onEnterPressed: row.press()
    Keys.onSpacePressed: row.press()
    Keys.onUpPressed: if (view) view.focusRow(index - 1, false, -1)
    Keys.onDownPressed: if (view) view.focusRow(index + 1)
    Keys.onDeletePressed: row.deleteEntry()
    Keys.onEscapePressed: row.swipe = 0
    Keys.onTabPressed: row.tabOn(true)
    Keys.onBacktabPressed: row.tabOn(false)
    ListView.onRemove: if (row.activeFocus && view) view.keepFocusNear()
    onActiveFocusChanged: if (activeFocus && view) view.positionViewAtIndex(index, ListView.Contain)

    Behavior on swipe {
        enabled: !row.swiping
        NumberAnimation { duration: 180; easing.type: Easing.OutQuad }
    }

    // Under the cell: what the swipe reveals, and the drag over the whole row.
    Loader {
        anchors.fill: parent
        active: row.deletable
        function load() {
            if (active && status === Loader.Null)
                setSource("RowSwipe.qml", { row: row })
        }
        onActiveChanged: load()
        Component.onCompleted: load()
    }

    // The cell: rounded at the top of its section's first row and the bottom of its last. It,
    // not the row, is dimmed when refused: the list's transitions animate the row's own
    // opacity and leave it at 1.
    Item {
        anchors.fill: parent
        anchors.leftMargin: row.sideInset
        anchors.rightMargin: row.sideInset
        clip: true
        opacity: row.enabled ? 1 : 0.4

        Item {
            width: parent.width
            height: parent.height
            x: row.swipe

            Rectangle {
                anchors.fill: parent
                anchors.topMargin: row.firstInSection ? 0 : -Theme.cornerRadius
                anchors.bottomMargin: row.lastInSection ? 0 : -Theme.cornerRadius
                radius: Theme.cornerRadius
                color: tap.pressed && row.isButton && row.rowEnabled ? Theme.cellPressed
                                                                      : Theme.cellBackground
            }

            Rectangle {
                anchors.fill: parent
                anchors.margins: 2
                radius: Theme.cornerRadius - 2
                color: "transparent"
                border.color: Theme.focusRing
                border.width: 2
                visible: row.activeFocus && !field.activeFocus
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
                    name: row.systemImage
                    color: row.foreground
                    visible: row.systemImage !== ""
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - x
                    text: row.text
                    color: row.foreground
                    elide: Text.ElideRight
                    font.pixelSize: Theme.bodySize
                    Accessible.ignored: true
                }
            }

            Loader {
                id: field
                anchors.fill: parent
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
        }
    }

    TapHandler {
        id: tap
        enabled: !row.isField
        onTapped: row.press()
    }
}
