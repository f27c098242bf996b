import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// The empty window: a large drop target with buttons for the file and folder pickers.
Item {
    id: zone

    required property QueueView queueView

    signal browseRequested()
    signal folderRequested()

    readonly property bool isTargeted: drop.containsDrag
    readonly property bool isHovered: hover.hovered

    implicitWidth: content.implicitWidth + 48
    implicitHeight: content.implicitHeight + 48

    HoverHandler {
        id: hover
    }
    DropArea {
        id: drop
        anchors.fill: parent
        onEntered: drag => drag.accepted = zone.queueView.carriesFiles(drag.urls)
        onDropped: event => {
            event.accept(Qt.CopyAction)
            zone.queueView.submitDrop(event.urls)
        }
    }

    Item {
        anchors.fill: parent
        anchors.margins: 24

        Rectangle {
            objectName: "zoneFill"
            anchors.fill: parent
            radius: 16
            color: zone.isTargeted ? Theme.withOpacity(Theme.blue, 0.06) : "transparent"
        }
        DashedBorder {
            objectName: "zoneBorder"
            anchors.fill: parent
            radius: 16
            dash: 8
            gap: 6
            lineWidth: zone.isTargeted ? 3 : 1.5
            gradient: zone.isTargeted ? Theme.primaryGradient : noGradient
            color: Theme.borderSubtle

            // An unset gradient: the border falls back to its plain colour.
            property themeGradient noGradient
        }

        ColumnLayout {
            id: content
            anchors.centerIn: parent
            width: Math.min(parent.width - 48, implicitWidth)
            spacing: 24

            Item {
                objectName: "iconGroup"
                Layout.alignment: Qt.AlignHCenter
                implicitWidth: 140
                implicitHeight: 140
                scale: zone.isTargeted ? 1.15 : zone.isHovered ? 1.05 : 1.0

                Behavior on scale {
                    SpringAnimation {
                        spring: 3.5
                        damping: 0.3
                        epsilon: 0.001
                    }
                }

                GradientFill {
                    anchors.fill: parent
                    radius: width / 2
                    gradient: Theme.primaryGradient
                    opacity: zone.isTargeted ? 0.25 : 0.12
                }
                SymbolIcon {
                    objectName: "dropSymbol"
                    anchors.centerIn: parent
                    symbol: zone.isTargeted ? "arrow.down.circle.fill" : "waveform.and.person.filled"
                    size: 64
                    gradient: Theme.primaryGradient
                }
            }
            Label {
                objectName: "dropTitle"
                Layout.alignment: Qt.AlignHCenter
                text: zone.isTargeted ? qsTr("Drop Videos to Convert") : qsTr("Drag & Drop Video Files")
                font.pixelSize: 22
                font.bold: true
                color: Theme.primaryText
            }
            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 12

                Label {
                    Layout.alignment: Qt.AlignHCenter
                    text: qsTr("Supports MOV, MP4, M4V, MKV, AVI, ProRes, and more.")
                    font.pixelSize: 12
                    color: Theme.secondary
                }
                Row {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 6
                    Repeater {
                        model: ["MOV", "MP4", "M4V", "MKV", "AVI", "ProRes"]
                        FormatBadge {
                            required property string modelData
                            name: modelData
                        }
                    }
                }
            }
            RowLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 12

                DropZoneButton {
                    objectName: "browseFilesButton"
                    text: qsTr("Browse Video Files...")
                    symbol: "plus.circle.fill"
                    prominent: true
                    font.weight: Font.DemiBold
                    horizontalPadding: 16
                    onClicked: zone.browseRequested()
                }
                DropZoneButton {
                    objectName: "addFolderButton"
                    text: qsTr("Add Folder...")
                    symbol: "folder.badge.plus"
                    font.weight: Font.Medium
                    horizontalPadding: 14
                    onClicked: zone.folderRequested()
                }
            }
        }
    }
}
