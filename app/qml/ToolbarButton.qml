import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// A toolbar button: symbol and optional title, plain or filled with a tint, with a tooltip.
AbstractButton {
    id: button

    property string symbol
    property string helpText
    // Filled with the tint and drawn with white content.
    property bool prominent: false
    property color tint: Theme.batchColor

    readonly property color contentColor: prominent ? "white" : Theme.primaryText

    hoverEnabled: true
    focusPolicy: Qt.TabFocus
    leftPadding: text === "" ? 7 : 10
    rightPadding: leftPadding
    topPadding: 5
    bottomPadding: 5
    opacity: enabled ? 1.0 : 0.45

    contentItem: RowLayout {
        spacing: 5

        SymbolIcon {
            visible: button.symbol !== ""
            symbol: button.symbol
            size: 14
            color: button.contentColor
        }
        Label {
            visible: button.text !== ""
            text: button.text
            font.pixelSize: 12
            font.weight: Font.Medium
            color: button.contentColor
        }
    }
    background: Rectangle {
        radius: 6
        color: button.prominent
               ? Qt.darker(button.tint, button.pressed ? 1.2 : 1.0)
               : Theme.withOpacity(Theme.secondary, button.pressed || button.checked ? 0.25
                                                : button.hovered ? 0.12 : 0.0)
        border.width: button.prominent ? 0 : 1
        border.color: button.prominent ? "transparent" : Theme.borderSubtle
    }

    Accessible.name: text !== "" ? text : helpText
    ToolTip.visible: hovered && helpText !== ""
    ToolTip.text: helpText
    ToolTip.delay: 600
}
