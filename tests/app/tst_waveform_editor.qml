import QtQuick
import QtTest
import Tonbrook
import TonbrookTest

// The waveform over generated media of a known shape: silence with a loud burst from 10 to
// 12 s and a quieter tone from 30 to 40 s; two tracks that sound in different halves.
Item {
    id: stage
    width: 360
    height: 1100

    TestCase {
        id: testCase
        name: "WaveformEditor"
        when: windowShown

        Component {
            id: inspectorComponent
            InspectorView {
                width: 340
                height: 1080
            }
        }

        function child(item, name) {
            const found = findChild(item, name)
            verify(found, "child " + name)
            return found
        }

        // The inspector of a ready job, once its waveform is drawn.
        function drawn(kind) {
            const job = Fixtures.readyJob(kind)
            const inspector = createTemporaryObject(inspectorComponent, stage, { job: job })
            verify(inspector, "inspector created")
            const editor = child(inspector, "waveformEditor")
            tryVerify(() => editor.plot.isReady, 30000, "the waveform is drawn")
            compare(editor.plot.problem, "")
            waitForRendering(inspector)
            return { job: job, inspector: inspector, editor: editor, plot: editor.plot,
                     area: child(inspector, "waveformArea") }
        }

        function typeInto(field, text) {
            field.forceActiveFocus()
            field.selectAll()
            keySequence(StandardKey.Delete)
            for (const c of text)
                keyClick(c)
            keyClick(Qt.Key_Return)
        }

        // Drags the handle's line to x in the waveform area.
        function dragHandle(w, handle, x) {
            const y = w.area.height / 2
            // On the grip, which stays inside the area at either end.
            const from = handle.x + handle.width / 2 + (handle.isStart ? 3 : -3)
            mousePress(w.area, from, y)
            for (let step = 1; step <= 5; ++step)
                mouseMove(w.area, from + (x - from) * step / 5, y)
            mouseRelease(w.area, x, y)
        }

        function test_envelopeHandlesAndFields() {
            const w = drawn("burst")
            const bucket = w.plot.secondsPerBucket
            const duration = w.editor.duration
            verify(bucket > 0 && bucket <= duration / 4000 + 1e-9)

            // Loud only around 10-12 s, flat wherever the file is silent.
            let firstLoud = -1
            let lastLoud = -1
            for (let t = bucket / 2; t < duration; t += bucket) {
                const level = w.plot.levelAt(t)
                if (level > 0.5) {
                    if (firstLoud < 0)
                        firstLoud = t
                    lastLoud = t
                }
                if ((t > 12 + bucket && t < 30 - bucket) || t > 40 + bucket || t < 10 - bucket)
                    compare(level, 0, "flat at " + t)
            }
            verify(Math.abs(firstLoud - 10) <= bucket, "burst starts at " + firstLoud)
            verify(Math.abs(lastLoud - 12) <= bucket, "burst ends at " + lastLoud)
            verify(Math.abs(w.plot.levelAt(35) - 0.2) < 0.02, "tone at " + w.plot.levelAt(35))

            // Dragged near the burst, zoomed in there with Ctrl+wheel, dragged onto it.
            const start = child(w.inspector, "trimStartHandle")
            dragHandle(w, start, w.editor.xOf(10))
            verify(Math.abs(Fixtures.settingsOf(w.job).trimStart - 10) < duration / w.area.width)
            mouseWheel(w.area, w.editor.xOf(10), 10, 0, 480, Qt.NoButton, Qt.ControlModifier)
            mouseWheel(w.area, w.editor.xOf(10), 10, 0, 480, Qt.NoButton, Qt.ControlModifier)
            verify(w.editor.zoomed)
            verify(w.editor.viewStart < 10 && w.editor.viewStart + w.editor.viewSpan > 10)
            verify(w.editor.viewSpan / w.area.width < bucket, "a pixel is finer than a bucket")
            // The zoomed view gets finer detail than the overview.
            tryVerify(() => w.plot.secondsPerBucket < bucket, 10000, "detail drawn")
            dragHandle(w, start, w.editor.xOf(10))
            const trimStart = Fixtures.settingsOf(w.job).trimStart
            verify(Math.abs(trimStart - 10) <= bucket, "start at " + trimStart)
            compare(child(w.inspector, "trimStartField").text, w.inspector.jobView.localeNumber(trimStart))

            // A double click shows the whole file again; a typed start moves the handle.
            mouseDoubleClickSequence(w.area, 5, 10)
            verify(!w.editor.zoomed)
            typeInto(child(w.inspector, "trimStartField"), "30")
            compare(Fixtures.settingsOf(w.job).trimStart, 30)
            verify(Math.abs(start.x + start.width / 2 - w.editor.xOf(30)) <= 1)

            // The end handle dragged to the very end clears the end trim, as typing would.
            const end = child(w.inspector, "trimEndHandle")
            dragHandle(w, end, w.editor.xOf(41))
            verify(Math.abs(Fixtures.settingsOf(w.job).trimEnd - 41) < duration / w.area.width)
            dragHandle(w, end, w.area.width + 20)
            compare(Fixtures.settingsOf(w.job).trimEnd, null)
        }

        function test_keyboardMovesHandles() {
            const w = drawn("burst")
            w.area.forceActiveFocus()
            keyClick(Qt.Key_Tab)
            const start = child(w.inspector, "trimStartHandle")
            verify(start.activeFocus, "Tab reaches the start handle")
            compare(start.Accessible.role, Accessible.Slider)
            keyClick(Qt.Key_Right)
            compare(Fixtures.settingsOf(w.job).trimStart, 0.1)
            keyClick(Qt.Key_Right, Qt.ShiftModifier)
            compare(Fixtures.settingsOf(w.job).trimStart, 1.1)
            keyClick(Qt.Key_Left)
            compare(Fixtures.settingsOf(w.job).trimStart, 1)
            compare(child(w.inspector, "trimStartField").text, "1")
            keyClick(Qt.Key_Tab)
            verify(child(w.inspector, "trimEndHandle").activeFocus)
            keyClick(Qt.Key_Left, Qt.ShiftModifier)
            compare(Fixtures.settingsOf(w.job).trimEnd, 44)
            keyClick(Qt.Key_Right, Qt.ShiftModifier)
            compare(Fixtures.settingsOf(w.job).trimEnd, null)
        }

        function test_fadesAndClipping() {
            const w = drawn("burst")
            typeInto(child(w.inspector, "trimStartField"), "5")
            typeInto(child(w.inspector, "trimEndField"), "42")
            const fadeIn = child(w.inspector, "fadeInSlider")
            const fadeOut = child(w.inspector, "fadeOutSlider")
            fadeIn.forceActiveFocus()
            for (let i = 0; i < 4; ++i)
                keyClick(Qt.Key_Right)
            fadeOut.forceActiveFocus()
            for (let i = 0; i < 6; ++i)
                keyClick(Qt.Key_Right)
            compare(Fixtures.settingsOf(w.job).fadeIn, 2)
            compare(Fixtures.settingsOf(w.job).fadeOut, 3)
            const perSecond = w.area.width / w.editor.duration
            const rampIn = child(w.inspector, "fadeInRamp")
            const rampOut = child(w.inspector, "fadeOutRamp")
            verify(rampIn.visible && rampOut.visible)
            verify(Math.abs(rampIn.x - 5 * perSecond) <= 1)
            verify(Math.abs(rampIn.width - 2 * perSecond) <= 1, "fade-in ramp " + rampIn.width)
            verify(Math.abs(rampOut.x + rampOut.width - 42 * perSecond) <= 1)
            verify(Math.abs(rampOut.width - 3 * perSecond) <= 1, "fade-out ramp " + rampOut.width)

            // +12 dB takes the burst (0.9) past full scale but not the tone (0.2).
            compare(w.plot.clippedRanges.length, 0)
            Fixtures.setVolumeGain(w.job, 12)
            const bucket = w.plot.secondsPerBucket
            verify(w.plot.clippedRanges.length > 0)
            for (const range of w.plot.clippedRanges)
                verify(range.start >= 10 - bucket && range.end <= 12 + bucket,
                       "clipped " + range.start + "-" + range.end)
            compare(findChild(w.inspector, "clipMark").objectName, "clipMark")

            // Peak normalisation draws the kept part as loud as it will be, without clipping.
            Fixtures.setVolumeGain(w.job, 0)
            mouseClick(child(w.inspector, "normalizeCheckBox"))
            verify(Fixtures.settingsOf(w.job).normalizePeak)
            verify(Math.abs(w.plot.displayGain - 1 / w.plot.levelAt(11)) < 0.05,
                   "gain " + w.plot.displayGain)
            compare(w.plot.clippedRanges.length, 0)
        }

        function test_zoomScrollAndPlayhead() {
            const w = drawn("burst")
            const duration = w.editor.duration
            w.area.forceActiveFocus()
            keyClick(Qt.Key_Plus)
            keyClick(Qt.Key_Plus)
            compare(w.editor.viewSpan, duration / 4)
            const start = w.editor.viewStart
            // Dragging the background a quarter of its width to the left shows later audio.
            const y = w.area.height / 2
            mousePress(w.area, w.area.width * 0.75, y)
            for (let step = 1; step <= 4; ++step)
                mouseMove(w.area, w.area.width * (0.75 - step * 0.0625), y)
            mouseRelease(w.area, w.area.width * 0.5, y)
            verify(Math.abs(w.editor.viewStart - (start + duration / 16)) < 0.01,
                   "scrolled to " + w.editor.viewStart)
            compare(w.editor.playhead, -1)
            // A click without a drag puts the playhead there.
            mouseClick(w.area, w.area.width / 2, y)
            verify(Math.abs(w.editor.playhead - w.editor.secondsAt(w.area.width / 2)) < 0.01)
            keyClick(Qt.Key_Minus)
            keyClick(Qt.Key_Minus)
            verify(!w.editor.zoomed)
            compare(w.editor.viewStart, 0)
        }

        function test_trackChangeRedraws() {
            const w = drawn("two-shapes")
            verify(w.plot.levelAt(1) > 0.5 && w.plot.levelAt(3) === 0)
            const combo = child(w.inspector, "trackCombo")
            combo.forceActiveFocus()
            keyClick(Qt.Key_Down)
            compare(Fixtures.settingsOf(w.job).selectedTrackIndex, 1)
            tryVerify(() => w.plot.levelAt(3) > 0.5, 30000, "the second track is drawn")
            compare(w.plot.levelAt(1), 0)
        }

        // Nothing to draw is said at once, rather than waited for.
        function test_withoutAudioSaysWhy() {
            const job = Fixtures.readyJob("no-audio")
            const inspector = createTemporaryObject(inspectorComponent, stage, { job: job })
            const editor = child(inspector, "waveformEditor")
            verify(editor.visible)
            compare(child(inspector, "waveformStatus").text, "The file has no audio track.")
            verify(!child(inspector, "auditionButton").enabled)
        }

        function test_auditionPlaysTheKeptPart() {
            const w = drawn("burst")
            typeInto(child(w.inspector, "trimStartField"), "10")
            typeInto(child(w.inspector, "trimEndField"), "11.5")
            const audition = w.editor.audition
            const button = child(w.inspector, "auditionButton")
            tryVerify(() => button.enabled, 5000, "a sound output is there")
            const heard = []
            const follow = () => heard.push(audition.position)
            audition.positionChanged.connect(follow)
            mouseClick(button)
            tryVerify(() => audition.isPlaying, 5000)
            tryVerify(() => !audition.isPlaying, 15000, "stops by itself")
            audition.positionChanged.disconnect(follow)
            verify(heard.length > 3, "the playhead moved: " + heard)
            verify(Math.min(...heard) >= 9.95, "from the trim start: " + heard)
            verify(Math.max(...heard) <= 11.5, "not past the trim end: " + heard)
            verify(audition.position >= 11.3, "to the trim end: " + audition.position)
            compare(w.editor.playhead, audition.position)
        }
    }
}
