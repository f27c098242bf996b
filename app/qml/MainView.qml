import QtQuick
import QtQuick.Controls
import Qt.labs.platform as Platform
import QtQuick.Layouts
import Tonbrook

// The window's content over its one queue: the drop zone while the queue is empty, else the
// job list beside the inspector; the toolbar, the preferences sheet and a window-wide drop target.
Item {
    id: root

    required property ConversionQueue queue

    property bool showingSettings: false
    readonly property bool isWindowDropTargeted: windowDrop.containsDrag
    readonly property bool isPickingFiles: filePicker.visible
    readonly property QueueView queueView: intake

    implicitWidth: 960
    implicitHeight: 640

    // A row built once, out of sight and in the background, soon after the window opens: the
    // first row ever built pays for its icons, fonts and scripts, and would otherwise do so in
    // the frame that shows the first files of a drop.
    Component {
        id: warmUpRow
        QueueItemView {}
    }
    Component.onCompleted: {
        const incubator = warmUpRow.incubateObject(null, {job: null, isSelected: false},
                                                   Qt.Asynchronous)
        const done = function(status) {
            if (status === Component.Ready)
                incubator.object.destroy()
        }
        if (incubator.status === Component.Loading)
            incubator.onStatusChanged = done
        else
            done(incubator.status)
    }

    function openFilePicker() {
        filePicker.open()
    }
    function openFolderPicker() {
        folderPicker.open()
    }

    QueueView {
        id: intake
        queue: root.queue
        // Typed values still in the inspector's fields belong to the job being left.
        onSelectionAboutToChange: {
            if (inspectors.count > 0 && inspectors.itemAt(0).item)
                inspectors.itemAt(0).item.commitPendingEdits()
        }
    }

    // The shell's notices: files handed over by the desktop, and the "Open Videos..." command.
    Connections {
        target: ShellNotices
        function onOpenVideoFiles() {
            root.openFilePicker()
        }
        function onOpenFilesFromFileManager(files) {
            intake.submitFiles(files)
        }
    }

    // The desktop's own choosers (desktop_dialogs.h), else QFileDialog widgets.
    Platform.FileDialog {
        id: filePicker
        objectName: "filePicker"
        title: qsTr("Add Videos")
        fileMode: Platform.FileDialog.OpenFiles
        nameFilters: intake.videoNameFilters
        onAccepted: intake.submitFiles(files)
    }
    Platform.FolderDialog {
        id: folderPicker
        objectName: "folderPicker"
        title: qsTr("Add Folder")
        onAccepted: intake.submitFiles([folder])
    }

    onShowingSettingsChanged: showingSettings ? preferences.open() : preferences.close()

    PreferencesSheet {
        id: preferences
        objectName: "preferencesSheet"
        queue: root.queue
        queueView: intake
        onClosed: root.showingSettings = false
    }

    // Behind the content, so the drop zone's own target takes the drags over it.
    DropArea {
        id: windowDrop
        anchors.fill: parent
        onEntered: drag => drag.accepted = intake.carriesFiles(drag.urls)
        onDropped: event => {
            event.accept(Qt.CopyAction)
            intake.submitDrop(event.urls)
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        MainToolbar {
            objectName: "toolbar"
            Layout.fillWidth: true
            queue: root.queue
            queueView: intake
            onAddRequested: root.openFilePicker()
            onPreferencesRequested: root.showingSettings = true
        }

        Loader {
            objectName: "dropZoneLoader"
            Layout.fillWidth: true
            Layout.fillHeight: true
            active: intake.isEmpty
            visible: active
            sourceComponent: DropZoneView {
                objectName: "dropZone"
                queueView: intake
                onBrowseRequested: root.openFilePicker()
                onFolderRequested: root.openFolderPicker()
            }
        }

        SplitView {
            objectName: "splitView"
            visible: !intake.isEmpty
            Layout.fillWidth: true
            Layout.fillHeight: true
            orientation: Qt.Horizontal

            ColumnLayout {
                SplitView.minimumWidth: 420
                SplitView.fillWidth: true
                spacing: 0

                QuickAddBanner {
                    objectName: "quickAddBanner"
                    Layout.fillWidth: true
                    queueView: intake
                    onBrowseRequested: root.openFilePicker()
                }
                ListView {
                    id: jobList
                    objectName: "jobList"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    spacing: 8
                    topMargin: 12
                    bottomMargin: 12
                    leftMargin: 12
                    rightMargin: 12
                    model: root.queue.jobModel
                    // A row scrolled out is rebound to the next job scrolled in rather than
                    // destroyed and built anew: building a row costs more than a frame's share.
                    reuseItems: true
                    // No rows built ahead beyond the edges: the first frame after a drop then
                    // builds only the rows it shows, and scrolling reuses pooled rows anyway.
                    cacheBuffer: 0
                    onContentYChanged: intake.holdBackgroundWork()
                    // The list is one tab stop; the arrow keys move the selection within it,
                    // Delete removes the selected job and Return starts it, or plays it once
                    // it is done.
                    activeFocusOnTab: true
                    keyNavigationEnabled: false
                    Accessible.role: Accessible.List
                    Accessible.name: qsTr("Queue")
                    Accessible.description: intake.fileCountText
                    ScrollBar.vertical: ScrollBar {
                        policy: ScrollBar.AsNeeded
                    }
                    delegate: QueueItemView {
                        width: jobList.width - jobList.leftMargin - jobList.rightMargin
                        isSelected: intake.selectedJob === job
                        showsFocus: isSelected && jobList.activeFocus
                        buildsLazily: intake.isAdding
                        onSelect: intake.select(job)
                        onRemove: root.queue.removeJob(job)
                    }

                    function moveSelection(step) {
                        const row = intake.selectAdjacent(step)
                        if (row >= 0)
                            positionViewAtIndex(row, ListView.Contain)
                    }
                    Keys.onUpPressed: moveSelection(-1)
                    Keys.onDownPressed: moveSelection(1)
                    Keys.onPressed: event => {
                        if (event.key === Qt.Key_Home || event.key === Qt.Key_End) {
                            moveSelection(event.key === Qt.Key_Home ? -count : count)
                        } else if (event.key === Qt.Key_Delete) {
                            const row = intake.removeSelected()
                            if (row >= 0)
                                positionViewAtIndex(row, ListView.Contain)
                        } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                            if (!intake.startSelected() && inspectors.count > 0
                                    && inspectors.itemAt(0).item)
                                inspectors.itemAt(0).item.togglePlayback()
                        } else {
                            return
                        }
                        event.accepted = true
                    }
                }
                StatusBarView {
                    objectName: "statusBar"
                    Layout.fillWidth: true
                    queue: root.queue
                    queueView: intake
                }
            }

            Item {
                objectName: "detailPane"
                readonly property bool hasJob: intake.selectedJob !== null
                SplitView.minimumWidth: hasJob ? 300 : 260
                SplitView.preferredWidth: hasJob ? 340 : 300
                SplitView.maximumWidth: hasJob ? 380 : 340

                Rectangle {
                    anchors.fill: parent
                    color: Theme.withOpacity(Theme.windowBackground, 0.4)
                }
                // Rebuilt for each selected job, so no state leaks from one job to the next.
                // While dropped files are still coming in, it is built a piece per frame: built
                // at once, it would hold up the first rows of the drop.
                Repeater {
                    id: inspectors
                    model: intake.selectedJob ? [intake.selectedJob] : []
                    Loader {
                        id: inspectorSlot
                        required property ConversionJob modelData
                        anchors.fill: parent
                        asynchronous: intake.isAdding
                        sourceComponent: InspectorView {
                            objectName: "inspector"
                            job: inspectorSlot.modelData
                        }
                    }
                }
                ColumnLayout {
                    objectName: "inspectorPlaceholder"
                    visible: !parent.hasJob
                    anchors.centerIn: parent
                    width: parent.width - 24
                    spacing: 8

                    SymbolIcon {
                        Layout.alignment: Qt.AlignHCenter
                        symbol: "slider.horizontal.3"
                        size: 36
                        color: Theme.secondary
                        opacity: 0.4
                    }
                    Label {
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.WordWrap
                        text: qsTr("Select an item to view & adjust settings")
                        font.pixelSize: 12
                        color: Theme.secondary
                    }
                }
            }
        }
    }
}
