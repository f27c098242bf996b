import QtQuick
import QtTest
import Tonbrook
import TonbrookTest

// The views need a visible parent; TestCase itself is not drawn.
Item {
    id: stage
    width: 400
    height: 300

    TestCase {
        id: testCase
        name: "AudioPlayerView"
        when: windowShown

        Component {
            id: playerComponent
            AudioPlayerView {
                width: 360
            }
        }

        function init() {
            failOnWarning(/SymbolIcon/)
        }

        function makePlayer(url, title) {
            const view = createTemporaryObject(playerComponent, stage,
                                               { audioURL: url, title: title || "Preview" })
            verify(view, "player view created")
            return view
        }

        function child(view, name) {
            const item = findChild(view, name)
            verify(item, "child " + name)
            return item
        }

        // A player whose file has loaded and reported its duration.
        function loadedPlayer() {
            const view = makePlayer(Fixtures.shortMp3())
            tryVerify(() => view.player.duration > 0, 10000, "the MP3 reports a duration")
            return view
        }

        function test_formatTime() {
            const view = makePlayer(Fixtures.shortMp3())
            compare(view.player.formatTime(0), "00:00")
            compare(view.player.formatTime(59.999), "00:59")
            compare(view.player.formatTime(75.9), "01:15")
            compare(view.player.formatTime(3600), "60:00")
            compare(view.player.formatTime(6000.5), "100:00")
        }

        function test_generatedMp3Loads() {
            const view = loadedPlayer()
            verify(Math.abs(view.player.duration - 3.0) < 0.1, "duration " + view.player.duration)
            compare(view.player.seekMaximum, view.player.duration)
            compare(child(view, "durationLabel").text, "00:03")
            compare(child(view, "currentTimeLabel").text, "00:00")
            compare(child(view, "seekSlider").to, view.player.duration)
            compare(view.player.volume, 0.8)
        }

        function test_skipsClampAtBothEnds() {
            const view = loadedPlayer()
            const player = view.player
            player.seek(1.0)
            compare(player.currentTime, 1.0)
            mouseClick(child(view, "skipBackButton"))
            compare(player.currentTime, 0)
            player.seek(player.duration - 2)
            mouseClick(child(view, "skipForwardButton"))
            compare(player.currentTime, player.duration)
            compare(child(view, "currentTimeLabel").text, "00:03")
        }

        function test_volumeIconFollowsTheSlider() {
            const view = loadedPlayer()
            const slider = child(view, "volumeSlider")
            const icon = child(view, "volumeIcon")
            compare(icon.symbol, "speaker.wave.2.fill")
            mousePress(slider, slider.leftPadding + 1, slider.height / 2)
            mouseMove(slider, -20, slider.height / 2)
            mouseRelease(slider, -20, slider.height / 2)
            compare(view.player.volume, 0)
            compare(icon.symbol, "speaker.slash.fill")
            mouseClick(slider, slider.width / 2, slider.height / 2)
            verify(view.player.volume > 0)
            compare(icon.symbol, "speaker.wave.2.fill")
        }

        function test_missingFileLeavesAnInertPlayer() {
            const view = makePlayer(Fixtures.missingFile())
            verify(!view.player.hasPlayer)
            compare(view.player.seekMaximum, 0.1)
            compare(child(view, "currentTimeLabel").text, "00:00")
            compare(child(view, "durationLabel").text, "00:00")
            mouseClick(child(view, "playButton"))
            verify(!view.player.isPlaying)
            compare(child(view, "playButton").symbol, "play.circle.fill")
        }

        function test_pauseKeepsThePositionAndTheEndResets() {
            const view = loadedPlayer()
            const player = view.player
            const play = child(view, "playButton")
            player.seek(1.0)
            mouseClick(play)
            verify(player.isPlaying)
            verify(player.isTimerRunning)
            compare(play.symbol, "pause.circle.fill")
            wait(300)
            mouseClick(play)
            verify(!player.isPlaying)
            verify(!player.isTimerRunning)
            const paused = player.currentTime
            verify(paused >= 1.0, "position " + paused)
            wait(300)
            compare(player.currentTime, paused)

            // Playing on from the pause runs to the end, where position and timer reset.
            mouseClick(play)
            verify(player.isPlaying)
            tryVerify(() => !player.isPlaying, 10000, "playback ends")
            compare(player.currentTime, 0)
            compare(child(view, "currentTimeLabel").text, "00:00")
            verify(!player.isTimerRunning)
        }

        function test_longTitleIsCutInTheMiddle() {
            const title = "An evening at the harbour festival, second set, complete recording"
            const view = makePlayer(Fixtures.shortMp3(), title)
            const label = child(view, "playerTitle")
            compare(label.text, title)
            verify(label.truncated)
        }
    }
}
