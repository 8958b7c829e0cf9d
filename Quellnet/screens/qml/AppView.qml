import QtQuick
import Quellnet

// The tab container: a page per tab, made the first time its tab is selected and then kept,
// a bottom tab bar, and the sheet layer over everything.
Item {
    id: root

    required property AppViewModel appView

    Item {
        id: pages
        anchors {
            top: parent.top
            left: parent.left
            right: parent.right
            bottom: storageWarning.top
        }

        Repeater {
            model: root.appView.tabs

            Loader {
                id: page

                required property int index
                required property var modelData
                readonly property ScreenModel screen: root.appView.screens[index] || null
                readonly property bool isDomains: modelData.id === "domains"

                // The screen exists from the first selection on, so the page stays loaded.
                function load() {
                    if (!screen || status !== Loader.Null)
                        return
                    // The Domains page comes by URL: its text fields bring QtQuick.Controls,
                    // which then loads on the first visit instead of at launch.
                    if (isDomains)
                        setSource("DomainsView.qml", { screen: screen })
                    else
                        sourceComponent = listPage
                }

                anchors.fill: parent
                visible: index === root.appView.currentIndex
                onScreenChanged: load()
                Component.onCompleted: load()

                Component {
                    id: listPage
                    ScreenList {
                        screen: page.screen
                    }
                }
            }
        }
    }

    // Stands above the tab bar, outside every list, while the blocklist cannot be written; an
    // alert, so a screen reader says it when it appears.
    Rectangle {
        id: storageWarning
        objectName: "storageWarning"
        anchors {
            left: parent.left
            right: parent.right
            bottom: tabBar.top
        }
        visible: root.appView.storageWarning !== ""
        height: visible ? warningText.implicitHeight + 2 * 8 : 0
        color: Theme.cellBackground
        Accessible.role: Accessible.AlertMessage
        Accessible.name: root.appView.storageWarning

        Rectangle {
            width: parent.width
            height: 1
            color: Theme.hairline
        }

        Text {
            id: warningText
            anchors {
                left: parent.left
                right: parent.right
                verticalCenter: parent.verticalCenter
                leftMargin: Theme.inset
                rightMargin: Theme.inset
            }
            text: root.appView.storageWarning
            wrapMode: Text.Wrap
            color: Theme.red
            font.pixelSize: Theme.headerSize
            Accessible.ignored: true
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
