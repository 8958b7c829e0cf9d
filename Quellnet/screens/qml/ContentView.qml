import QtQuick
import Quellnet

// The window's content: the tab container and nothing else.
Item {
    id: content

    required property AppViewModel appView

    AppView {
        anchors.fill: parent
        appView: content.appView
    }
}
