import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.ToolButton {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    padding: 5
    horizontalPadding: 8
    spacing: 6
    icon.width: 16
    icon.height: 16
    icon.color: control.checked ? control.palette.highlight : control.palette.buttonText

    contentItem: IconLabel {
        spacing: control.spacing
        mirrored: control.mirrored
        display: control.display
        icon: control.icon
        text: control.text
        font: control.font
        color: control.checked ? control.palette.highlight : control.palette.buttonText
    }

    background: Rectangle {
        implicitWidth: 28
        implicitHeight: 28
        radius: 6
        color: control.down ? Color.transparent(control.palette.highlight, 0.22)
             : control.checked ? Color.transparent(control.palette.highlight, 0.14)
             : control.hovered ? Color.transparent(control.palette.highlight, 0.10) : "transparent"

        FocusRing {
            anchors.fill: parent
            radius: parent.radius
            accent: control.palette.highlight
            visible: control.visualFocus
        }
    }
}
