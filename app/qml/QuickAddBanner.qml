import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// The strip above the job list that invites more files and counts the queue.
Rectangle {
    id: banner

    required property QueueView queueView

    signal browseRequested()

    implicitHeight: row.implicitHeight + 12
    color: Theme.withOpacity(Theme.controlBackground, 0.4)

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.topMargin: 6
        anchors.bottomMargin: 6
        spacing: 8

        SymbolIcon {
            symbol: "plus.circle.dashed"
            size: 13
            color: Theme.secondary
        }
        Label {
            text: qsTr("Drop more video files here or")
            font.pixelSize: 11
            color: Theme.secondary
        }
        AbstractButton {
            objectName: "browseButton"
            text: qsTr("Browse...")
            focusPolicy: Qt.TabFocus
            opacity: pressed ? 0.6 : 1.0
            contentItem: Label {
                text: qsTr("Browse...")
                font.pixelSize: 11
                font.weight: Font.Medium
                color: Theme.accent
            }
            background: null
            onClicked: banner.browseRequested()
        }
        Item {
            Layout.fillWidth: true
        }
        Label {
            objectName: "fileCountLabel"
            text: banner.queueView.fileCountText
            font.pixelSize: 11
            font.weight: Font.Medium
            color: Theme.secondary
        }
    }
    Divider {
        anchors.bottom: parent.bottom
        width: parent.width
    }
}
