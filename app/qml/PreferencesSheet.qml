import QtQuick
import QtQuick.Controls
import Qt.labs.platform as Platform
import QtQuick.Layouts
import Tonbrook

// The preferences sheet: every control writes straight into the queue; "Done" only closes.
// All three sections fit the frame without scrolling, with either output choice; the
// scroller only matters for very large fonts.
Popup {
    id: sheet

    required property ConversionQueue queue
    required property QueueView queueView

    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: 480
    height: 452
    padding: 16
    closePolicy: Popup.CloseOnEscape

    // Rows a little tighter than elsewhere, so that the three sections fit the frame.
    readonly property int rowHeight: 26

    background: Rectangle {
        radius: 10
        color: Theme.windowBackground
        border.width: 1
        border.color: Theme.borderSubtle
    }

    // Return presses "Done", the sheet's default action.
    Shortcut {
        sequences: ["Return", "Enter"]
        enabled: sheet.opened
        onActivated: sheet.close()
    }

    Platform.FolderDialog {
        id: folderDialog
        objectName: "outputFolderDialog"
        title: qsTr("Choose Output Folder")
        onAccepted: sheet.queue.customOutputFolder = folder
    }

    contentItem: ColumnLayout {
        spacing: 10

        RowLayout {
            Layout.fillWidth: true

            Label {
                text: qsTr("Tonbrook Preferences")
                font.pixelSize: 13
                font.bold: true
                color: Theme.primaryText
            }
            Item {
                Layout.fillWidth: true
            }
            Button {
                objectName: "doneButton"
                text: qsTr("Done")
                highlighted: true
                onClicked: sheet.close()
            }
        }
        ScrollView {
            id: scroller
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true

            ColumnLayout {
                objectName: "sections"
                width: scroller.availableWidth
                spacing: 8

                FormSection {
                    Layout.fillWidth: true
                    title: qsTr("Default Audio Settings")

                    FormRow {
                        label: qsTr("Default Bitrate")
                        ComboBox {
                            objectName: "defaultBitratePicker"
                            implicitWidth: 230
                            implicitHeight: sheet.rowHeight
                            model: Options.bitrateNames
                            currentIndex: sheet.queueView.defaultBitrateIndex
                            onActivated: index => sheet.queueView.defaultBitrateIndex = index
                        }
                    }
                    FormRow {
                        label: qsTr("Default Sample Rate")
                        ComboBox {
                            objectName: "defaultSampleRatePicker"
                            implicitWidth: 230
                            implicitHeight: sheet.rowHeight
                            model: Options.sampleRateNames
                            currentIndex: sheet.queueView.defaultSampleRateIndex
                            onActivated: index => sheet.queueView.defaultSampleRateIndex = index
                        }
                    }
                    FormRow {
                        label: qsTr("Normalize Peak Volume by Default")
                        Switch {
                            objectName: "normalizeSwitch"
                            checked: sheet.queueView.defaultNormalizePeak
                            onToggled: sheet.queueView.defaultNormalizePeak = checked
                        }
                    }
                    FormRow {
                        label: qsTr("Default Loudness")
                        ComboBox {
                            objectName: "defaultLoudnessPicker"
                            implicitWidth: 230
                            implicitHeight: sheet.rowHeight
                            model: Options.loudnessNames
                            currentIndex: sheet.queueView.defaultLoudnessIndex
                            onActivated: index => sheet.queueView.defaultLoudnessIndex = index
                        }
                    }
                    FormRow {
                        label: qsTr("Embed Video Poster Frame by Default")
                        Switch {
                            objectName: "embedArtSwitch"
                            checked: sheet.queueView.defaultEmbedCoverArt
                            onToggled: sheet.queueView.defaultEmbedCoverArt = checked
                        }
                    }
                }

                FormSection {
                    Layout.fillWidth: true
                    title: qsTr("Output Destination")

                    // The folder sits beside its choice, so either choice takes two rows.
                    GridLayout {
                        Layout.fillWidth: true
                        columns: 2
                        columnSpacing: 8
                        rowSpacing: 0

                        Label {
                            text: qsTr("Save Files To")
                            color: Theme.primaryText
                        }
                        RadioButton {
                            objectName: "sourceDirectoryChoice"
                            text: qsTr("Same Directory as Source Video")
                            checked: sheet.queue.useSourceDirectory
                            onClicked: sheet.queue.useSourceDirectory = true
                        }
                        Item {
                            implicitWidth: 1
                        }
                        RowLayout {
                            Layout.fillWidth: true
                            spacing: 4

                            RadioButton {
                                objectName: "customDirectoryChoice"
                                text: qsTr("Custom Output Directory")
                                checked: !sheet.queue.useSourceDirectory
                                onClicked: sheet.queue.useSourceDirectory = false
                            }
                            RowLayout {
                                objectName: "folderRow"
                                visible: !sheet.queue.useSourceDirectory
                                Layout.fillWidth: true
                                spacing: 6

                                Label {
                                    objectName: "outputFolderLabel"
                                    Layout.fillWidth: true
                                    text: sheet.queueView.outputFolderText
                                    font.pixelSize: 11
                                    color: Theme.secondary
                                    elide: Text.ElideMiddle
                                    maximumLineCount: 1
                                    wrapMode: Text.NoWrap
                                    ToolTip.visible: folderHover.hovered && truncated
                                    ToolTip.text: text
                                    HoverHandler {
                                        id: folderHover
                                    }
                                }
                                Button {
                                    objectName: "chooseFolderButton"
                                    text: qsTr("Choose...")
                                    font.pixelSize: 11
                                    implicitHeight: sheet.rowHeight - 2
                                    leftPadding: 8
                                    rightPadding: 8
                                    onClicked: folderDialog.open()
                                }
                            }
                        }
                    }
                }

                FormSection {
                    Layout.fillWidth: true
                    title: qsTr("Performance & Notifications")

                    FormRow {
                        label: qsTr("Concurrent Conversions")
                        ComboBox {
                            objectName: "concurrencyPicker"
                            implicitWidth: 160
                            implicitHeight: sheet.rowHeight
                            model: sheet.queueView.concurrencyNames
                            currentIndex: sheet.queueView.concurrencyIndex
                            onActivated: index => sheet.queueView.concurrencyIndex = index
                        }
                    }
                    FormRow {
                        label: qsTr("Play Completion Sound")
                        Switch {
                            objectName: "soundSwitch"
                            checked: sheet.queue.playSoundOnFinish
                            onToggled: sheet.queue.playSoundOnFinish = checked
                        }
                    }
                    FormRow {
                        label: qsTr("Send Desktop Notification when Batch Finishes")
                        Switch {
                            objectName: "notificationSwitch"
                            checked: sheet.queue.sendNotificationOnFinish
                            onToggled: sheet.queue.sendNotificationOnFinish = checked
                        }
                    }
                }
            }
        }
    }
}
