import QtQuick
import QtQuick.Controls
import Quellnet

// The text field of a ScreenRow of kind "textField", in a file of its own so that the row
// itself needs no QtQuick.Controls.
TextField {
    required property ScreenRow row

    enabled: row.model.enabled
    focus: true
    text: row.model.text
    placeholderText: row.model.placeholder
    font.pixelSize: Theme.bodySize
    inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
    Accessible.name: row.model.placeholder
    onTextEdited: row.screen.editText(row.model.key, text)
    onAccepted: row.screen.submit(row.model.key)
    // The field's own Tab handling would follow the item tree, not the rows' order.
    Keys.onTabPressed: if (row.view) row.view.tabFrom(row.index, true)
    Keys.onBacktabPressed: if (row.view) row.view.tabFrom(row.index, false)
}
