import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// The window's one header: add, default bitrate, clear, stop or extract, preferences, and the
// application menu at its end. The menu's commands and their shortcuts live here, so every
// shortcut works wherever the focus is in the window.
ToolBar {
    id: toolbar

    required property ConversionQueue queue
    required property QueueView queueView

    signal addRequested()
    signal preferencesRequested()

    readonly property Menu menu: appMenu
    readonly property bool canExtract: !queue.isProcessing && queue.pendingCount > 0

    Shortcut {
        id: openShortcut
        sequence: "Ctrl+O"
        onActivated: ShellNotices.postOpenVideoFiles()
    }
    Shortcut {
        id: extractShortcut
        sequence: "Ctrl+E"
        enabled: toolbar.canExtract
        onActivated: toolbar.queue.startBatch()
    }
    Shortcut {
        id: preferencesShortcut
        sequence: "Ctrl+,"
        onActivated: toolbar.preferencesRequested()
    }
    Shortcut {
        id: quitShortcut
        sequence: "Ctrl+Q"
        onActivated: toolbar.Window.window.close()
    }

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
            text: qsTr("Add Videos")
            symbol: "plus"
            helpText: qsTr("Add video files (%1)").arg(openShortcut.nativeText)
            onClicked: toolbar.addRequested()
        }
        ComboBox {
            objectName: "bitratePicker"
            Layout.preferredWidth: 90
            model: Options.bitrateShortNames
            currentIndex: toolbar.queueView.defaultBitrateIndex
            onActivated: index => toolbar.queueView.defaultBitrateIndex = index
            Accessible.name: qsTr("Default Bitrate")
        }
        ToolbarButton {
            objectName: "clearButton"
            visible: toolbar.queue.completedCount > 0
            text: qsTr("Clear Done")
            symbol: "trash"
            helpText: qsTr("Clear completed files from list")
            onClicked: toolbar.queue.clearCompleted()
        }
        ToolbarButton {
            objectName: "stopButton"
            visible: toolbar.queue.isProcessing
            text: qsTr("Stop")
            symbol: "stop.fill"
            prominent: true
            tint: Theme.red
            helpText: qsTr("Cancel remaining batch extractions")
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
            helpText: qsTr("Extract all ready videos to MP3 (%1)").arg(extractShortcut.nativeText)
            onClicked: toolbar.queue.startBatch()
        }
        ToolbarButton {
            objectName: "preferencesButton"
            symbol: "gearshape"
            helpText: qsTr("Preferences (%1)").arg(preferencesShortcut.nativeText)
            Accessible.name: qsTr("Preferences")
            onClicked: toolbar.preferencesRequested()
        }
        ToolbarButton {
            id: menuButton
            objectName: "menuButton"
            symbol: "line.3.horizontal"
            helpText: qsTr("Menu")
            checked: appMenu.visible
            onClicked: appMenu.visible ? appMenu.close() : appMenu.open()

            Menu {
                id: appMenu
                objectName: "appMenu"
                y: menuButton.height + 4
                x: menuButton.width - width
                // A press on the button itself is left to the button, which closes the menu.
                closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent

                MenuCommand {
                    objectName: "openVideosItem"
                    text: qsTr("Open Videos...")
                    shortcut: openShortcut
                    onTriggered: ShellNotices.postOpenVideoFiles()
                }
                MenuCommand {
                    objectName: "extractItem"
                    text: toolbar.queueView.extractTitle
                    shortcut: extractShortcut
                    enabled: toolbar.canExtract
                    onTriggered: toolbar.queue.startBatch()
                }
                MenuCommand {
                    objectName: "preferencesItem"
                    text: qsTr("Preferences")
                    shortcut: preferencesShortcut
                    onTriggered: toolbar.preferencesRequested()
                }
                MenuSeparator {}
                MenuCommand {
                    objectName: "quitItem"
                    text: qsTr("Quit")
                    shortcut: quitShortcut
                    onTriggered: toolbar.Window.window.close()
                }
            }
        }
    }
}
