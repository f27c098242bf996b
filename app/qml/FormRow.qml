import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// A label on the left and its control on the right.
RowLayout {
    id: formRow

    required property string label
    default property alias control: holder.data

    Layout.fillWidth: true
    spacing: 12

    Label {
        Layout.fillWidth: true
        text: formRow.label
        elide: Text.ElideRight
        color: Theme.primaryText
    }
    Item {
        id: holder
        implicitWidth: childrenRect.width
        implicitHeight: childrenRect.height
    }
}
