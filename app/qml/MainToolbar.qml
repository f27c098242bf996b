import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// The window's toolbar: add, default bitrate, clear, stop or extract, preferences.
ToolBar {
    id: toolbar

    required property ConversionQueue queue
    required property QueueView queueView

    signal addRequested()
    signal preferencesRequested()

    leftPadding: 12
    rightPadding: 12
    topPadding: 6
    bottomPadding: 6

    background: Rectangle {
        color: Theme.windowBackground

        Divider {
            anchors.bottom: parent.bottom
            width: parent.width
        }
    }

    RowLayout {
        anchors.fill: parent
        spacing: 8

        Label {
            text: "Tonbrook"
            font.pixelSize: 13
            font.bold: true
            color: Theme.primaryText
        }
        Item {
            Layout.fillWidth: true
        }
        ToolbarButton {
            objectName: "addButton"
            text: "Add Videos"
            symbol: "plus"
            helpText: "Add video files (Ctrl+O)"
            onClicked: toolbar.addRequested()
        }
        ComboBox {
            objectName: "bitratePicker"
            Layout.preferredWidth: 90
            model: Options.bitrateShortNames
            currentIndex: toolbar.queueView.defaultBitrateIndex
            onActivated: index => toolbar.queueView.defaultBitrateIndex = index
            Accessible.name: "Default Bitrate"
        }
        ToolbarButton {
            objectName: "clearButton"
            visible: toolbar.queue.completedCount > 0
            text: "Clear Done"
            symbol: "trash"
            helpText: "Clear completed files from list"
            onClicked: toolbar.queue.clearCompleted()
        }
        ToolbarButton {
            objectName: "stopButton"
            visible: toolbar.queue.isProcessing
            text: "Stop"
            symbol: "stop.fill"
            prominent: true
            tint: Theme.red
            helpText: "Cancel remaining batch extractions"
            onClicked: toolbar.queue.cancelAll()
        }
        ToolbarButton {
            objectName: "extractButton"
            visible: !toolbar.queue.isProcessing
            enabled: toolbar.queue.pendingCount > 0
            text: toolbar.queueView.extractTitle
            symbol: "bolt.fill"
            prominent: true
            tint: Theme.batchColor
            helpText: "Extract all ready videos to MP3 (Ctrl+E)"
            onClicked: toolbar.queue.startBatch()
        }
        ToolbarButton {
            objectName: "preferencesButton"
            symbol: "gearshape"
            helpText: "Preferences"
            onClicked: toolbar.preferencesRequested()
        }
    }
}
