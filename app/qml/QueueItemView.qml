import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// One job as a row of the queue list: thumbnail, name and status, facts, progress, actions.
Item {
    id: row

    required property ConversionJob job
    required property bool isSelected

    // The row was clicked; the list decides what selection means.
    signal select()
    // The remove button was pressed; the list removes the job.
    signal remove()

    // Drawn with a keyboard focus ring: the list has focus and this row is its selection.
    property bool showsFocus: false
    // The row's contents are built in the background, a few per frame, rather than at once:
    // while a large drop is coming in, the frame that first shows rows would otherwise build a
    // whole screenful of them. Until they are ready the row shows its card alone.
    property bool buildsLazily: false

    readonly property bool isHovered: hover.hovered

    Accessible.role: Accessible.ListItem
    Accessible.name: view.fileName
    Accessible.selected: row.isSelected
    Accessible.selectable: true
    Accessible.description: view.failureReason

    // A row's height while its contents are being built: that of a row that is not converting.
    readonly property real restingContentHeight: 56

    implicitWidth: (content.item ? content.item.implicitWidth : 0) + 20
    implicitHeight: (content.item ? content.item.implicitHeight : restingContentHeight) + 20

    JobView {
        id: view
        job: row.job
    }

    HoverHandler {
        id: hover
    }
    TapHandler {
        onSingleTapped: row.select()
    }

    Rectangle {
        objectName: "rowFill"
        anchors.fill: parent
        radius: 10
        color: row.isSelected ? Theme.withOpacity(Theme.accent, 0.12)
             : row.isHovered ? Theme.withOpacity(Theme.secondary, 0.06)
             : Theme.withOpacity(Theme.controlBackground, 0.5)
    }
    // A centred stroke around the row.
    Rectangle {
        objectName: "rowBorder"
        anchors.fill: parent
        anchors.margins: -border.width / 2
        radius: 10 + border.width / 2
        color: "transparent"
        border.width: row.isSelected ? 1.5 : 0.8
        border.color: row.isSelected ? Theme.withOpacity(Theme.accent, 0.7) : Theme.borderSubtle
    }
    Rectangle {
        objectName: "rowFocusRing"
        visible: row.showsFocus
        anchors.fill: parent
        anchors.margins: -3
        radius: 13
        color: "transparent"
        border.width: 2
        border.color: Theme.batchColor
    }

    Loader {
        id: content
        objectName: "rowContent"
        anchors.fill: parent
        anchors.margins: 10
        asynchronous: row.buildsLazily
        sourceComponent: Component {
            RowLayout {
                spacing: 14

                Item {
                    objectName: "thumbnailBlock"
                    Layout.preferredWidth: 80
                    Layout.preferredHeight: 56
                    Layout.alignment: Qt.AlignVCenter

                    RoundedImage {
                        objectName: "thumbnail"
                        visible: view.hasThumbnail
                        anchors.fill: parent
                        radius: 8
                        image: view.thumbnail
                    }
                    Rectangle {
                        objectName: "thumbnailPlaceholder"
                        visible: !view.hasThumbnail
                        anchors.fill: parent
                        radius: 8
                        color: Theme.withOpacity(Theme.secondary, 0.15)

                        SymbolIcon {
                            anchors.centerIn: parent
                            symbol: "film"
                            size: 20
                            color: Theme.secondary
                        }
                    }
                    Label {
                        objectName: "durationLabel"
                        visible: view.hasFileInfo
                        anchors.right: parent.right
                        anchors.bottom: parent.bottom
                        anchors.margins: 4
                        leftPadding: 4
                        rightPadding: 4
                        topPadding: 2
                        bottomPadding: 2
                        text: view.durationText
                        font.pixelSize: 9
                        font.bold: true
                        font.family: Theme.monospaceFamily
                        color: "white"
                        background: Rectangle {
                            radius: 4
                            color: Qt.rgba(0, 0, 0, 0.75)
                        }
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignVCenter
                    spacing: 4

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8

                        Label {
                            objectName: "fileNameLabel"
                            Layout.fillWidth: true
                            text: view.fileName
                            font.pixelSize: 13
                            font.weight: Font.DemiBold
                            elide: Text.ElideMiddle
                            maximumLineCount: 1
                        }
                        StatusBadge {
                            objectName: "statusBadge"
                            status: view.status
                            reason: view.failureReason
                        }
                    }

                    RowLayout {
                        objectName: "factsLine"
                        spacing: 8

                        Label {
                            objectName: "fileSizeLabel"
                            visible: view.hasFileInfo
                            text: view.fileSizeText
                            font.pixelSize: 11
                            color: Theme.secondary
                        }
                        Label {
                            objectName: "resolutionBullet"
                            visible: view.resolutionText !== ""
                            text: "•"
                            color: Theme.withOpacity(Theme.secondary, 0.5)
                        }
                        Label {
                            objectName: "resolutionLabel"
                            visible: view.resolutionText !== ""
                            text: view.resolutionText
                            font.pixelSize: 11
                            color: Theme.secondary
                        }
                        Label {
                            objectName: "formatBullet"
                            visible: view.hasFileInfo
                            text: "•"
                            color: Theme.withOpacity(Theme.secondary, 0.5)
                        }
                        Label {
                            objectName: "outputFormatLabel"
                            text: view.outputFormatText
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            font.family: Theme.monospaceFamily
                            color: Theme.accent
                        }
                    }

                    ColumnLayout {
                        objectName: "progressBlock"
                        visible: view.status === JobView.Converting
                        Layout.fillWidth: true
                        Layout.topMargin: 2
                        spacing: 2

                        ThinProgressBar {
                            objectName: "progressBar"
                            Layout.fillWidth: true
                            value: view.statusProgress
                        }
                        RowLayout {
                            Layout.fillWidth: true
                            spacing: 8

                            Label {
                                objectName: "percentLabel"
                                text: view.progressText
                                font.pixelSize: 10
                                font.weight: Font.DemiBold
                                font.family: Theme.monospaceFamily
                                color: Theme.primaryText
                            }
                            Label {
                                objectName: "speedLabel"
                                visible: view.speedText !== ""
                                text: view.speedText
                                font.pixelSize: 10
                                color: Theme.secondary
                            }
                            Item {
                                Layout.fillWidth: true
                            }
                            Label {
                                objectName: "etaLabel"
                                visible: view.statusEta !== ""
                                text: view.statusEta
                                font.pixelSize: 10
                                color: Theme.secondary
                            }
                        }
                    }
                }

                RowLayout {
                    Layout.alignment: Qt.AlignVCenter
                    spacing: 6

                    PlainIconButton {
                        objectName: "extractButton"
                        visible: view.status === JobView.Pending || view.status === JobView.Ready
                                 || view.status === JobView.Cancelled
                        symbol: "play.circle.fill"
                        symbolSize: 20
                        symbolColor: Theme.batchColor
                        helpText: qsTr("Extract this file")
                        onClicked: row.job.startExtraction()
                    }
                    BusyIndicator {
                        objectName: "inspectingSpinner"
                        visible: view.status === JobView.Inspecting
                        running: visible
                        Layout.preferredWidth: 32
                        Layout.preferredHeight: 32
                        scale: 0.6
                    }
                    PlainIconButton {
                        objectName: "cancelButton"
                        visible: view.status === JobView.Converting
                        symbol: "stop.circle.fill"
                        symbolSize: 20
                        symbolColor: Theme.orange
                        helpText: qsTr("Cancel extraction")
                        onClicked: row.job.cancel()
                    }
                    PlainIconButton {
                        objectName: "revealButton"
                        visible: view.status === JobView.Completed
                        symbol: "folder.fill"
                        symbolSize: 16
                        symbolColor: Theme.secondary
                        helpText: qsTr("Reveal MP3 in File Manager")
                        onClicked: DesktopServices.revealFile(view.completedOutputURL)
                    }
                    PlainIconButton {
                        objectName: "retryButton"
                        visible: view.status === JobView.Failed
                        symbol: "arrow.clockwise.circle.fill"
                        symbolSize: 18
                        symbolColor: Theme.red
                        helpText: qsTr("Retry extraction")
                        onClicked: row.job.startExtraction()
                    }
                    PlainIconButton {
                        objectName: "removeButton"
                        symbol: "xmark.circle"
                        symbolSize: 16
                        symbolColor: Theme.withOpacity(Theme.secondary, row.isHovered ? 0.8 : 0.4)
                        helpText: qsTr("Remove from queue")
                        onClicked: row.remove()
                    }
                }
            }
        }
    }
}
