import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Every control of the app's style, one row each in its normal, hovered, focused and disabled
// states, and below them the popups and the passive controls. screenshot_main.cpp points at
// the cells named "hovered" and "focused" and pastes each one's own picture into the grid.
Pane {
    id: gallery

    // Set once the state cells are captured: the popups would cover them.
    property bool popupsShown: false

    width: 860
    height: 720
    padding: 16
    // Offscreen platforms report no hover effects; the gallery shows them anyway.
    hoverEnabled: true

    component StateCell: Item {
        id: cell
        required property int index
        readonly property int column: index
        default property alias content: holder.data
        objectName: ["normal", "hovered", "focused", "disabled"][column]
        Layout.preferredWidth: 170
        Layout.preferredHeight: 36
        enabled: column !== 3

        Item {
            id: holder
            anchors.fill: parent
            anchors.margins: 4
        }
    }

    component RowTitle: Label {
        Layout.preferredWidth: 120
        color: palette.placeholderText
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 12

        GridLayout {
            columns: 5
            rowSpacing: 2
            columnSpacing: 8

            Item { Layout.preferredWidth: 120; Layout.preferredHeight: 1 }
            Repeater {
                model: ["Normal", "Hovered", "Focused", "Disabled"]
                Label {
                    required property string modelData
                    Layout.preferredWidth: 170
                    leftPadding: 4
                    text: modelData
                    font.bold: true
                }
            }

            RowTitle { text: "Button" }
            Repeater {
                model: 4
                StateCell {
                    Button { text: "Add Files…"; anchors.verticalCenter: parent.verticalCenter }
                }
            }

            RowTitle { text: "Default button" }
            Repeater {
                model: 4
                StateCell {
                    Button {
                        text: "Done"
                        highlighted: true
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }

            RowTitle { text: "Combo box" }
            Repeater {
                model: 4
                StateCell {
                    ComboBox {
                        width: parent.width
                        anchors.verticalCenter: parent.verticalCenter
                        model: ["192 kbps", "256 kbps", "320 kbps"]
                    }
                }
            }

            RowTitle { text: "Text field" }
            Repeater {
                model: 4
                StateCell {
                    TextField {
                        width: parent.width
                        anchors.verticalCenter: parent.verticalCenter
                        placeholderText: "Title"
                        text: column === 0 ? "" : "Harbour Lights"
                    }
                }
            }

            RowTitle { text: "Switch" }
            Repeater {
                model: 4
                StateCell {
                    Switch {
                        text: "Embed cover"
                        checked: column % 2 === 0
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }

            RowTitle { text: "Check box" }
            Repeater {
                model: 4
                StateCell {
                    CheckBox {
                        text: "Keep folder"
                        checked: column % 2 === 1
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }

            RowTitle { text: "Radio button" }
            Repeater {
                model: 4
                StateCell {
                    RadioButton {
                        text: "Same folder"
                        checked: column % 2 === 0
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }

            RowTitle { text: "Slider" }
            Repeater {
                model: 4
                StateCell {
                    Slider {
                        width: parent.width
                        anchors.verticalCenter: parent.verticalCenter
                        value: 0.4
                    }
                }
            }

            RowTitle { text: "Item delegate" }
            Repeater {
                model: 4
                StateCell {
                    ItemDelegate {
                        width: parent.width
                        anchors.verticalCenter: parent.verticalCenter
                        text: "interview-take-3.mov"
                    }
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: palette.mid
        }

        RowLayout {
            spacing: 24
            Layout.alignment: Qt.AlignTop

            ColumnLayout {
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 200
                spacing: 10

                Label { text: "Progress and busy"; font.bold: true }
                ProgressBar { Layout.fillWidth: true; value: 0.62 }
                ProgressBar { Layout.fillWidth: true; value: 0.3; enabled: false }
                RowLayout {
                    BusyIndicator { running: true }
                    BusyIndicator { running: true; enabled: false }
                }

                Label { text: "Scroll view"; font.bold: true }
                ScrollView {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 80
                    ScrollBar.vertical.policy: ScrollBar.AlwaysOn
                    clip: true
                    Column {
                        Repeater {
                            model: 12
                            Label { required property int index; text: "Line " + (index + 1) }
                        }
                    }
                }
            }

            ColumnLayout {
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 230
                spacing: 10

                Label { text: "Tool bar and split view"; font.bold: true }
                ToolBar {
                    Layout.fillWidth: true
                    RowLayout {
                        anchors.fill: parent
                        ToolButton { text: "Add" }
                        ToolButton { text: "Clear"; checkable: true; checked: true }
                        Item { Layout.fillWidth: true }
                    }
                }
                SplitView {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 70
                    Rectangle { SplitView.preferredWidth: 110; color: palette.base }
                    Rectangle { color: palette.alternateBase }
                }

                Label { text: "Tool tip"; font.bold: true }
                Item {
                    Layout.preferredWidth: 200
                    Layout.preferredHeight: 60
                    Label {
                        id: tipAnchor
                        anchors.bottom: parent.bottom
                        text: "Pointer here"
                    }
                    ToolTip {
                        parent: tipAnchor
                        visible: gallery.popupsShown
                        text: "Extract the audio of every ready file"
                        closePolicy: Popup.NoAutoClose
                        x: 0
                    }
                }
            }

            ColumnLayout {
                Layout.alignment: Qt.AlignTop
                spacing: 10

                Label { text: "Menu, combo list and popup"; font.bold: true }
                Item {
                    Layout.preferredWidth: 320
                    Layout.preferredHeight: 240

                    Menu {
                        id: menu
                        x: 0
                        y: 0
                        visible: gallery.popupsShown
                        closePolicy: Popup.NoAutoClose
                        currentIndex: 1
                        MenuItem { text: "Add Files…" }
                        MenuItem { text: "Add Folder…" }
                        MenuItem { text: "Show Inspector"; checkable: true; checked: true }
                        MenuSeparator {}
                        MenuItem { text: "Preferences…" }
                        MenuItem { text: "Quit"; enabled: false }
                    }

                    ComboBox {
                        id: openCombo
                        x: 190
                        y: 0
                        width: 130
                        model: ["128 kbps", "192 kbps", "320 kbps"]
                        currentIndex: 1
                    }
                    Connections {
                        target: gallery
                        function onPopupsShownChanged() {
                            if (gallery.popupsShown) {
                                openCombo.popup.open()
                            }
                        }
                    }

                    Popup {
                        x: 190
                        y: 130
                        width: 130
                        visible: gallery.popupsShown
                        closePolicy: Popup.NoAutoClose
                        contentItem: Label { text: "A popup"; wrapMode: Text.Wrap }
                    }
                }
            }
        }
    }
}
