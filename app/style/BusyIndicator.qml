import QtQuick
import QtQuick.Templates as T

T.BusyIndicator {
    id: control

    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: implicitContentHeight + topPadding + bottomPadding

    padding: 2

    // A three-quarter accent arc over a faint track, turning while running.
    contentItem: Item {
        implicitWidth: 24
        implicitHeight: 24
        opacity: control.running ? 1 : 0
        visible: opacity > 0

        Behavior on opacity { OpacityAnimator { duration: 250 } }

        Canvas {
            id: arc
            anchors.centerIn: parent
            width: Math.min(parent.width, parent.height)
            height: width

            readonly property color track: control.palette.mid
            readonly property color accent: control.palette.highlight
            onTrackChanged: requestPaint()
            onAccentChanged: requestPaint()
            onWidthChanged: requestPaint()

            onPaint: {
                const ctx = getContext("2d")
                ctx.reset()
                const line = Math.max(2, width / 9)
                const r = (width - line) / 2
                ctx.lineWidth = line
                ctx.lineCap = "round"
                ctx.strokeStyle = track
                ctx.beginPath()
                ctx.arc(width / 2, height / 2, r, 0, 2 * Math.PI)
                ctx.stroke()
                ctx.strokeStyle = accent
                ctx.beginPath()
                ctx.arc(width / 2, height / 2, r, -Math.PI / 2, Math.PI)
                ctx.stroke()
            }

            RotationAnimator on rotation {
                from: 0
                to: 360
                duration: 1000
                loops: Animation.Infinite
                running: control.visible && control.running
            }
        }
    }
}
