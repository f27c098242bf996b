import QtQuick
import QtQuick.Controls
import Tonbrook

// A small capsule naming a format, shown exactly as given.
Item {
    id: badge

    required property string name

    implicitWidth: label.implicitWidth + 16
    implicitHeight: label.implicitHeight + 8

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: Theme.withOpacity(Theme.controlBackground, 0.8)
    }
    Label {
        id: label
        anchors.centerIn: parent
        text: badge.name
        font.pixelSize: 11
        font.weight: Font.DemiBold
        font.family: Theme.monospaceFamily
        color: Theme.secondary
    }
    // A centred 1-point stroke: half outside the capsule.
    Rectangle {
        anchors.fill: parent
        anchors.margins: -border.width / 2
        radius: height / 2
        color: "transparent"
        border.width: 1
        border.color: Theme.borderSubtle
    }
}
