import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.MenuItem {
    id: control

    readonly property color contentColor: control.highlighted ? control.palette.highlightedText
                                                              : control.palette.text

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding,
                             implicitIndicatorHeight + topPadding + bottomPadding)

    padding: 4
    horizontalPadding: 8
    spacing: 8
    icon.width: 16
    icon.height: 16
    icon.color: contentColor

    contentItem: IconLabel {
        readonly property real arrowPadding: control.subMenu && control.arrow ? control.arrow.width + control.spacing : 0
        readonly property real indicatorPadding: control.checkable && control.indicator ? control.indicator.width + control.spacing : 0
        leftPadding: !control.mirrored ? indicatorPadding : arrowPadding
        rightPadding: control.mirrored ? indicatorPadding : arrowPadding

        spacing: control.spacing
        mirrored: control.mirrored
        display: control.display
        alignment: Qt.AlignLeft
        icon: control.icon
        text: control.text
        font: control.font
        color: control.contentColor
        opacity: control.enabled ? 1 : 0.45
    }

    indicator: ColorImage {
        x: control.mirrored ? control.width - width - control.rightPadding : control.leftPadding
        y: control.topPadding + (control.availableHeight - height) / 2
        width: 12
        height: 12
        sourceSize: Qt.size(12, 12)
        visible: control.checked
        source: control.checkable ? "images/check.svg" : ""
        color: control.contentColor
    }

    arrow: ColorImage {
        x: control.mirrored ? control.leftPadding : control.width - width - control.rightPadding
        y: control.topPadding + (control.availableHeight - height) / 2
        width: 12
        height: 12
        sourceSize: Qt.size(12, 12)
        visible: control.subMenu
        mirror: control.mirrored
        source: control.subMenu ? "images/chevron-right.svg" : ""
        color: control.contentColor
    }

    background: Rectangle {
        implicitWidth: 172
        implicitHeight: 26
        radius: 5
        color: control.down ? Qt.darker(control.palette.highlight, 1.12)
             : control.highlighted ? control.palette.highlight : "transparent"
    }
}
