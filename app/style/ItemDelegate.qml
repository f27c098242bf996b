import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.ItemDelegate {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding,
                             implicitIndicatorHeight + topPadding + bottomPadding)

    padding: 4
    horizontalPadding: 8
    spacing: 6
    icon.width: 16
    icon.height: 16
    icon.color: control.highlighted ? control.palette.highlightedText : control.palette.text

    contentItem: IconLabel {
        spacing: control.spacing
        mirrored: control.mirrored
        display: control.display
        alignment: control.display === IconLabel.IconOnly || control.display === IconLabel.TextUnderIcon
                   ? Qt.AlignCenter : Qt.AlignLeft
        icon: control.icon
        text: control.text
        font: control.font
        color: control.highlighted ? control.palette.highlightedText : control.palette.text
        opacity: control.enabled ? 1 : 0.5
    }

    background: Rectangle {
        implicitWidth: 100
        implicitHeight: 26
        radius: 5
        color: control.highlighted ? control.palette.highlight
             : control.down ? Color.transparent(control.palette.highlight, 0.22)
             : control.hovered ? Color.transparent(control.palette.highlight, 0.10) : "transparent"

        FocusRing {
            anchors.fill: parent
            radius: parent.radius
            accent: control.highlighted ? control.palette.highlightedText : control.palette.highlight
            visible: control.visualFocus
        }
    }
}
