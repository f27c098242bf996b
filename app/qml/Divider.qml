import QtQuick
import Tonbrook

// A horizontal separator line; the host sets its width.
Rectangle {
    implicitWidth: 100
    implicitHeight: 1
    color: Theme.separator
}
