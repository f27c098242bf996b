import QtQuick
import QtQuick.Controls
import Tonbrook

// A caption above or beside a control.
Label {
    font.pixelSize: 11
    font.weight: Font.Medium
    color: Theme.secondary
}
