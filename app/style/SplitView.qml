import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.SplitView {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    // A hairline that turns into an accent bar while hovered or dragged; the grab area is wider.
    handle: Item {
        implicitWidth: control.orientation === Qt.Horizontal ? 5 : control.width
        implicitHeight: control.orientation === Qt.Horizontal ? control.height : 5

        Rectangle {
            anchors.centerIn: parent
            readonly property bool lit: parent.T.SplitHandle.hovered || parent.T.SplitHandle.pressed
            width: control.orientation === Qt.Horizontal ? (lit ? 3 : 1) : parent.width
            height: control.orientation === Qt.Horizontal ? parent.height : (lit ? 3 : 1)
            color: parent.T.SplitHandle.pressed ? control.palette.highlight
                 : lit ? Color.transparent(control.palette.highlight, 0.6) : control.palette.mid
        }
    }
}
