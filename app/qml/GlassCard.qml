import QtQuick
import QtQuick.Controls
import Tonbrook

// The card style: translucent fill, a border over the content and a soft shadow. Give the
// content as contentItem and the inner spacing as padding.
Control {
    id: card

    required property real cornerRadius
    required property bool isSelected

    background: Item {
        SoftShadow {
            anchors.fill: parent
            anchors.margins: -spread
            radius: card.cornerRadius
            color: card.isSelected ? Theme.withOpacity(Theme.blue, 0.15) : Qt.rgba(0, 0, 0, 0.04)
            blur: card.isSelected ? 8 : 4
            offsetY: 2
        }
        Rectangle {
            anchors.fill: parent
            radius: card.cornerRadius
            color: Theme.cardBackground
        }
    }

    // Above the content, centred on the outline.
    Rectangle {
        objectName: "cardBorder"
        z: 2
        anchors.fill: parent
        anchors.margins: -border.width / 2
        radius: card.cornerRadius + border.width / 2
        color: "transparent"
        border.width: card.isSelected ? 1.5 : 1
        border.color: card.isSelected ? Theme.activeBorder : Theme.borderSubtle
    }
}
