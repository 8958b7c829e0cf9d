import QtQuick
import QtQuick.Controls
import Quellnet

// The Domains tab: the generic list with the search field above its sections.
ScreenList {
    id: list

    // Ctrl+F: the search field, its text selected, scrolled into view.
    function focusSearch() {
        positionViewAtBeginning()
        if (headerItem)
            headerItem.focusSearch()
    }

    header: FocusScope {
        function focusSearch() {
            search.forceActiveFocus(Qt.ShortcutFocusReason)
            search.selectAll()
        }

        width: ListView.view.width
        height: 52
        Accessible.ignored: true

        Rectangle {
            anchors.fill: parent
            anchors.leftMargin: Math.max(Theme.inset, (parent.width - Theme.maxContentWidth) / 2)
            anchors.rightMargin: anchors.leftMargin
            anchors.topMargin: 6
            anchors.bottomMargin: 6
            radius: Theme.cornerRadius
            color: Theme.cellPressed
            border.color: Theme.focusRing
            border.width: search.activeFocus ? 2 : 0

            Icon {
                id: searchIcon
                anchors.left: parent.left
                anchors.leftMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                name: "magnifyingglass"
                size: 20
                color: Theme.secondaryLabel
            }
            TextField {
                id: search
                objectName: "searchField"
                anchors.left: searchIcon.right
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                anchors.leftMargin: 4
                focus: true
                placeholderText: qsTr("Search")
                text: list.screen.searchText
                background: null
                font.pixelSize: Theme.bodySize
                inputMethodHints: Qt.ImhNoPredictiveText | Qt.ImhNoAutoUppercase
                EnterKey.type: Qt.EnterKeySearch
                Accessible.role: Accessible.EditableText
                Accessible.name: qsTr("Search")
                onTextEdited: list.screen.searchText = text
                Keys.onEscapePressed: list.screen.searchText = ""
                Keys.onDownPressed: list.focusRow(0)
                Keys.onTabPressed: list.tabFrom(-1, true)
                Keys.onBacktabPressed: list.tabFrom(-1, false)
            }
        }
    }
}
