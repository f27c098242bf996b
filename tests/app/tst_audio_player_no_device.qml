import QtQuick
import QtTest
import Tonbrook
import TonbrookTest

// Run beside a sound server that has no output at first (with_null_sink.sh --no-sink).
Item {
    id: stage
    width: 400
    height: 300

    TestCase {
        name: "AudioPlayerWithoutDevice"
        when: windowShown

        Component {
            id: inspectorComponent
            InspectorView {
                width: 340
                height: 1080
            }
        }

        Component {
            id: playerComponent
            AudioPlayerView {
                width: 360
            }
        }

        function test_playWaitsForADevice() {
            const view = createTemporaryObject(playerComponent, stage,
                                               { audioURL: Fixtures.shortMp3(), title: "Preview" })
            const play = findChild(view, "playButton")
            const reason = findChild(view, "noDeviceLabel")
            verify(!view.player.hasOutputDevice)
            verify(!play.enabled)
            compare(play.helpText, "No audio output device")
            verify(reason.visible)
            // The waveform's audition says the same; beside the player, out of its way.
            const inspector = createTemporaryObject(inspectorComponent, stage,
                                                    { x: 420, job: Fixtures.readyJob("burst") })
            const audition = findChild(inspector, "auditionButton")
            tryVerify(() => findChild(inspector, "waveformPlot").isReady, 30000)
            verify(!audition.enabled)
            compare(audition.helpText, "No audio output device")
            verify(findChild(inspector, "auditionNoDeviceLabel").visible)
            mouseClick(play)
            verify(!view.player.isPlaying)
            compare(play.symbol, "play.circle.fill")

            verify(Fixtures.addAudioSink(), "pactl added a sink")
            tryVerify(() => view.player.hasOutputDevice, 10000, "the new device is seen")
            verify(play.enabled)
            verify(!reason.visible)
            tryVerify(() => audition.enabled, 10000, "the audition sees it too")
            verify(!findChild(inspector, "auditionNoDeviceLabel").visible)
            mouseClick(play)
            verify(view.player.isPlaying)
            tryVerify(() => view.player.currentTime >= 0.5, 10000, "the clock runs")
        }
    }
}
