import QtQuick
import Quellnet

// The tab container: a page per tab, made the first time its tab is selected and then kept,
// a bottom tab bar (a rail at the left on wide windows), and the sheet layer over everything.
// Keyboard: Tab runs through the page's rows and then the tabs, and round again; Ctrl+F goes
// to the Domains search field.
Item {
    id: root

    required property AppViewModel appView
    readonly property bool wide: width >= Theme.railBreakpoint
    readonly property int domainsTab: {
        const tabs = appView.tabs
        for (let i = 0; i < tabs.length; ++i) {
            if (tabs[i].id === "domains")
                return i
        }
        return -1
    }

    function pageItem(tab) {
        const loader = pageLoaders.itemAt(tab)
        return loader ? loader.item : null
    }
    function focusTab(tab, forward) {
        tabItems.itemAt(tab).forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
    }
    function tabOnFromTab(tab, forward) {
        const next = tab + (forward ? 1 : -1)
        const current = pageItem(appView.currentIndex)
        if (next >= 0 && next < tabItems.count)
            focusTab(next, forward)
        else if (current)
            current.enterFocus(forward)
    }
    function findDomains() {
        appView.select(domainsTab)
        const domains = pageItem(domainsTab)
        if (domains)
            domains.focusSearch()
    }

    Shortcut {
        sequences: [StandardKey.Find]
        // A sheet keeps the keyboard until it is closed.
        enabled: sheetLayer.count === 0
        onActivated: root.findDomains()
    }

    Item {
        id: pages
        anchors {
            top: parent.top
            left: root.wide ? tabBar.right : parent.left
            right: parent.right
            bottom: storageWarning.top
        }

        Repeater {
            id: pageLoaders
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
                // A hidden page keeps its focus, and with it the keys (Delete would remove an
                // entry no one sees): the selected tab takes the focus instead.
                onVisibleChanged: if (!visible && activeFocus) root.focusTab(root.appView.currentIndex, true)
                onScreenChanged: load()
                Component.onCompleted: load()

                Component {
                    id: listPage
                    ScreenList {
                        screen: page.screen
                    }
                }
                Connections {
                    target: page.item
                    ignoreUnknownSignals: true
                    function onFocusLeaving(forward) {
                        root.focusTab(forward ? 0 : tabItems.count - 1, forward)
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
            left: root.wide ? tabBar.right : parent.left
            right: parent.right
            bottom: root.wide ? parent.bottom : tabBar.top
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
            bottom: parent.bottom
        }
        width: root.wide ? Theme.railWidth : root.width
        height: root.wide ? root.height : Theme.tabBarHeight
        color: Theme.tabBarBackground
        Accessible.role: Accessible.PageTabList
        Accessible.name: qsTr("Tabs")

        Rectangle {
            x: root.wide ? parent.width - 1 : 0
            width: root.wide ? 1 : parent.width
            height: root.wide ? parent.height : 1
            color: Theme.hairline
        }

        Grid {
            id: tabRow
            anchors.fill: parent
            anchors.topMargin: root.wide ? 8 : 1
            anchors.rightMargin: root.wide ? 1 : 0
            columns: root.wide ? 1 : tabItems.count

            Repeater {
                id: tabItems
                model: root.appView.tabs

                TabItem {
                    required property int index
                    required property var modelData

                    width: root.wide ? tabRow.width : tabRow.width / tabItems.count
                    height: root.wide ? Theme.railTabHeight : tabRow.height
                    title: modelData.title
                    systemImage: modelData.systemImage
                    selected: root.appView.currentIndex === index
                    onSelect: root.appView.select(index)
                    onMoveFocus: offset => {
                        const next = tabItems.itemAt((index + offset + tabItems.count) % tabItems.count)
                        next.forceActiveFocus(Qt.TabFocusReason)
                    }
                    Keys.onTabPressed: root.tabOnFromTab(index, true)
                    Keys.onBacktabPressed: root.tabOnFromTab(index, false)
                }
            }
        }
    }

    SheetLayer {
        id: sheetLayer
        anchors.fill: parent
        z: 1000
    }
}
