import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.Switch {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding,
                             implicitIndicatorHeight + topPadding + bottomPadding)

    padding: 4
    spacing: 8

    // A pill track with a round knob that slides to the checked end.
    indicator: Rectangle {
        implicitWidth: 32
        implicitHeight: 18
        x: control.text ? (control.mirrored ? control.width - width - control.rightPadding
                                            : control.leftPadding)
                        : control.leftPadding + (control.availableWidth - width) / 2
        y: control.topPadding + (control.availableHeight - height) / 2
        radius: height / 2
        color: control.checked
               ? (control.hovered ? Qt.lighter(control.palette.highlight, 1.1) : control.palette.highlight)
               : Color.blend(control.palette.mid, control.palette.highlight, control.hovered ? 0.2 : 0)
        opacity: control.enabled ? 1 : 0.5

        Rectangle {
            x: Math.max(2, Math.min(parent.width - width - 2,
                                    control.visualPosition * parent.width - width / 2))
            y: 2
            width: parent.height - 4
            height: width
            radius: width / 2
            color: control.down ? Color.blend("white", control.palette.highlight, 0.15) : "white"

            Behavior on x {
                enabled: !control.down
                SmoothedAnimation { velocity: 160 }
            }
        }
        FocusRing {
            anchors.fill: parent
            anchors.margins: -3
            radius: height / 2
            accent: control.palette.highlight
            visible: control.visualFocus
        }
    }

    contentItem: CheckLabel {
        leftPadding: control.indicator && !control.mirrored ? control.indicator.width + control.spacing : 0
        rightPadding: control.indicator && control.mirrored ? control.indicator.width + control.spacing : 0
        text: control.text
        font: control.font
        color: control.palette.windowText
    }
}
