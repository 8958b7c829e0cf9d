import QtQuick
import Quellnet

// Draws any ScreenModel: its rows as a grouped list with section headers, no background of
// its own and no separators. Changes of the rows animate; the model decides everything.
//
// Extending it (as DomainsView.qml does): the root is a ListView, so a screen can add a
// header item above the sections, e.g.
//     ScreenList {
//         header: TextField { width: ListView.view.width; ... }
//     }
// Every row is a ScreenRow, which draws every kind the models send.
//
// Keyboard: rows take focus in model order (delegates are made out of order, so the item
// tree's order is no guide); Tab and Shift+Tab past the list's ends emit focusLeaving.
ListView {
    id: list

    required property ScreenModel screen

    signal focusLeaving(bool forward)

    // Moves keyboard focus to row `i`, or past refused rows to the next one in the direction
    // `step` (1 or -1, default 1), creating its delegate if it is scrolled away; to its last
    // focusable part when `last` (a row may hold several, as the Domains add row does).
    function focusRow(i, last, step) {
        i = screen.rows.focusableRow(i, step === -1 ? -1 : 1)
        if (i < 0)
            return false
        currentIndex = i
        positionViewAtIndex(i, ListView.Contain)
        // Not currentItem: that may still be a row fading out after its removal.
        const row = itemAtIndex(i)
        if (!row)
            return false
        if (typeof row.focusPart === "function")
            row.focusPart(last === true)
        else
            row.forceActiveFocus(last === true ? Qt.BacktabFocusReason : Qt.TabFocusReason)
        return true
    }
    // Tab (forward) or Shift+Tab from row `from` (-1: the header).
    function tabFrom(from, forward) {
        if (focusRow(forward ? from + 1 : from - 1, !forward, forward ? 1 : -1))
            return
        if (!forward && from >= 0 && headerItem)
            headerItem.forceActiveFocus(Qt.BacktabFocusReason)
        else
            focusLeaving(forward)
    }
    // Keyboard focus coming in from outside: the first part of the list, or the last.
    function enterFocus(forward) {
        if (forward && headerItem)
            headerItem.forceActiveFocus(Qt.TabFocusReason)
        else if (!focusRow(forward ? 0 : count - 1, !forward, forward ? 1 : -1)) {
            if (headerItem)
                headerItem.forceActiveFocus(Qt.BacktabFocusReason)
            else
                focusLeaving(forward)
        }
    }
    // The focused row is going away (deleted, or a suggestion that became an entry): the row
    // that takes its place, or the one above, gets the focus once the list has settled.
    function keepFocusNear() {
        const i = currentIndex
        Qt.callLater(() => {
            if (!focusRow(Math.min(i, count)))
                focusRow(Math.min(i, count) - 1, false, -1)
        })
    }

    // The current row is the focused one, or none: the view carries its index through changes
    // above it, and moves the focus on when it is removed. With a current row while the focus
    // is elsewhere in the list (the search field), a removal would take the focus away.
    // Followed once the event that moved the focus is done: the focus also moves while the view
    // is applying a change of its rows (a focused row removed or disabled), and setting the
    // current index in the middle of that crashes the view (Qt 6.4).
    readonly property Item focusedItem: Window.activeFocusItem
    onFocusedItemChanged: Qt.callLater(followFocus)
    function followFocus() {
        let row = -1
        for (let item = focusedItem; item && item !== list; item = item.parent) {
            if (item.parent === contentItem) {
                if (typeof item.index === "number")
                    row = item.index
                break
            }
        }
        currentIndex = row
    }
    currentIndex: -1

    model: screen.rows
    clip: true
    topMargin: 8
    bottomMargin: 24
    // About seven rows beyond each edge: enough that arrows and Tab find the next rows made,
    // few enough that a keystroke that moves rows does not make and destroy dozens unseen.
    // Far rows are reached by focusRow() (which positions the view) or by searching.
    cacheBuffer: 320
    keyNavigationEnabled: false
    highlightFollowsCurrentItem: false
    boundsBehavior: Flickable.StopAtBounds
    Accessible.role: Accessible.List
    Accessible.name: screen.navigationTitle

    section.property: "section"
    section.criteria: ViewSection.FullString
    section.delegate: Text {
        required property string section

        width: ListView.view.width
        leftPadding: Math.max(Theme.inset, (width - Theme.maxContentWidth) / 2) + Theme.inset
        topPadding: 22
        bottomPadding: 7
        text: section.toUpperCase()
        color: Theme.secondaryLabel
        font.pixelSize: Theme.headerSize
        font.letterSpacing: 0.4
        Accessible.role: Accessible.StaticText
        Accessible.name: section
    }

    delegate: ScreenRow {
        screen: list.screen
        view: list
    }

    add: Transition {
        NumberAnimation { property: "opacity"; from: 0; to: 1; duration: 200 }
    }
    remove: Transition {
        NumberAnimation { property: "opacity"; to: 0; duration: 200 }
    }
    // A row displaced while it fades in must not stay translucent: it comes to rest at its own
    // opacity, which is always 1 (a refused row dims its cell, never itself).
    displaced: Transition {
        NumberAnimation { properties: "x,y"; duration: 200; easing.type: Easing.OutQuad }
        NumberAnimation { property: "opacity"; to: 1; duration: 200 }
    }
}
