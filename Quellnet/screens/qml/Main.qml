import QtQuick
import QtQuick.Controls
import Quellnet

ApplicationWindow {
    id: window

    required property AppViewModel appView

    width: 390
    height: 844
    minimumWidth: 320
    minimumHeight: 480
    visible: true
    title: Qt.application.displayName
    color: Theme.groupedBackground

    ContentView {
        anchors.fill: parent
        appView: window.appView
    }
}
