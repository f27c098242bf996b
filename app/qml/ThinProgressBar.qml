import QtQuick
import QtQuick.Controls
import Tonbrook

// A slim linear progress bar in the batch colour.
ProgressBar {
    id: bar

    property color tint: Theme.batchColor

    from: 0
    to: 1
    implicitHeight: 4

    background: Rectangle {
        implicitWidth: 100
        implicitHeight: 4
        radius: 2
        color: Theme.withOpacity(Theme.secondary, 0.2)
    }
    contentItem: Item {
        implicitWidth: 100
        implicitHeight: 4

        Rectangle {
            width: bar.visualPosition * parent.width
            height: parent.height
            radius: 2
            color: bar.tint
        }
    }
}
