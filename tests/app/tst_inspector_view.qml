import QtQuick
import QtTest
import Tonbrook
import TonbrookTest

// The views need a visible parent; TestCase itself is not drawn.
Item {
    id: stage
    width: 360
    height: 1100

    TestCase {
        id: testCase
        name: "InspectorView"
        when: windowShown

        Component {
            id: inspectorComponent
            InspectorView {
                width: 340
                height: 1080
            }
        }

        function init() {
            failOnWarning(/SymbolIcon/)
        }

        function makeInspector(job) {
            const inspector = createTemporaryObject(inspectorComponent, stage, { job: job })
            verify(inspector, "inspector created")
            return inspector
        }

        function child(item, name) {
            const found = findChild(item, name)
            verify(found, "child " + name)
            return found
        }

        // From the narrowest inspector the window allows to a wide one.
        function test_tagsHeadingIsWhole_data() {
            return [{ tag: "300", width: 300 }, { tag: "340", width: 340 }, { tag: "600", width: 600 }]
        }

        function test_tagsHeadingIsWhole(data) {
            const inspector = makeInspector(Fixtures.readyJob("clip"))
            inspector.width = data.width
            waitForRendering(inspector)
            const label = child(child(inspector, "tagsHeading"), "headingLabel")
            verify(!label.truncated, "the heading is cut at " + data.width)
            verify(!child(inspector, "embedCoverArtSwitch").contentItem.truncated)
        }

        // Types into a field as a user would and presses Return.
        function typeInto(field, text) {
            field.forceActiveFocus()
            field.selectAll()
            keySequence(StandardKey.Delete)
            for (const c of text)
                keyClick(c)
            keyClick(Qt.Key_Return)
        }

        function test_undescribedJobShowsNoSourceFacts() {
            const inspector = makeInspector(Fixtures.pendingJob("clip"))
            verify(!child(inspector, "headerThumbnail").visible)
            verify(!child(inspector, "headerFacts").visible)
            verify(!child(inspector, "headerCodec").visible)
            verify(!child(inspector, "trackPicker").visible)
            verify(!child(inspector, "playerLoader").active)
            const end = child(inspector, "trimEndField")
            compare(end.text, "0")
            compare(end.placeholderText, "End")
            compare(child(inspector, "trimStartField").text, "0")
        }

        function test_describedSourceWithOneTrack() {
            const job = Fixtures.readyJob("clip")
            const inspector = makeInspector(job)
            verify(child(inspector, "headerThumbnail").visible)
            verify(/ • 00:02$/.test(child(inspector, "headerFacts").text),
                   child(inspector, "headerFacts").text)
            compare(child(inspector, "headerCodec").text, "Codec: mp4v")
            verify(!child(inspector, "trackPicker").visible)
            const duration = Fixtures.settingsOf(job).sourceDuration
            compare(child(inspector, "trimEndField").placeholderText, duration.toFixed(1))
            compare(child(inspector, "trimEndField").text, inspector.jobView.localeNumber(duration))
        }

        function test_trackPickerOnlyWithSeveralTracks() {
            const job = Fixtures.readyJob("tracks")
            const inspector = makeInspector(job)
            verify(child(inspector, "trackPicker").visible)
            const combo = child(inspector, "trackCombo")
            compare(combo.count, 2)
            compare(combo.currentIndex, 0)
            compare(combo.textAt(1), "Track 2 (flac, 1ch, 44100Hz)")
            combo.forceActiveFocus()
            keyClick(Qt.Key_Down)
            compare(Fixtures.settingsOf(job).selectedTrackIndex, 1)
            compare(combo.currentIndex, 1)
        }

        function test_endFieldCommitRule() {
            const job = Fixtures.readyJob("clip")
            const inspector = makeInspector(job)
            const end = child(inspector, "trimEndField")
            const reset = child(inspector, "resetTrimButton")
            const duration = Fixtures.settingsOf(job).sourceDuration
            verify(!reset.visible)

            typeInto(end, "1.5")
            compare(Fixtures.settingsOf(job).trimEnd, 1.5)
            verify(reset.visible)

            // The file's exact length is no end trim at all.
            typeInto(end, inspector.jobView.localeNumber(duration))
            compare(Fixtures.settingsOf(job).trimEnd, null)
            compare(end.text, inspector.jobView.localeNumber(duration))
            verify(!reset.visible)

            typeInto(end, "-2")
            compare(Fixtures.settingsOf(job).trimEnd, null)
            compare(end.text, inspector.jobView.localeNumber(duration))

            // Text that is no number changes nothing and the stored value shows again.
            typeInto(end, "1.25")
            typeInto(end, "soon")
            compare(Fixtures.settingsOf(job).trimEnd, 1.25)
            compare(end.text, "1.25")
        }

        function test_startFieldClearsAtZeroOrBelow() {
            const job = Fixtures.readyJob("clip")
            const inspector = makeInspector(job)
            const start = child(inspector, "trimStartField")
            typeInto(start, "0.5")
            compare(Fixtures.settingsOf(job).trimStart, 0.5)
            verify(child(inspector, "resetTrimButton").visible)
            typeInto(start, "-1")
            compare(Fixtures.settingsOf(job).trimStart, null)
            compare(start.text, "0")
            typeInto(start, "0.75")
            typeInto(start, "0")
            compare(Fixtures.settingsOf(job).trimStart, null)
            verify(!child(inspector, "resetTrimButton").visible)
        }

        function test_resetClearsBothTrims() {
            const job = Fixtures.readyJob("clip")
            const inspector = makeInspector(job)
            typeInto(child(inspector, "trimStartField"), "0.25")
            typeInto(child(inspector, "trimEndField"), "1")
            const reset = child(inspector, "resetTrimButton")
            mouseClick(reset)
            compare(Fixtures.settingsOf(job).trimStart, null)
            compare(Fixtures.settingsOf(job).trimEnd, null)
            verify(!reset.visible)
            compare(child(inspector, "trimStartField").text, "0")
        }

        function test_fadeSlidersMoveInHalfSeconds() {
            const job = Fixtures.readyJob("clip")
            const inspector = makeInspector(job)
            const slider = child(inspector, "fadeInSlider")
            const track = slider.availableWidth
            for (const fraction of [0.13, 0.37, 0.61, 0.98]) {
                mouseClick(slider, slider.leftPadding + track * fraction, slider.height / 2)
                const value = Fixtures.settingsOf(job).fadeIn
                compare(value * 2, Math.round(value * 2), "multiple of 0.5: " + value)
                verify(value >= 0 && value <= 5)
                compare(child(inspector, "fadeInLabel").text, "Fade In: " + value.toFixed(1) + "s")
            }
            const fadeOut = child(inspector, "fadeOutSlider")
            fadeOut.forceActiveFocus()
            keyClick(Qt.Key_Right)
            compare(Fixtures.settingsOf(job).fadeOut, 0.5)
            compare(child(inspector, "fadeOutLabel").text, "Fade Out: 0.5s")
        }

        function test_embedSwitchHidesArtButKeepsBytes() {
            const job = Fixtures.readyJob("clip")
            const inspector = makeInspector(job)
            const bytes = Fixtures.metadataOf(job).coverArtSize
            verify(bytes > 0, "the poster frame is the default cover art")
            verify(child(inspector, "artRow").visible)
            verify(child(inspector, "coverArtImage").visible)
            mouseClick(child(inspector, "embedCoverArtSwitch"))
            compare(Fixtures.settingsOf(job).embedCoverArt, false)
            verify(!child(inspector, "artRow").visible)
            compare(Fixtures.metadataOf(job).coverArtSize, bytes)
            mouseClick(child(inspector, "embedCoverArtSwitch"))
            verify(child(inspector, "artRow").visible)
        }

        function test_customArtIsStoredUnchanged() {
            const job = Fixtures.readyJob("clip")
            const inspector = makeInspector(job)
            const png = Fixtures.pngImage()
            verify(inspector.jobView.loadCoverArt(png))
            compare(Fixtures.metadataOf(job).coverArtSize, Fixtures.fileSize(png))
            verify(child(inspector, "coverArtImage").visible)

            // Bytes that are no image are kept; the well shows its placeholder.
            const text = Fixtures.textNamedPng()
            verify(inspector.jobView.loadCoverArt(text))
            compare(Fixtures.metadataOf(job).coverArtSize, Fixtures.fileSize(text))
            verify(!child(inspector, "coverArtImage").visible)
            verify(child(inspector, "coverArtPlaceholder").visible)

            // An unreadable file changes nothing.
            verify(!inspector.jobView.loadCoverArt(Fixtures.missingFile()))
            compare(Fixtures.metadataOf(job).coverArtSize, Fixtures.fileSize(text))
        }

        function test_pickersAndTagsWriteIntoTheJob() {
            const job = Fixtures.readyJob("clip")
            const inspector = makeInspector(job)
            compare(child(inspector, "titleField").text, "Harbour Lights")
            typeInto(child(inspector, "artistField"), "The Quay Band")
            compare(Fixtures.metadataOf(job).artist, "The Quay Band")
            typeInto(child(inspector, "yearField"), "2024")
            compare(Fixtures.metadataOf(job).year, "2024")

            const bitrate = child(inspector, "bitrateCombo")
            compare(bitrate.count, Options.bitrateNames.length)
            bitrate.forceActiveFocus()
            keyClick(Qt.Key_Down)
            compare(Fixtures.settingsOf(job).bitrate, "256k")
            const channels = child(inspector, "channelsCombo")
            channels.forceActiveFocus()
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)
            compare(Fixtures.settingsOf(job).channels, 1)
            const normalize = child(inspector, "normalizeCheckBox")
            mouseClick(normalize)
            compare(Fixtures.settingsOf(job).normalizePeak, true)

            // A loudness target takes the place of peak normalisation, and says so.
            const loudness = child(inspector, "loudnessPicker")
            const limiter = child(inspector, "limiterCheckBox")
            compare(loudness.currentText, "Off")
            verify(!limiter.enabled)
            loudness.forceActiveFocus()
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)
            compare(Fixtures.settingsOf(job).loudnessTarget, -16)
            compare(loudness.currentText, "\u221216 LUFS")
            verify(!normalize.enabled)
            compare(child(inspector, "normalizeNote").text,
                    "Loudness normalization is on and takes its place")
            mouseClick(normalize)
            compare(Fixtures.settingsOf(job).normalizePeak, true)
            mouseClick(limiter)
            compare(Fixtures.settingsOf(job).loudnessLimiter, true)
        }

        function test_failedJobSaysWhy() {
            const job = Fixtures.failedJob()
            const reason = child(makeInspector(job), "failureReason")
            verify(reason.visible)
            verify(reason.text.startsWith("app-broken.mp4: The file could not be opened"), reason.text)
            verify(!child(makeInspector(Fixtures.readyJob("clip")), "failureReason").visible)
        }

        function test_completedJobHostsThePlayer() {
            const job = Fixtures.completedJob()
            const inspector = makeInspector(job)
            const loader = child(inspector, "playerLoader")
            verify(loader.active)
            tryVerify(() => loader.item && loader.item.player.duration > 0, 10000)
            compare(loader.item.title, "Harbour Lights")
            verify(Math.abs(loader.item.player.duration - 2.0) < 0.2, loader.item.player.duration)
            // Without a title tag the player names the source file.
            typeInto(child(inspector, "titleField"), "")
            verify(/^queue-clip.*\.mp4$/.test(loader.item.title), loader.item.title)
        }
    }
}
