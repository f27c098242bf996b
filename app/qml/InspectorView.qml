import QtQuick
import QtQuick.Controls
import Qt.labs.platform as Platform
import QtQuick.Layouts
import Tonbrook

// The right-hand panel: the selected job's source, its own settings and tags, edited in place,
// and the player once the job is done.
ScrollView {
    id: inspector

    required property ConversionJob job

    // The job as the panel reads and edits it, for hosts and tests.
    readonly property alias jobView: view

    // Commits typed trim values into this job by the fields' own rules; called before the
    // selection moves on and the panel is rebuilt for another job.
    function commitPendingEdits() {
        trimStartField.commitPending()
        trimEndField.commitPending()
    }

    // Plays or pauses the finished MP3; false when the job has no player.
    function togglePlayback() {
        if (!playerLoader.item)
            return false
        playerLoader.item.player.togglePlay()
        return true
    }

    // Opens the image chooser; a confirmed file's bytes become the job's cover art.
    function chooseCustomArtwork() {
        artDialog.open()
    }

    implicitWidth: 320
    SplitView.minimumWidth: 280
    SplitView.maximumWidth: 380
    contentWidth: availableWidth
    ScrollBar.vertical.policy: ScrollBar.AlwaysOn
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

    background: Rectangle {
        color: Theme.withOpacity(Theme.windowBackground, 0.6)
    }

    JobView {
        id: view
        job: inspector.job
    }

    Platform.FileDialog {
        id: artDialog
        title: qsTr("Choose Custom Art")
        fileMode: Platform.FileDialog.OpenFile
        nameFilters: [qsTr("Images (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.tif *.tiff *.heic *.heif)")]
        onAccepted: view.loadCoverArt(file)
    }

    Item {
        implicitWidth: inspector.availableWidth
        implicitHeight: content.implicitHeight + 32

        ColumnLayout {
            id: content
            x: 16
            y: 16
            width: parent.width - 32
            spacing: 18

            Loader {
                id: playerLoader
                objectName: "playerLoader"
                active: view.status === JobView.Completed
                visible: active
                Layout.fillWidth: true
                Layout.bottomMargin: 4
                sourceComponent: AudioPlayerView {
                    audioURL: view.completedOutputURL
                    title: view.playerTitle
                }
            }
            Label {
                objectName: "resultNote"
                visible: view.status === JobView.Completed && text !== ""
                Layout.fillWidth: true
                Layout.topMargin: -12
                text: view.resultNote
                font.pixelSize: 11
                color: Theme.secondary
                wrapMode: Text.WordWrap
            }
            Label {
                objectName: "failureReason"
                visible: text !== ""
                Layout.fillWidth: true
                text: view.failureReason
                font.pixelSize: 11
                color: Theme.red
                wrapMode: Text.WordWrap
            }

            GlassCard {
                objectName: "headerCard"
                Layout.fillWidth: true
                cornerRadius: 10
                isSelected: false
                padding: 10

                contentItem: RowLayout {
                    spacing: 12

                    RoundedImage {
                        objectName: "headerThumbnail"
                        visible: view.hasThumbnail
                        Layout.preferredWidth: 100
                        Layout.preferredHeight: 70
                        radius: 8
                        image: view.thumbnail
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4

                        Label {
                            objectName: "headerFileName"
                            Layout.fillWidth: true
                            text: view.fileName
                            font.pixelSize: 13
                            font.bold: true
                            wrapMode: Text.WrapAtWordBoundaryOrAnywhere
                            maximumLineCount: 2
                            elide: Text.ElideRight
                        }
                        Label {
                            objectName: "headerFacts"
                            visible: view.hasFileInfo
                            text: view.headerFactsText
                            font.pixelSize: 11
                            color: Theme.secondary
                        }
                        Label {
                            objectName: "headerCodec"
                            visible: view.codecText !== ""
                            text: view.codecText
                            font.pixelSize: 10
                            color: Theme.secondary
                        }
                    }
                }
            }

            Divider {
                Layout.fillWidth: true
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 12

                SectionHeading {
                    symbol: "slider.horizontal.3"
                    label: qsTr("Audio Settings")
                }
                ColumnLayout {
                    objectName: "trackPicker"
                    visible: view.hasTrackChoice
                    Layout.fillWidth: true
                    spacing: 4

                    Caption {
                        text: qsTr("Audio Track")
                    }
                    ComboBox {
                        objectName: "trackCombo"
                        Layout.fillWidth: true
                        Accessible.name: qsTr("Audio Track")
                        model: view.audioTrackNames
                        currentIndex: view.selectedTrackPosition
                        onActivated: (index) => view.selectedTrackPosition = index
                    }
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 4

                    Caption {
                        text: qsTr("MP3 Bitrate")
                    }
                    ComboBox {
                        objectName: "bitrateCombo"
                        Layout.fillWidth: true
                        Accessible.name: qsTr("Bitrate")
                        model: Options.bitrateNames
                        currentIndex: view.bitrateIndex
                        onActivated: (index) => view.bitrateIndex = index
                    }
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 12

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4

                        Caption {
                            text: qsTr("Sample Rate")
                        }
                        ComboBox {
                            objectName: "sampleRateCombo"
                            Layout.fillWidth: true
                            Accessible.name: qsTr("Sample Rate")
                            model: Options.sampleRateNames
                            currentIndex: view.sampleRateIndex
                            onActivated: (index) => view.sampleRateIndex = index
                        }
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4

                        Caption {
                            text: qsTr("Channels")
                        }
                        ComboBox {
                            objectName: "channelsCombo"
                            Layout.fillWidth: true
                            Accessible.name: qsTr("Channels")
                            model: Options.channelNames
                            currentIndex: view.channelsIndex
                            onActivated: (index) => view.channelsIndex = index
                        }
                    }
                }
            }

            Divider {
                Layout.fillWidth: true
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 12

                SectionHeading {
                    symbol: "scissors"
                    label: qsTr("Trimming & Audio Effects")
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 6

                    RowLayout {
                        Layout.fillWidth: true

                        Caption {
                            text: qsTr("Trim Audio Range (Seconds)")
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        AbstractButton {
                            objectName: "resetTrimButton"
                            visible: view.hasTrim
                            text: qsTr("Reset")
                            padding: 0
                            contentItem: Label {
                                text: qsTr("Reset")
                                font.pixelSize: 10
                                color: Theme.accent
                            }
                            onClicked: view.resetTrim()
                        }
                    }
                    WaveformEditor {
                        id: waveformEditor
                        objectName: "waveformEditor"
                        visible: view.hasFileInfo
                        Layout.fillWidth: true
                        Layout.bottomMargin: 4
                        view: view
                    }
                    RowLayout {
                        spacing: 10

                        Label {
                            text: qsTr("Start:")
                            font.pixelSize: 11
                            color: Theme.secondary
                        }
                        CommitField {
                            id: trimStartField
                            objectName: "trimStartField"
                            Layout.preferredWidth: 65
                            value: view.trimStartText
                            placeholderText: "0.0"
                            onCommitted: (text) => view.commitTrimStart(text)
                        }
                        Label {
                            text: qsTr("End:")
                            font.pixelSize: 11
                            color: Theme.secondary
                        }
                        CommitField {
                            id: trimEndField
                            objectName: "trimEndField"
                            Layout.preferredWidth: 65
                            value: view.trimEndText
                            placeholderText: view.trimEndPlaceholder
                            onCommitted: (text) => view.commitTrimEnd(text)
                        }
                    }
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 10

                    Caption {
                        text: qsTr("Loudness")
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                    ComboBox {
                        objectName: "loudnessPicker"
                        Layout.preferredWidth: 120
                        model: Options.loudnessNames
                        currentIndex: view.loudnessIndex
                        onActivated: index => view.loudnessIndex = index
                        Accessible.name: qsTr("Loudness")
                    }
                }
                CheckBox {
                    objectName: "limiterCheckBox"
                    Layout.fillWidth: true
                    Layout.topMargin: -8
                    text: qsTr("Limit Peaks to Reach the Target")
                    font.pixelSize: 12
                    enabled: view.loudnessIndex !== 0
                    checked: view.loudnessLimiter
                    onToggled: view.loudnessLimiter = checked
                }
                CheckBox {
                    id: normalizeBox
                    objectName: "normalizeCheckBox"
                    Layout.fillWidth: true
                    text: qsTr("Peak Volume Normalization")
                    // Loudness normalisation takes its place while a target is set.
                    enabled: view.loudnessIndex === 0
                    checked: view.normalizePeak
                    onToggled: view.normalizePeak = checked
                    contentItem: ColumnLayout {
                        spacing: 1

                        Label {
                            leftPadding: normalizeBox.indicator.width + normalizeBox.spacing
                            text: qsTr("Peak Volume Normalization")
                            font.pixelSize: 12
                            font.weight: Font.Medium
                        }
                        Label {
                            Layout.fillWidth: true
                            leftPadding: normalizeBox.indicator.width + normalizeBox.spacing
                            objectName: "normalizeNote"
                            text: normalizeBox.enabled
                                  ? qsTr("Maximizes volume without clipping or distortion")
                                  : qsTr("Loudness normalization is on and takes its place")
                            font.pixelSize: 10
                            color: Theme.secondary
                            wrapMode: Text.WordWrap
                        }
                    }
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 16

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4

                        Label {
                            objectName: "fadeInLabel"
                            text: view.fadeInText
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            color: Theme.secondary
                        }
                        Slider {
                            objectName: "fadeInSlider"
                            Layout.fillWidth: true
                            from: 0
                            to: 5
                            stepSize: 0.5
                            snapMode: Slider.SnapAlways
                            value: view.fadeInDuration
                            palette.highlight: Theme.batchColor
                            onMoved: view.fadeInDuration = value
                        }
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4

                        Label {
                            objectName: "fadeOutLabel"
                            text: view.fadeOutText
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            color: Theme.secondary
                        }
                        Slider {
                            objectName: "fadeOutSlider"
                            Layout.fillWidth: true
                            from: 0
                            to: 5
                            stepSize: 0.5
                            snapMode: Slider.SnapAlways
                            value: view.fadeOutDuration
                            palette.highlight: Theme.batchColor
                            onMoved: view.fadeOutDuration = value
                        }
                    }
                }
            }

            Divider {
                Layout.fillWidth: true
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 12

                // The switch moves under the heading when both do not fit beside each other,
                // so the heading is never cut.
                GridLayout {
                    Layout.fillWidth: true
                    columns: tagsHeading.implicitWidth + embedSwitch.implicitWidth
                             + columnSpacing <= width ? 2 : 1
                    columnSpacing: 12
                    rowSpacing: 4

                    SectionHeading {
                        id: tagsHeading
                        objectName: "tagsHeading"
                        Layout.fillWidth: true
                        symbol: "tag.fill"
                        label: qsTr("ID3 Tags & Cover Art")
                    }
                    Switch {
                        id: embedSwitch
                        objectName: "embedCoverArtSwitch"
                        text: qsTr("Embed Cover Art")
                        font.pixelSize: 11
                        checked: view.embedCoverArt
                        onToggled: view.embedCoverArt = checked
                    }
                }
                RowLayout {
                    objectName: "artRow"
                    visible: view.embedCoverArt
                    spacing: 12

                    Item {
                        Layout.preferredWidth: 60
                        Layout.preferredHeight: 60

                        RoundedImage {
                            objectName: "coverArtImage"
                            visible: view.hasCoverArtImage
                            anchors.fill: parent
                            radius: 6
                            image: view.coverArtImage
                            borderColor: Theme.borderSubtle
                            borderWidth: 1
                        }
                        Rectangle {
                            objectName: "coverArtPlaceholder"
                            visible: !view.hasCoverArtImage
                            anchors.fill: parent
                            radius: 6
                            color: Theme.withOpacity(Theme.secondary, 0.1)

                            SymbolIcon {
                                anchors.centerIn: parent
                                symbol: "photo"
                                size: 20
                                color: Theme.secondary
                            }
                        }
                    }
                    ColumnLayout {
                        spacing: 4

                        Label {
                            text: qsTr("Video Poster Frame")
                            font.pixelSize: 11
                            font.weight: Font.Medium
                        }
                        Button {
                            objectName: "chooseArtButton"
                            text: qsTr("Choose Custom Art...")
                            font.pixelSize: 11
                            padding: 4
                            leftPadding: 8
                            rightPadding: 8
                            onClicked: inspector.chooseCustomArtwork()
                        }
                    }
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 8

                    RowLayout {
                        Layout.fillWidth: true

                        Caption {
                            Layout.preferredWidth: 50
                            text: qsTr("Title")
                        }
                        TextField {
                            objectName: "titleField"
                            Layout.fillWidth: true
                            placeholderText: qsTr("Song / Track Title")
                            text: view.title
                            onTextEdited: view.title = text
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true

                        Caption {
                            Layout.preferredWidth: 50
                            text: qsTr("Artist")
                        }
                        TextField {
                            objectName: "artistField"
                            Layout.fillWidth: true
                            placeholderText: qsTr("Artist / Creator")
                            text: view.artist
                            onTextEdited: view.artist = text
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true

                        Caption {
                            Layout.preferredWidth: 50
                            text: qsTr("Album")
                        }
                        TextField {
                            objectName: "albumField"
                            Layout.fillWidth: true
                            placeholderText: qsTr("Album Name")
                            text: view.album
                            onTextEdited: view.album = text
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 12

                        RowLayout {
                            Caption {
                                Layout.preferredWidth: 50
                                text: qsTr("Year")
                            }
                            TextField {
                                objectName: "yearField"
                                Layout.preferredWidth: 70
                                placeholderText: qsTr("Year")
                                text: view.year
                                onTextEdited: view.year = text
                            }
                        }
                        RowLayout {
                            Layout.fillWidth: true

                            Caption {
                                text: qsTr("Genre")
                            }
                            TextField {
                                objectName: "genreField"
                                Layout.fillWidth: true
                                placeholderText: qsTr("Genre")
                                text: view.genre
                                onTextEdited: view.genre = text
                            }
                        }
                    }
                }
            }
        }
    }
}
