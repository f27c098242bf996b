import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// A section's title with its symbol.
RowLayout {
    id: heading

    required property string symbol
    required property string label

    spacing: 6

    SymbolIcon {
        symbol: heading.symbol
        size: 13
        color: Theme.primaryText
    }
    Label {
        objectName: "headingLabel"
        Layout.fillWidth: true
        text: heading.label
        elide: Text.ElideRight
        font.pixelSize: 13
        font.bold: true
        color: Theme.primaryText
    }
}
