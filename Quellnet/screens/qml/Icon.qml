import QtQuick
import Quellnet

// A system symbol drawn from the icon font; decorative, the row carries the accessible name.
Text {
    property string name
    property int size: Theme.iconSize

    text: Symbols.glyph(name)
    font.family: Symbols.fontFamily
    font.pixelSize: size
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    width: size
    height: size
    Accessible.ignored: true
}
