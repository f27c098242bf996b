import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.CheckBox {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding,
                             implicitIndicatorHeight + topPadding + bottomPadding)

    padding: 4
    spacing: 8

    indicator: Rectangle {
        readonly property bool filled: control.checkState !== Qt.Unchecked

        implicitWidth: 16
        implicitHeight: 16
        x: control.text ? (control.mirrored ? control.width - width - control.rightPadding
                                            : control.leftPadding)
                        : control.leftPadding + (control.availableWidth - width) / 2
        y: control.topPadding + (control.availableHeight - height) / 2
        radius: 4
        color: filled ? (control.down ? Qt.darker(control.palette.highlight, 1.15)
                                      : control.palette.highlight)
                      : Color.blend(control.palette.base, control.palette.highlight,
                                    control.down ? 0.2 : control.hovered ? 0.08 : 0)
        border.width: filled ? 0 : 1
        border.color: control.hovered ? Color.blend(control.palette.mid, control.palette.highlight, 0.5)
                                      : control.palette.mid
        opacity: control.enabled ? 1 : 0.5

        ColorImage {
            anchors.centerIn: parent
            width: 12
            height: 12
            sourceSize: Qt.size(12, 12)
            visible: control.checkState === Qt.Checked
            color: control.palette.highlightedText
            source: "images/check.svg"
            defaultColor: "white"
        }
        Rectangle {
            anchors.centerIn: parent
            width: 8
            height: 2
            radius: 1
            visible: control.checkState === Qt.PartiallyChecked
            color: control.palette.highlightedText
        }
        FocusRing {
            anchors.fill: parent
            anchors.margins: -3
            radius: parent.radius + 3
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
