import QtQuick
import QtTest
import Tonbrook
import TonbrookTest

// The views need a visible parent; TestCase itself is not drawn.
Item {
    id: stage
    width: 600
    height: 200

    TestCase {
        id: testCase
        name: "QueueItemView"
        when: windowShown

        Component {
            id: rowComponent
            QueueItemView {
                width: 560
            }
        }
        Component {
            id: spyComponent
            SignalSpy {}
        }

        function init() {
            failOnWarning(/SymbolIcon/)
        }

        function makeRow(job, selected) {
            const row = createTemporaryObject(rowComponent, stage,
                                              { job: job, isSelected: selected === true })
            verify(row, "row created")
            return row
        }

        function child(row, name) {
            const item = findChild(row, name)
            verify(item, "child " + name)
            return item
        }

        function badgeText(row) {
            return child(row, "badgeLabel").text
        }

        // Which of the state elements show, in the order of the action buttons.
        function stateElements(row) {
            return ["extractButton", "inspectingSpinner", "cancelButton", "revealButton",
                    "retryButton"].filter(name => child(row, name).visible)
        }

        function test_pendingJobWithoutDescription() {
            const row = makeRow(Fixtures.pendingJob("clip"))
            compare(badgeText(row), "Queued")
            compare(stateElements(row), ["extractButton"])
            verify(child(row, "removeButton").visible)
            verify(child(row, "thumbnailPlaceholder").visible)
            verify(!child(row, "thumbnail").visible)
            verify(!child(row, "durationLabel").visible)
            verify(!child(row, "fileSizeLabel").visible)
            verify(!child(row, "formatBullet").visible)
            compare(child(row, "outputFormatLabel").text, "→ 320k MP3")
            verify(!child(row, "progressBlock").visible)
            // The whole file name, extension included.
            verify(/^queue-clip.*\.mp4$/.test(child(row, "fileNameLabel").text),
                   child(row, "fileNameLabel").text)
        }

        function test_inspectingShowsSpinnerOnly() {
            const row = makeRow(Fixtures.inspectingJob("clip"))
            compare(badgeText(row), "Analyzing")
            compare(stateElements(row), ["inspectingSpinner"])
            verify(child(row, "inspectingSpinner").running)
        }

        function test_readyVideoShowsFacts() {
            const job = Fixtures.readyJob("clip")
            const row = makeRow(job)
            compare(badgeText(row), "Ready")
            compare(stateElements(row), ["extractButton"])
            verify(child(row, "thumbnail").visible)
            verify(!child(row, "thumbnailPlaceholder").visible)
            compare(child(row, "durationLabel").text, "00:02")
            verify(child(row, "durationLabel").visible)
            verify(child(row, "fileSizeLabel").visible)
            verify(/^\d+(\.\d+)? kB$/.test(child(row, "fileSizeLabel").text),
                   child(row, "fileSizeLabel").text)
            verify(child(row, "resolutionBullet").visible)
            compare(child(row, "resolutionLabel").text, "320×240")
            verify(child(row, "formatBullet").visible)
        }

        Component {
            id: coverArtComponent
            RoundedImage {
                width: 80
                height: 56
                radius: 8
            }
        }

        // The source colour, 0xc82828, through lossy coding of a few pixels.
        function verifySourceColour(shot, what) {
            const pixel = shot.pixel(shot.width / 2, shot.height / 2)
            verify(Math.abs(pixel.r * 255 - 200) < 48 && Math.abs(pixel.g * 255 - 40) < 48
                   && Math.abs(pixel.b * 255 - 40) < 48, what + " shows " + pixel)
        }

        function test_tinyVideoPicturesRender_data() {
            return [{ tag: "2x2" }, { tag: "8x8" }]
        }

        function test_tinyVideoPicturesRender(data) {
            const row = makeRow(Fixtures.readyJob("tiny-" + data.tag))
            compare(badgeText(row), "Ready")
            compare(child(row, "resolutionLabel").text, data.tag.replace("x", "×"))
            const thumbnail = child(row, "thumbnail")
            verify(thumbnail.visible)
            waitForRendering(row)
            verifySourceColour(grabImage(thumbnail), "thumbnail")

            const view = createTemporaryQmlObject("import Tonbrook; JobView {}", testCase)
            view.job = row.job
            verify(view.hasCoverArtImage)
            const art = createTemporaryObject(coverArtComponent, stage,
                                              { image: view.coverArtImage })
            waitForRendering(art)
            verifySourceColour(grabImage(art), "cover art")
        }

        function test_audioOnlySourceHasOneBullet() {
            const row = makeRow(Fixtures.readyJob("audio"))
            verify(child(row, "fileSizeLabel").visible)
            verify(!child(row, "resolutionBullet").visible)
            verify(!child(row, "resolutionLabel").visible)
            verify(child(row, "formatBullet").visible)
            compare(child(row, "durationLabel").text, "01:00")
        }

        function test_outputFormatFollowsTheJobsBitrate() {
            const row = makeRow(Fixtures.readyJob("clip"))
            // An edit made elsewhere (the inspector) reaches the row through the job.
            const edit = createTemporaryQmlObject("import Tonbrook; JobView {}", testCase)
            edit.job = row.job
            edit.bitrateIndex = 3
            compare(Fixtures.settingsOf(row.job).bitrate, "128k")
            compare(child(row, "outputFormatLabel").text, "→ 128k MP3")
        }

        // At 22.05 kHz an MP3 holds at most 160 kbit/s: the row says what is written.
        function test_outputFormatShowsTheBitrateWritten() {
            const row = makeRow(Fixtures.readyJob("low-rate"))
            compare(child(row, "outputFormatLabel").text, "→ 160k MP3")
            const edit = createTemporaryQmlObject("import Tonbrook; JobView {}", testCase)
            edit.job = row.job
            edit.bitrateIndex = 3
            compare(child(row, "outputFormatLabel").text, "→ 128k MP3")
            edit.bitrateIndex = 0
            edit.sampleRateIndex = 1 // 44100
            compare(Fixtures.settingsOf(row.job).sampleRate, 44100)
            compare(child(row, "outputFormatLabel").text, "→ 320k MP3")
        }

        function test_convertingThenCancelThenExtractAgain() {
            const job = Fixtures.convertingJob()
            const row = makeRow(job)
            compare(badgeText(row), "Converting")
            compare(stateElements(row), ["cancelButton"])
            verify(child(row, "progressBlock").visible)
            verify(child(row, "progressBar").value > 0)
            verify(/^\d+%$/.test(child(row, "percentLabel").text), child(row, "percentLabel").text)
            verify(/^• \d+\.\dx$/.test(child(row, "speedLabel").text), child(row, "speedLabel").text)
            verify(child(row, "etaLabel").visible)

            mouseClick(child(row, "cancelButton"))
            compare(badgeText(row), "Cancelled")
            compare(stateElements(row), ["extractButton"])
            verify(!child(row, "progressBlock").visible)

            // A fresh start shows the bar at 0% with no speed or time yet.
            mouseClick(child(row, "extractButton"))
            compare(badgeText(row), "Converting")
            compare(child(row, "percentLabel").text, "0%")
            verify(!child(row, "speedLabel").visible)
            verify(!child(row, "etaLabel").visible)
            job.cancel()
            verify(Fixtures.waitForStatus(job, JobView.Cancelled))
        }

        function test_completedOffersReveal() {
            const row = makeRow(Fixtures.completedJob())
            compare(badgeText(row), "Done")
            verify(child(row, "doneCheckmark").visible)
            compare(stateElements(row), ["revealButton"])
            verify(!child(row, "progressBlock").visible)
        }

        function test_failedRetriesThroughTheJob() {
            const job = Fixtures.failedJob()
            const row = makeRow(job)
            compare(badgeText(row), "Failed")
            compare(stateElements(row), ["retryButton"])
            // The badge tells why on hover.
            const badge = child(row, "statusBadge")
            verify(badge.reason.startsWith("app-broken.mp4: The file could not be opened"), badge.reason)
            verify(!badge.showsReason)
            mouseMove(badge)
            tryVerify(() => badge.showsReason)
            mouseClick(child(row, "retryButton"))
            // The retry really started an extraction, which fails again on the broken file.
            compare(badgeText(row), "Converting")
            verify(Fixtures.waitForStatus(job, JobView.Failed))
            compare(badgeText(row), "Failed")
        }

        function test_cancelledCanBeExtracted() {
            const row = makeRow(Fixtures.cancelledJob())
            compare(badgeText(row), "Cancelled")
            compare(stateElements(row), ["extractButton"])
        }

        function test_percentRounding() {
            const view = createTemporaryQmlObject("import Tonbrook; JobView {}", testCase)
            compare(view.percentText(0), "0%")
            compare(view.percentText(0.423), "42%")
            compare(view.percentText(0.999), "100%")
            compare(view.percentText(1), "100%")
        }

        function test_clickSelectsAndRemoveButtonRemoves() {
            const row = makeRow(Fixtures.readyJob("clip"))
            const selectSpy = createTemporaryObject(spyComponent, testCase,
                                                    { target: row, signalName: "select" })
            const removeSpy = createTemporaryObject(spyComponent, testCase,
                                                    { target: row, signalName: "remove" })
            mouseClick(row, 200, row.height / 2)
            compare(selectSpy.count, 1)
            compare(removeSpy.count, 0)
            mouseClick(child(row, "removeButton"))
            compare(removeSpy.count, 1)
            compare(selectSpy.count, 1)
        }

        function test_selectedLookWinsOverHover() {
            const row = makeRow(Fixtures.readyJob("clip"), true)
            mouseMove(row, 100, row.height / 2)
            tryVerify(() => row.isHovered)
            compare(child(row, "rowFill").color, Theme.withOpacity(Theme.accent, 0.12))
            compare(child(row, "rowBorder").border.width, 1.5)
            row.isSelected = false
            compare(child(row, "rowFill").color, Theme.withOpacity(Theme.secondary, 0.06))
            mouseMove(stage, 590, 190)
            tryVerify(() => !row.isHovered)
            compare(child(row, "rowFill").color, Theme.withOpacity(Theme.controlBackground, 0.5))
        }

        function test_longNameIsCutInTheMiddle() {
            const name = "a-remarkably-long-recording-title-from-the-harbour-festival-evening-set.mp4"
            const row = makeRow(Fixtures.readyJobNamed(name))
            row.width = 420
            const label = child(row, "fileNameLabel")
            compare(label.text, name)
            verify(label.truncated)
            const badge = child(row, "statusBadge")
            const right = badge.mapToItem(row, badge.width, 0).x
            verify(right <= row.width - 10, "badge fully visible: " + right)
        }
    }
}
