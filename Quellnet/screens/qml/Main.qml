import QtQuick
import Quellnet

// A plain Window, not ApplicationWindow: nothing here needs QtQuick.Controls, which then loads
// with the first text field or sheet instead of at launch.
Window {
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
