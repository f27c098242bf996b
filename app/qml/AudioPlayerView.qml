import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// A small player for one finished MP3: position, skips, volume, reveal and share.
Control {
    id: root

    required property url audioURL
    required property string title

    // The player behind the controls, for hosts and tests.
    readonly property alias player: player

    padding: 12

    AudioPreviewPlayer {
        id: player
        source: root.audioURL
    }
    Component.onCompleted: player.setupPlayer()
    Component.onDestruction: player.stopPlayer()

    background: Item {
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: Theme.withOpacity(Theme.controlBackground, 0.8)
        }
        Rectangle {
            anchors.fill: parent
            anchors.margins: -border.width / 2
            radius: 10 + border.width / 2
            color: "transparent"
            border.width: 1
            border.color: Theme.borderSubtle
        }
    }

    contentItem: ColumnLayout {
        spacing: 12

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            SymbolIcon {
                symbol: "music.note"
                size: 13
                color: Theme.batchColor
            }
            Label {
                objectName: "playerTitle"
                Layout.fillWidth: true
                text: root.title
                font.pixelSize: 12
                font.weight: Font.DemiBold
                elide: Text.ElideMiddle
                maximumLineCount: 1
            }
            PlainIconButton {
                objectName: "showInFileManagerButton"
                symbol: "folder"
                symbolSize: 12
                helpText: qsTr("Show in File Manager")
                onClicked: DesktopServices.revealFile(root.audioURL)
            }
            PlainIconButton {
                objectName: "shareButton"
                symbol: "square.and.arrow.up"
                symbolSize: 12
                helpText: qsTr("Share MP3")
                onClicked: DesktopServices.shareFile(root.audioURL)
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4

            Slider {
                objectName: "seekSlider"
                Layout.fillWidth: true
                from: 0
                to: player.seekMaximum
                value: player.currentTime
                palette.highlight: Theme.batchColor
                onMoved: player.seek(value)
            }
            RowLayout {
                Layout.fillWidth: true

                Label {
                    objectName: "currentTimeLabel"
                    text: player.currentTimeText
                    font.pixelSize: 10
                    font.family: Theme.monospaceFamily
                    color: Theme.secondary
                }
                Item {
                    Layout.fillWidth: true
                }
                Label {
                    objectName: "durationLabel"
                    text: player.durationText
                    font.pixelSize: 10
                    font.family: Theme.monospaceFamily
                    color: Theme.secondary
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 16

            PlainIconButton {
                objectName: "skipBackButton"
                symbol: "gobackward.10"
                symbolSize: 14
                helpText: qsTr("Back 10 Seconds")
                onClicked: player.skipBackward()
            }
            PlainIconButton {
                objectName: "playButton"
                symbol: player.isPlaying ? "pause.circle.fill" : "play.circle.fill"
                symbolSize: 32
                symbolGradient: Theme.primaryGradient
                enabled: player.hasOutputDevice
                opacity: enabled ? 1.0 : 0.4
                helpText: enabled ? (player.isPlaying ? qsTr("Pause") : qsTr("Play")) : noDevice.text
                onClicked: player.togglePlay()
            }
            PlainIconButton {
                objectName: "skipForwardButton"
                symbol: "goforward.10"
                symbolSize: 14
                helpText: qsTr("Forward 10 Seconds")
                onClicked: player.skipForward()
            }
            Item {
                Layout.fillWidth: true
            }
            RowLayout {
                spacing: 6

                SymbolIcon {
                    objectName: "volumeIcon"
                    symbol: player.volume === 0 ? "speaker.slash.fill" : "speaker.wave.2.fill"
                    size: 11
                    color: Theme.secondary
                }
                Slider {
                    objectName: "volumeSlider"
                    Layout.preferredWidth: 70
                    from: 0
                    to: 1
                    value: player.volume
                    palette.highlight: Theme.secondary
                    onMoved: player.volume = value
                }
            }
        }
        Caption {
            id: noDevice
            objectName: "noDeviceLabel"
            Layout.fillWidth: true
            visible: !player.hasOutputDevice
            text: qsTr("No audio output device")
            wrapMode: Text.Wrap
        }
    }
}
