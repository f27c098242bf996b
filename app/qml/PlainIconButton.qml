import QtQuick
import QtQuick.Controls
import Tonbrook

// A borderless button that is only its symbol, with a tooltip.
AbstractButton {
    id: button

    required property string symbol
    property real symbolSize: 16
    property color symbolColor: Theme.primaryText
    // When set, paints the symbol instead of symbolColor.
    property themeGradient symbolGradient
    property string helpText

    hoverEnabled: true
    padding: 0
    focusPolicy: Qt.TabFocus
    opacity: pressed ? 0.6 : 1.0

    contentItem: SymbolIcon {
        symbol: button.symbol
        size: button.symbolSize
        color: button.symbolColor
        gradient: button.symbolGradient
    }
    background: null

    Accessible.name: button.helpText
    ToolTip.visible: hovered && helpText !== ""
    ToolTip.text: helpText
    ToolTip.delay: 600
}
