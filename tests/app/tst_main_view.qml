import QtQuick
import QtTest
import Tonbrook
import TonbrookTest

Item {
    id: stage
    width: 1000
    height: 680

    TestCase {
        id: testCase
        name: "MainView"
        when: windowShown

        Component {
            id: viewComponent
            MainView {
                width: stage.width
                height: stage.height
            }
        }
        Component {
            id: windowComponent
            Main {}
        }
        Component {
            id: spyComponent
            SignalSpy {}
        }

        function init() {
            failOnWarning(/SymbolIcon/)
        }

        function makeView() {
            const view = createTemporaryObject(viewComponent, stage, { queue: Fixtures.newQueue() })
            verify(view, "main view created")
            return view
        }

        function child(item, name) {
            const found = findChild(item, name)
            verify(found, "child " + name)
            return found
        }

        function spyOn(target, signalName) {
            return createTemporaryObject(spyComponent, testCase,
                                         { target: target, signalName: signalName })
        }

        function dropZone(view) {
            return child(view, "dropZoneLoader").item
        }

        function waitUntilReady(queue, count) {
            tryCompare(queue, "pendingCount", count, 60000)
        }

        function test_dropZoneShownExactlyWhileEmpty() {
            const view = makeView()
            verify(dropZone(view))
            verify(!child(view, "splitView").visible)

            view.queueView.submitFiles(Fixtures.clipCopies("first", 1))
            compare(dropZone(view), null)
            verify(child(view, "splitView").visible)
            compare(child(view, "fileCountLabel").text, "1 file in queue")

            view.queue.removeJob(view.queue.jobs[0])
            verify(dropZone(view))
            verify(!child(view, "splitView").visible)
        }

        function test_dragOverDropZoneSwitchesItsLook() {
            const view = makeView()
            const zone = dropZone(view)
            compare(child(zone, "dropTitle").text, "Drag & Drop Video Files")
            compare(child(zone, "dropSymbol").symbol, "waveform.and.person.filled")
            compare(child(zone, "zoneBorder").lineWidth, 1.5)

            Fixtures.dragOver(zone, Fixtures.clipCopies("dragged", 1))
            verify(zone.isTargeted)
            compare(child(zone, "dropTitle").text, "Drop Videos to Convert")
            compare(child(zone, "dropSymbol").symbol, "arrow.down.circle.fill")
            compare(child(zone, "zoneBorder").lineWidth, 3)
            tryCompare(child(zone, "iconGroup"), "scale", 1.15, 3000)

            Fixtures.dragLeave(zone)
            verify(!zone.isTargeted)
            compare(child(zone, "dropTitle").text, "Drag & Drop Video Files")
            compare(view.queue.jobs.length, 0)

            // A web link is not a file: refused, with no change of look.
            Fixtures.dragOver(zone, ["https://example.com/clip.mp4"])
            verify(!zone.isTargeted)
            verify(!view.isWindowDropTargeted)
            compare(child(zone, "zoneBorder").lineWidth, 1.5)
            Fixtures.dragLeave(zone)
        }

        function test_eachDropIsOneSubmission() {
            const view = makeView()
            const submitted = spyOn(view.queueView, "filesSubmitted")

            // A link is refused before it lands; files that are no videos land and add nothing.
            Fixtures.dragOver(dropZone(view), ["https://example.com/clip.mp4"], true)
            compare(submitted.count, 0)
            Fixtures.dragOver(dropZone(view), [Fixtures.textNamedPng()], true)
            compare(submitted.count, 1)
            compare(view.queue.jobs.length, 0)
            verify(dropZone(view))

            const clips = Fixtures.clipCopies("dropped", 2)
            Fixtures.dragOver(dropZone(view), clips, true)
            compare(submitted.count, 2)
            compare(view.queue.jobs.length, 2)

            // Onto the list: the window-wide target takes the folder and the queue walks it.
            const list = child(view, "jobList")
            Fixtures.dragOver(list, [Fixtures.mixedFolder()])
            verify(view.isWindowDropTargeted)
            Fixtures.dragOver(list, [Fixtures.mixedFolder()], true)
            compare(submitted.count, 3)
            tryCompare(view.queueView, "isAdding", false, 10000)
            const names = view.queue.jobs.map(job => job.sourceURL.toString().split("/").pop())
            compare(names, ["dropped-1.mp4", "dropped-2.mp4", "clip.MOV", "clip2.mkv"])
        }

        // A folder is walked off the event loop and its files go in behind the drop's return, in
        // the walk's order; files submitted meanwhile wait their turn. A view that goes while
        // a walk runs takes the walk's findings with it.
        function test_folderFillsBehindTheDrop() {
            const view = makeView()
            const clips = Fixtures.clipCopies("many", 300)
            const folder = clips[0].toString().replace(/\/[^\/]*$/, "")
            const later = Fixtures.clipCopies("later", 1)
            view.queueView.submitDrop([folder])
            view.queueView.submitFiles(later)
            verify(view.queueView.isAdding)
            compare(view.queue.jobs.length, 0)

            tryCompare(view.queueView, "isAdding", false, 60000)
            const expected = clips.map(url => url.toString()).sort()
                .concat(later.map(url => url.toString()))
            compare(view.queue.jobs.map(job => job.sourceURL.toString()), expected)
            compare(child(view, "jobList").count, 301)
            compare(child(view, "fileCountLabel").text, "301 files in queue")
            // The rows shown while the files came in were built in the background; they are whole.
            const firstRow = child(view, "jobList").itemAtIndex(0)
            tryVerify(() => findChild(firstRow, "fileNameLabel") !== null)
            compare(findChild(firstRow, "fileNameLabel").text,
                    expected[0].replace(/^.*\//, "").replace(/\.[^.]*$/, ".mp4"))
            waitUntilReady(view.queue, 301)
            compare(child(view, "extractButton").text, "Extract All (301)")

            const gone = makeView()
            gone.queueView.submitDrop([folder])
            const queue = gone.queue
            Fixtures.deleteNow(gone)
            wait(500)
            compare(queue.jobs.length, 0)
        }

        function test_extractButtonFollowsReadyJobs() {
            const view = makeView()
            const extract = child(view, "extractButton")
            verify(extract.visible)
            compare(extract.text, "Extract All")

            view.queueView.submitFiles(Fixtures.clipCopies("three", 3))
            compare(child(view, "fileCountLabel").text, "3 files in queue")
            // Only inspecting: nothing to start yet.
            compare(view.queue.pendingCount, 0)
            compare(extract.text, "Extract All")
            verify(!extract.enabled)

            waitUntilReady(view.queue, 3)
            compare(extract.text, "Extract All (3)")
            verify(extract.enabled)
            verify(!child(view, "stopButton").visible)
            verify(!child(view, "clearButton").visible)
        }

        function test_batchSwapsStopAndShowsClearDone() {
            const view = makeView()
            view.queueView.submitFiles(Fixtures.clipCopies("batch", 2))
            waitUntilReady(view.queue, 2)

            mouseClick(child(view, "extractButton"))
            verify(view.queue.isProcessing)
            verify(child(view, "stopButton").visible)
            verify(!child(view, "extractButton").visible)
            verify(child(view, "batchProgress").visible)

            tryCompare(view.queue, "completedCount", 2, 60000)
            tryCompare(view.queue, "isProcessing", false, 5000)
            verify(child(view, "clearButton").visible)
            compare(child(view, "completedLabel").text, "2 Completed")
            verify(child(view, "extractButton").visible)
            verify(!child(view, "extractButton").enabled)

            mouseClick(child(view, "clearButton"))
            compare(view.queue.jobs.length, 0)
            verify(dropZone(view))
            verify(!child(view, "clearButton").visible)
        }

        function test_clearDoneAppearsWithTheFirstCompletedJob() {
            const view = makeView()
            view.queueView.submitFiles(Fixtures.clipCopies("single", 2))
            waitUntilReady(view.queue, 2)
            verify(!child(view, "clearButton").visible)
            verify(!child(view, "completedGroup").visible)
            view.queue.jobs[1].startExtraction()
            tryCompare(view.queue, "completedCount", 1, 60000)
            verify(child(view, "clearButton").visible)
            compare(child(view, "completedLabel").text, "1 Completed")
        }

        function test_ctrlEStartsTheBatch() {
            const view = makeView()
            view.queueView.submitFiles(Fixtures.clipCopies("shortcut", 1))
            waitUntilReady(view.queue, 1)
            keyClick(Qt.Key_E, Qt.ControlModifier)
            verify(view.queue.isProcessing)
            view.queue.cancelAll()
        }

        function test_statusBarNamesTheOutputFolder() {
            const view = makeView()
            view.queueView.submitFiles(Fixtures.clipCopies("status", 1))
            const label = child(view, "saveToLabel")
            compare(label.text, "Save to: Source Folder")
            view.queue.useSourceDirectory = false
            compare(label.text, "Save to: Custom Folder")
            view.queue.customOutputFolder = "file:///x/Exports"
            compare(label.text, "Save to: Exports")
            view.queue.useSourceDirectory = true
            compare(label.text, "Save to: Source Folder")
        }

        function test_rowsSelectIntoTheInspector() {
            const view = makeView()
            view.queueView.submitFiles(Fixtures.clipCopies("select", 2))
            const first = view.queue.jobs[0]
            const second = view.queue.jobs[1]
            compare(view.queueView.selectedJob, first)
            compare(child(view, "inspector").job, first)
            verify(!child(view, "inspectorPlaceholder").visible)

            const list = child(view, "jobList")
            const rowOf = job => {
                for (let i = 0; i < list.contentItem.children.length; ++i) {
                    if (list.contentItem.children[i].job === job)
                        return list.contentItem.children[i]
                }
                return null
            }
            tryVerify(() => rowOf(second) !== null, 3000)
            const secondRow = rowOf(second)
            verify(!secondRow.isSelected)

            // A start typed but not yet committed belongs to the job being left.
            waitUntilReady(view.queue, 2)
            const start = child(child(view, "inspector"), "trimStartField")
            mouseClick(start)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            for (const c of "0.5")
                keyClick(c)
            verify(start.activeFocus)
            compare(Fixtures.settingsOf(first).trimStart, null)

            mouseClick(secondRow, 30, 10)
            compare(view.queueView.selectedJob, second)
            verify(secondRow.isSelected)
            compare(child(view, "inspector").job, second)
            compare(Fixtures.settingsOf(first).trimStart, 0.5)
            compare(Fixtures.settingsOf(second).trimStart, null)
        }

        // Tab reaches the list; the arrows move the selection, Delete removes the selected job
        // and Return starts it, or plays it once it is done.
        function test_keyboardDrivesTheQueue() {
            const view = makeView()
            view.queueView.submitFiles(Fixtures.clipCopies("keys", 3))
            waitUntilReady(view.queue, 3)
            const [first, second, third] = view.queue.jobs
            const list = child(view, "jobList")
            for (let i = 0; i < 30 && !list.activeFocus; ++i)
                keyClick(Qt.Key_Tab)
            verify(list.activeFocus, "Tab reaches the queue")

            compare(view.queueView.selectedJob, first)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)
            compare(view.queueView.selectedJob, third)
            keyClick(Qt.Key_Up)
            compare(view.queueView.selectedJob, second)

            keyClick(Qt.Key_Delete)
            compare(view.queue.jobs.length, 2)
            verify(view.queue.jobs.indexOf(second) < 0)
            compare(view.queueView.selectedJob, first)
            verify(list.activeFocus)

            keyClick(Qt.Key_End)
            compare(view.queueView.selectedJob, third)
            keyClick(Qt.Key_Return)
            verify(Fixtures.waitForStatus(third, JobView.Completed))
            compare(first.status.caseValue, JobView.Ready)

            // Done: Return plays the MP3 in the inspector's player.
            const loader = child(child(view, "inspector"), "playerLoader")
            tryVerify(() => loader.item !== null, 3000)
            tryVerify(() => loader.item.player.hasOutputDevice, 5000)
            keyClick(Qt.Key_Return)
            tryVerify(() => loader.item.player.isPlaying, 5000)
            keyClick(Qt.Key_Return)
            verify(!loader.item.player.isPlaying)
        }

        function test_toolbarBitrateSetsTheDefault() {
            const view = makeView()
            const picker = child(view, "bitratePicker")
            compare(picker.currentText, "320k")
            picker.activated(4)
            compare(view.queueView.defaultBitrateIndex, 4)
            compare(picker.currentText, "VBR 0")
        }

        function test_fileArgumentsAreQueued() {
            const view = makeView()
            const clips = Fixtures.clipCopies("argument", 3)
            ShellNotices.postOpenFilesFromArguments(Fixtures.pathsOf(clips))
            compare(view.queue.jobs.map(job => job.sourceURL), clips)
        }

        // The toolbar's menu names every command with its shortcut; the shortcuts work from
        // anywhere in the window, and a screen reader finds a name on every control.
        function test_toolbarMenuAndShortcuts() {
            const window = createTemporaryObject(windowComponent, null,
                                                 { queue: Fixtures.newQueue() })
            verify(window)
            verify(waitForRendering(window.contentItem))
            const view = child(window.contentItem, "mainView")
            const menu = child(window.contentItem, "toolbar").menu
            const openMenu = () => {
                mouseClick(child(window.contentItem, "menuButton"))
                tryCompare(menu, "opened", true, 3000)
            }
            openMenu()
            const items = [["openVideosItem", "Open Videos...", "Ctrl+O"],
                           ["extractItem", "Extract All", "Ctrl+E"],
                           ["preferencesItem", "Preferences", "Ctrl+,"],
                           ["quitItem", "Quit", "Ctrl+Q"]]
            for (const [name, text, keys] of items) {
                const item = child(menu.contentItem, name)
                compare(item.text, text)
                compare(child(item, "shortcutLabel").text, keys)
            }
            verify(!child(menu.contentItem, "extractItem").enabled)
            compare(Fixtures.unnamedControls(window), [])
            Fixtures.keyClick(window, Qt.Key_Escape, 0)
            tryCompare(menu, "visible", false, 3000)

            Fixtures.keyClick(window, Qt.Key_Comma, Qt.ControlModifier)
            verify(view.showingSettings)
            tryCompare(child(view, "preferencesSheet"), "opened", true, 3000)
            compare(Fixtures.unnamedControls(window), [])
            Fixtures.keyClick(window, Qt.Key_Escape, 0)
            tryCompare(view, "showingSettings", false, 3000)

            // A ready and a finished job: each row's buttons, the inspector and its player.
            view.queueView.submitFiles(Fixtures.clipCopies("walk", 2))
            waitUntilReady(view.queue, 2)
            view.queue.jobs[1].startExtraction()
            verify(Fixtures.waitForStatus(view.queue.jobs[1], JobView.Completed))
            view.queueView.select(view.queue.jobs[1])
            verify(waitForRendering(window.contentItem))
            compare(Fixtures.unnamedControls(window), [])

            const notices = spyOn(ShellNotices, "openVideoFiles")
            Fixtures.keyClick(window, Qt.Key_O, Qt.ControlModifier)
            compare(notices.count, 1)
            tryVerify(() => view.isPickingFiles, 3000)
            child(view, "filePicker").close()
            openMenu()
            mouseClick(child(menu.contentItem, "openVideosItem"))
            compare(notices.count, 2)
            tryVerify(() => view.isPickingFiles, 3000)
            child(view, "filePicker").close()

            openMenu()
            mouseClick(child(menu.contentItem, "quitItem"))
            tryCompare(window, "visible", false, 3000)
        }
    }
}
