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
// A screen that draws some rows its own way sets `delegate:` to its own component and falls
// back to `ScreenRow { screen: ...; view: ... }` for the rest (ScreenRow draws every kind).
ListView {
    id: list

    required property ScreenModel screen

    // Moves keyboard focus to row `i`, creating its delegate if it is scrolled away.
    function focusRow(i) {
        if (i < 0 || i >= count)
            return
        currentIndex = i
        positionViewAtIndex(i, ListView.Contain)
        if (currentItem)
            currentItem.forceActiveFocus(Qt.TabFocusReason)
    }

    model: screen.rows
    clip: true
    topMargin: 8
    bottomMargin: 24
    cacheBuffer: 2000
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
    displaced: Transition {
        NumberAnimation { properties: "x,y"; duration: 200; easing.type: Easing.OutQuad }
        NumberAnimation { property: "opacity"; to: 1; duration: 200 }
    }
}
