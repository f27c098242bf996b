import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.Button {
    id: control

    readonly property bool accented: control.highlighted || control.checked

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    padding: 5
    horizontalPadding: 12
    spacing: 6
    icon.width: 16
    icon.height: 16
    icon.color: contentColor

    readonly property color contentColor: accented ? control.palette.highlightedText
                                                   : control.palette.buttonText

    contentItem: IconLabel {
        spacing: control.spacing
        mirrored: control.mirrored
        display: control.display
        icon: control.icon
        text: control.text
        font: control.font
        color: control.contentColor
    }

    background: Rectangle {
        implicitWidth: 72
        implicitHeight: 28
        radius: 6
        visible: !control.flat || control.down || control.hovered || control.accented
        color: {
            if (control.accented)
                return control.down ? Qt.darker(control.palette.highlight, 1.18)
                     : control.hovered ? Qt.lighter(control.palette.highlight, 1.1)
                     : control.palette.highlight
            const mix = control.down ? 0.22 : control.hovered ? 0.10 : 0
            return control.flat ? Color.transparent(control.palette.highlight, mix)
                                : Color.blend(control.palette.button, control.palette.highlight, mix)
        }
        border.width: control.accented || control.flat ? 0 : 1
        border.color: control.palette.mid
        opacity: control.enabled ? 1 : 0.6

        // Around a filled button, with a gap, so the ring never reads as a lighter edge.
        FocusRing {
            anchors.fill: parent
            anchors.margins: control.accented ? -3 : 0
            radius: parent.radius - anchors.margins
            accent: control.palette.highlight
            visible: control.visualFocus
        }
    }
}
