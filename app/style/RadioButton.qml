import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.RadioButton {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding,
                             implicitIndicatorHeight + topPadding + bottomPadding)

    padding: 4
    spacing: 8

    indicator: Rectangle {
        implicitWidth: 16
        implicitHeight: 16
        x: control.text ? (control.mirrored ? control.width - width - control.rightPadding
                                            : control.leftPadding)
                        : control.leftPadding + (control.availableWidth - width) / 2
        y: control.topPadding + (control.availableHeight - height) / 2
        radius: width / 2
        color: control.checked ? (control.down ? Qt.darker(control.palette.highlight, 1.15)
                                               : control.palette.highlight)
                               : Color.blend(control.palette.base, control.palette.highlight,
                                             control.down ? 0.2 : control.hovered ? 0.08 : 0)
        border.width: control.checked ? 0 : 1
        border.color: control.hovered ? Color.blend(control.palette.mid, control.palette.highlight, 0.5)
                                       : control.palette.mid
        opacity: control.enabled ? 1 : 0.5

        Rectangle {
            anchors.centerIn: parent
            width: 6
            height: 6
            radius: 3
            visible: control.checked
            color: control.palette.highlightedText
        }
        FocusRing {
            anchors.fill: parent
            anchors.margins: -3
            radius: width / 2
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
