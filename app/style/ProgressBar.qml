import QtQuick
import QtQuick.Templates as T

T.ProgressBar {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    contentItem: Item {
        implicitWidth: 160
        implicitHeight: 6
        clip: true

        Rectangle {
            width: control.indeterminate ? parent.width / 3 : control.visualPosition * parent.width
            height: parent.height
            radius: height / 2
            color: control.palette.highlight
            opacity: control.enabled ? 1 : 0.5

            XAnimator on x {
                from: -control.availableWidth / 3
                to: control.availableWidth
                duration: 1200
                loops: Animation.Infinite
                running: control.indeterminate && control.visible
            }
        }
    }

    background: Rectangle {
        implicitWidth: 160
        implicitHeight: 6
        y: (control.height - height) / 2
        height: 6
        radius: 3
        color: control.palette.mid
        opacity: 0.6
    }
}
