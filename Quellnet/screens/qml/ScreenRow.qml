import QtQuick
import Quellnet

// One row of a grouped list, drawn by its kind: a label (symbol and text), a button (plain:
// the bare label in its tint; automatic: the label in the accent colour) or a text field with
// its paste button (RowTextField.qml). A row the screen lets the user delete swipes left to
// reveal its Delete button (RowSwipe.qml). A toggle row is a switch at the row's end, with its
// detail line under the text. Every row takes keyboard focus; Enter/Space and the accessibility
// press (or toggle) action do what a tap does.
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
    required property bool checked
    required property bool busy
    required property string detail
    property ScreenModel screen
    property ListView view

    readonly property bool isButton: kind === RowListModel.Button
    readonly property bool isField: kind === RowListModel.TextField
    readonly property bool isToggle: kind === RowListModel.Toggle
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
        else if ((isButton || isToggle) && rowEnabled && !busy)
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
    height: detail === "" ? Theme.rowHeight : Math.max(Theme.rowHeight, cellText.implicitHeight + 20)
    activeFocusOnTab: !isField
    // A refused row is disabled, so taps, keys, the keyboard focus and assistive technology
    // all pass it by; a field row disables only its field, as its paste button stays available.
    enabled: isField || rowEnabled

    Accessible.role: isButton ? Accessible.Button : isField ? Accessible.Grouping
                                                              : isToggle ? Accessible.CheckBox
                                                                         : Accessible.ListItem
    Accessible.name: isField ? placeholder : text
    Accessible.description: isToggle ? detail : accessibleDescription
    Accessible.focusable: !isField
    Accessible.checkable: isToggle
    Accessible.checked: isToggle && checked
    Accessible.onPressAction: row.press()
    Accessible.onToggleAction: row.press()

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
                color: tap.pressed && (row.isButton || row.isToggle) && row.rowEnabled ? Theme.cellPressed
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
                anchors.rightMargin: Theme.inset + (row.isToggle ? toggleSwitch.width + 12 : 0)
                anchors.verticalCenter: parent.verticalCenter
                spacing: 12
                visible: !row.isField

                Icon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: row.systemImage
                    color: row.foreground
                    visible: row.systemImage !== ""
                }
                Column {
                    id: cellText
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - x
                    spacing: 2

                    Text {
                        width: parent.width
                        text: row.text
                        color: row.foreground
                        elide: Text.ElideRight
                        font.pixelSize: Theme.bodySize
                        Accessible.ignored: true
                    }
                    Text {
                        width: parent.width
                        visible: row.detail !== ""
                        text: row.detail
                        color: Theme.secondaryLabel
                        wrapMode: Text.Wrap
                        font.pixelSize: Theme.headerSize
                        Accessible.ignored: true
                    }
                }
            }

            // The switch: a track with its knob, teal when on; a pulsing knob while busy.
            Rectangle {
                id: toggleSwitch
                visible: row.isToggle
                anchors.right: parent.right
                anchors.rightMargin: Theme.inset
                anchors.verticalCenter: parent.verticalCenter
                width: 51
                height: 31
                radius: height / 2
                color: row.checked ? Theme.teal : Theme.hairline

                Rectangle {
                    id: knob
                    width: 27
                    height: 27
                    radius: width / 2
                    y: 2
                    x: row.checked ? parent.width - width - 2 : 2
                    color: "#ffffff"
                    Behavior on x { NumberAnimation { duration: 150 } }
                    SequentialAnimation on opacity {
                        running: row.busy
                        loops: Animation.Infinite
                        alwaysRunToEnd: true
                        NumberAnimation { to: 0.35; duration: 450 }
                        NumberAnimation { to: 1; duration: 450 }
                    }
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
