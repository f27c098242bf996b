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
        name: "PreferencesSheet"
        when: windowShown

        Component {
            id: viewComponent
            MainView {
                width: stage.width
                height: stage.height
            }
        }

        function init() {
            failOnWarning(/SymbolIcon/)
        }

        // The sheet as the main window presents it, opened with the toolbar's button.
        function openSheet() {
            const view = createTemporaryObject(viewComponent, stage, { queue: Fixtures.newQueue() })
            verify(view)
            mouseClick(child(view, "preferencesButton"))
            verify(view.showingSettings)
            const sheet = child(view, "preferencesSheet")
            tryCompare(sheet, "opened", true, 3000)
            return { view: view, sheet: sheet, queue: view.queue }
        }

        function child(item, name) {
            const found = findChild(item, name)
            verify(found, "child " + name)
            return found
        }

        function control(sheet, name) {
            return child(sheet.contentItem, name)
        }

        // Whether the whole control lies inside the sheet's frame, where a click reaches it.
        function withinFrame(sheet, item) {
            const r = item.mapToItem(sheet.contentItem, 0, 0, item.width, item.height)
            return item.visible && r.x >= 0 && r.y >= 0 && r.x + r.width <= sheet.availableWidth
                && r.y + r.height <= sheet.availableHeight
        }

        function test_everyControlFitsTheFrame_data() {
            return [{ tag: "source folder", custom: false }, { tag: "custom folder", custom: true }]
        }

        // All three sections show at once, with either output choice, and nothing scrolls.
        function test_everyControlFitsTheFrame(data) {
            const s = openSheet()
            s.queue.useSourceDirectory = !data.custom
            verify(waitForRendering(s.sheet.contentItem))
            const names = ["doneButton", "defaultBitratePicker", "defaultSampleRatePicker",
                           "normalizeSwitch", "defaultLoudnessPicker", "embedArtSwitch", "sourceDirectoryChoice",
                           "customDirectoryChoice", "concurrencyPicker", "soundSwitch",
                           "notificationSwitch"].concat(data.custom ? ["chooseFolderButton"] : [])
            for (const name of names)
                verify(withinFrame(s.sheet, control(s.sheet, name)), name)
            const sections = control(s.sheet, "sections")
            verify(sections.height <= sections.parent.parent.height,
                   sections.height + " fits " + sections.parent.parent.height)
        }

        // The desktop switches to dark and back while the sheet is open: its controls follow,
        // though Qt leaves a popup's controls on the palette they were made with.
        function test_controlsFollowTheSchemeLive() {
            const s = openSheet()
            const controls = ["sourceDirectoryChoice", "defaultBitratePicker", "soundSwitch",
                              "doneButton"].map(name => control(s.sheet, name))
            for (const dark of [true, false]) {
                Fixtures.useDarkPalette(dark)
                for (const item of controls) {
                    tryVerify(() => Qt.colorEqual(item.palette.windowText, s.view.palette.windowText)
                              && Qt.colorEqual(item.palette.button, s.view.palette.button),
                              3000, item.objectName + (dark ? " in dark" : " in light"))
                }
            }
        }

        function test_showsTheQueueValues() {
            const s = openSheet()
            compare(control(s.sheet, "defaultBitratePicker").currentText,
                    "320 kbps (High Quality CBR)")
            compare(control(s.sheet, "defaultSampleRatePicker").currentText, "Auto (Original)")
            compare(control(s.sheet, "concurrencyPicker").currentText, "2 (Balanced)")
            compare(control(s.sheet, "concurrencyPicker").model,
                    ["1 (Sequential)", "2 (Balanced)", "4 (High Speed)", "8 (Maximum)"])
            verify(!control(s.sheet, "normalizeSwitch").checked)
            verify(control(s.sheet, "embedArtSwitch").checked)
            verify(control(s.sheet, "soundSwitch").checked)
            verify(control(s.sheet, "notificationSwitch").checked)
            verify(control(s.sheet, "sourceDirectoryChoice").checked)
            verify(!control(s.sheet, "folderRow").visible)
        }

        function test_controlsWriteThroughAtOnce() {
            const s = openSheet()
            control(s.sheet, "concurrencyPicker").activated(3)
            compare(s.queue.concurrentLimit, 8)
            control(s.sheet, "defaultBitratePicker").activated(2)
            compare(s.view.queueView.defaultBitrateIndex, 2)
            // The toolbar's picker shows the same value.
            compare(child(s.view, "bitratePicker").currentText, "192k")
            control(s.sheet, "defaultSampleRatePicker").activated(1)
            compare(s.view.queueView.defaultSampleRateIndex, 1)

            for (const [name, property] of [["soundSwitch", "playSoundOnFinish"],
                                            ["notificationSwitch", "sendNotificationOnFinish"]]) {
                mouseClick(control(s.sheet, name))
                compare(s.queue[property], false, property)
            }
            mouseClick(control(s.sheet, "normalizeSwitch"))
            verify(s.view.queueView.defaultNormalizePeak)
            control(s.sheet, "defaultLoudnessPicker").forceActiveFocus()
            keyClick(Qt.Key_Down)
            compare(s.view.queueView.defaultLoudnessIndex, 1)
            mouseClick(control(s.sheet, "embedArtSwitch"))
            verify(!s.view.queueView.defaultEmbedCoverArt)
            // Still open: nothing waited for "Done".
            verify(s.sheet.opened)
        }

        function test_newDefaultsReachOnlyLaterFiles() {
            const s = openSheet()
            s.view.queueView.submitFiles(Fixtures.clipCopies("before", 1))
            control(s.sheet, "defaultBitratePicker").activated(3)
            s.view.queueView.submitFiles(Fixtures.clipCopies("after", 1))
            compare(Fixtures.settingsOf(s.queue.jobs[0]).bitrate, "320k")
            compare(Fixtures.settingsOf(s.queue.jobs[1]).bitrate, "128k")
        }

        function test_outputDestinationChoices() {
            const s = openSheet()
            mouseClick(control(s.sheet, "customDirectoryChoice"))
            verify(!s.queue.useSourceDirectory)
            verify(control(s.sheet, "folderRow").visible)
            compare(control(s.sheet, "outputFolderLabel").text, "No folder chosen")
            compare(s.queue.customOutputFolder.toString(), "")

            const longPath = "/srv/" + "very-longPath-folder-name/".repeat(12) + "Exports"
            s.queue.customOutputFolder = "file://" + longPath
            const label = control(s.sheet, "outputFolderLabel")
            compare(label.text, longPath)
            // One line, shortened in the middle.
            compare(label.elide, Text.ElideMiddle)
            verify(label.truncated)
            verify(label.height < 2 * label.font.pixelSize + 4)

            mouseClick(control(s.sheet, "sourceDirectoryChoice"))
            verify(s.queue.useSourceDirectory)
            verify(!control(s.sheet, "folderRow").visible)
            compare(s.queue.customOutputFolder.toString(), "file://" + longPath)
        }

        function test_doneAndReturnClose() {
            let s = openSheet()
            mouseClick(control(s.sheet, "doneButton"))
            tryCompare(s.sheet, "visible", false, 3000)
            verify(!s.view.showingSettings)

            mouseClick(child(s.view, "preferencesButton"))
            tryCompare(s.sheet, "opened", true, 3000)
            keyClick(Qt.Key_Return)
            tryCompare(s.sheet, "visible", false, 3000)
            verify(!s.view.showingSettings)
        }
    }
}
