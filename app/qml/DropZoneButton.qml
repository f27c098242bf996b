import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// One of the drop zone's two large buttons: filled in the batch colour, or bordered.
AbstractButton {
    id: button

    required property string symbol
    property bool prominent: false

    readonly property color contentColor: prominent ? "white" : Theme.primaryText

    hoverEnabled: true
    verticalPadding: 8
    font.pixelSize: 14
    opacity: pressed ? 0.75 : 1.0

    contentItem: RowLayout {
        spacing: 6

        SymbolIcon {
            symbol: button.symbol
            size: 15
            color: button.contentColor
        }
        Label {
            text: button.text
            font: button.font
            color: button.contentColor
        }
    }
    background: Rectangle {
        radius: 7
        color: button.prominent ? Theme.batchColor
                                : Theme.withOpacity(Theme.controlBackground, button.hovered ? 1.0 : 0.8)
        border.width: button.prominent ? 0 : 1
        border.color: Theme.borderSubtle
    }
}
