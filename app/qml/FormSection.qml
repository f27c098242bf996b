import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// A titled group of form rows on a rounded card, as in a grouped form.
ColumnLayout {
    id: section

    required property string title
    default property alias rows: rowColumn.data

    spacing: 4

    Label {
        text: section.title
        font.pixelSize: 11
        font.bold: true
        color: Theme.secondary
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: rowColumn.implicitHeight + 2 * rowColumn.anchors.margins
        radius: 8
        color: Theme.withOpacity(Theme.controlBackground, 0.6)
        border.width: 1
        border.color: Theme.borderSubtle

        ColumnLayout {
            id: rowColumn
            anchors.fill: parent
            anchors.leftMargin: 8
            anchors.rightMargin: 8
            anchors.margins: 6
            spacing: 2
        }
    }
}
