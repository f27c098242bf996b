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

        // As a user's toggle does it; the lower switches may be scrolled out of reach.
        function flip(toggle) {
            toggle.toggle()
            toggle.toggled()
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
                flip(control(s.sheet, name))
                compare(s.queue[property], false, property)
            }
            flip(control(s.sheet, "normalizeSwitch"))
            verify(s.view.queueView.defaultNormalizePeak)
            flip(control(s.sheet, "embedArtSwitch"))
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
