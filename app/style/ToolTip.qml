import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.ToolTip {
    id: control

    x: parent ? (parent.width - implicitWidth) / 2 : 0
    y: -implicitHeight - 4

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    margins: 6
    padding: 4
    horizontalPadding: 8

    closePolicy: T.Popup.CloseOnEscape | T.Popup.CloseOnPressOutsideParent | T.Popup.CloseOnReleaseOutsideParent

    contentItem: Text {
        text: control.text
        font: control.font
        wrapMode: Text.Wrap
        color: system.dark ? system.windowText : system.window

        // A popup keeps the palette it had when it was made; the application palette is live.
        // Dark on light windows, a raised grey on dark ones.
        SystemPalette {
            id: system
            readonly property bool dark: window.hslLightness < 0.5
        }
    }

    background: Rectangle {
        radius: 5
        color: system.dark ? system.midlight : Color.blend(system.windowText, system.window, 0.08)
        border.width: 1
        border.color: Color.transparent(system.windowText, 0.12)
    }
}
