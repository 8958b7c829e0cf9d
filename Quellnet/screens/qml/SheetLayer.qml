import QtQuick
import Quellnet

// The sheets the platform presents over the window (store product pages, the review request),
// bottom to top, so a later sheet covers an earlier one. Placing this layer is what connects
// the window as the app's scene; closing a sheet goes back through its controller (a store
// page tells its delegate, which dismisses it). Escape closes the top sheet; the keyboard
// focus then goes back where it was before the first sheet came.
Item {
    id: sheetLayer

    readonly property PresentationStack sheets: presenter.sheets
    readonly property int count: sheets ? sheets.count : 0
    property Item focusBeforeSheets: null

    SheetPresenter {
        id: presenter
        anchors.fill: parent
    }

    // Dims and shields what lies under the sheets. Made only while a sheet is up: the launch
    // then skips the shield and the lookup of Qt.AllButtons, which sets up every enum of the
    // Qt namespace (about a millisecond).
    Loader {
        anchors.fill: parent
        active: sheetLayer.count > 0
        sourceComponent: Rectangle {
            color: "#59000000"
            MouseArea {
                anchors.fill: parent
                acceptedButtons: Qt.AllButtons
                onWheel: wheel => wheel.accepted = true
            }
        }
    }

    Loader {
        id: stack
        anchors.fill: parent
    }
    onCountChanged: {
        if (count > 0 && !focusBeforeSheets && Window.activeFocusItem)
            focusBeforeSheets = Window.activeFocusItem
        if (count > 0 && stack.status === Loader.Null)
            stack.setSource("SheetStack.qml", { owner: sheetLayer })
        if (count === 0 && focusBeforeSheets) {
            if (focusBeforeSheets.visible)
                focusBeforeSheets.forceActiveFocus(Qt.PopupFocusReason)
            focusBeforeSheets = null
        }
    }
}
