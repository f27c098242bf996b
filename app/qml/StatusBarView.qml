import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// The strip below the job list: batch progress, where files go, and the counts.
Rectangle {
    id: bar

    required property ConversionQueue queue
    required property QueueView queueView

    implicitHeight: column.implicitHeight + 16
    color: Theme.withOpacity(Theme.controlBackground, 0.8)

    Divider {
        anchors.top: parent.top
        width: parent.width
    }

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.topMargin: 8
        anchors.bottomMargin: 8
        spacing: 6

        ThinProgressBar {
            objectName: "batchProgress"
            visible: bar.queue.isProcessing
            Layout.fillWidth: true
            value: bar.queue.overallProgress
        }
        RowLayout {
            spacing: 12

            RowLayout {
                spacing: 4
                SymbolIcon {
                    symbol: "folder"
                    size: 11
                    color: Theme.secondary
                }
                Label {
                    objectName: "saveToLabel"
                    text: bar.queueView.saveToText
                    font.pixelSize: 11
                    color: Theme.secondary
                }
            }
            RowLayout {
                objectName: "completedGroup"
                visible: bar.queue.completedCount >= 1
                spacing: 4
                SymbolIcon {
                    symbol: "checkmark.circle.fill"
                    size: 11
                    color: Theme.green
                }
                Label {
                    objectName: "completedLabel"
                    text: bar.queueView.completedText
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    color: Theme.secondary
                }
            }
            RowLayout {
                objectName: "extractingGroup"
                visible: bar.queue.activeCount >= 1
                spacing: 4
                BusyIndicator {
                    running: parent.visible
                    implicitWidth: 14
                    implicitHeight: 14
                    padding: 0
                }
                Label {
                    objectName: "extractingLabel"
                    text: bar.queueView.extractingText
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    color: Theme.secondary
                }
            }
            Item {
                Layout.fillWidth: true
            }
        }
    }
}
