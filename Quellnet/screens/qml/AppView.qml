import QtQuick
import QtQuick.Layouts
import Quellnet

// The tab container: a page per tab, made the first time its tab is selected and then kept,
// a bottom tab bar, and the sheet layer over everything.
Item {
    id: root

    required property AppViewModel appView

    StackLayout {
        id: pages
        anchors {
            top: parent.top
            left: parent.left
            right: parent.right
            bottom: tabBar.top
        }
        currentIndex: root.appView.currentIndex

        Repeater {
            model: root.appView.tabs

            Loader {
                id: page

                required property int index
                required property var modelData
                readonly property ScreenModel screen: root.appView.screens[index] || null

                // The screen exists from the first selection on, so the page stays loaded.
                active: screen !== null
                sourceComponent: modelData.id === "domains" ? domainsPage : listPage

                Component {
                    id: listPage
                    ScreenList {
                        screen: page.screen
                    }
                }
                Component {
                    id: domainsPage
                    DomainsView {
                        screen: page.screen
                    }
                }
            }
        }
    }

    Rectangle {
        id: tabBar
        anchors {
            left: parent.left
            right: parent.right
            bottom: parent.bottom
        }
        height: Theme.tabBarHeight
        color: Theme.tabBarBackground
        Accessible.role: Accessible.PageTabList
        Accessible.name: qsTr("Tabs")

        Rectangle {
            width: parent.width
            height: 1
            color: Theme.hairline
        }

        Row {
            id: tabRow
            anchors.fill: parent
            anchors.topMargin: 1

            Repeater {
                id: tabItems
                model: root.appView.tabs

                TabItem {
                    required property int index
                    required property var modelData

                    width: tabRow.width / tabItems.count
                    height: tabRow.height
                    title: modelData.title
                    systemImage: modelData.systemImage
                    selected: root.appView.currentIndex === index
                    onSelect: root.appView.select(index)
                    onMoveFocus: offset => {
                        const next = tabItems.itemAt((index + offset + tabItems.count) % tabItems.count)
                        next.forceActiveFocus(Qt.TabFocusReason)
                    }
                }
            }
        }
    }

    SheetLayer {
        anchors.fill: parent
        z: 1000
    }
}
