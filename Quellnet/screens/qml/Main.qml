import QtQuick
import Quellnet

// A plain Window, not ApplicationWindow: nothing here needs QtQuick.Controls, which then loads
// with the first text field or sheet instead of at launch.
Window {
    id: window

    required property AppViewModel appView

    // A phone's size at first; the app opens later runs at the size the user left it.
    width: 390
    height: 844
    minimumWidth: 320
    minimumHeight: 480
    visible: true
    title: Qt.application.displayName
    color: Theme.groupedBackground

    // The controls (text fields, sheet buttons) take their colours from the theme, so they
    // follow it to dark even where the desktop's own palette stays light.
    palette {
        window: Theme.groupedBackground
        windowText: Theme.label
        base: Theme.cellBackground
        text: Theme.label
        placeholderText: Theme.secondaryLabel
        highlight: Theme.teal
        highlightedText: Theme.cellBackground
        button: Theme.cellBackground
        buttonText: Theme.teal
        mid: Theme.hairline
    }

    ContentView {
        anchors.fill: parent
        appView: window.appView
    }
}
