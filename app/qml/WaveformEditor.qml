import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// The selected track's waveform with the trim and the fades drawn on it: handles that set the
// trim, a playhead for listening to the source, and zoom by Ctrl+wheel or pinch.
ColumnLayout {
    id: editor

    required property JobView view

    readonly property real duration: view.durationSeconds
    // The stretch on screen, the whole file unless zoomed.
    property real viewStart: 0
    property real viewSpan: duration
    readonly property bool zoomed: viewSpan < duration - 1e-6
    // The handles' places: the job's trim, or where a handle is being dragged.
    property real shownStart: view.trimStartSeconds
    property real shownEnd: view.trimEndSeconds
    // Where listening starts or is; -1 before anything was played or clicked.
    property real playhead: -1
    // Handles never come closer than this.
    readonly property real shortestKept: 0.1
    // The shortest stretch a zoom shows.
    readonly property real shortestSpan: 0.5

    readonly property alias plot: plot
    readonly property alias audition: audition

    function xOf(seconds) {
        return (seconds - viewStart) / viewSpan * area.width
    }
    function secondsAt(x) {
        return viewStart + x / area.width * viewSpan
    }
    // "1:05.3": minutes, seconds and tenths.
    function timeText(seconds, decimals) {
        const places = decimals === undefined ? 1 : decimals
        // Rounded first, so that 59.96 s reads 1:00.0 rather than 0:60.0.
        const scale = Math.pow(10, places)
        const whole = Math.round(Math.max(0, seconds) * scale) / scale
        const minutes = Math.floor(whole / 60)
        let rest = (whole - minutes * 60).toFixed(places)
        if (Number(rest) < 10)
            rest = "0" + rest
        return minutes + ":" + rest
    }
    function showView(start, span) {
        viewSpan = Math.min(duration, Math.max(shortestSpan, span))
        viewStart = Math.min(Math.max(0, start), duration - viewSpan)
    }
    function zoomAround(x, factor) {
        const anchor = secondsAt(x)
        const span = Math.min(duration, Math.max(shortestSpan, viewSpan / factor))
        showView(anchor - x / area.width * span, span)
    }
    function resetZoom() {
        viewStart = 0
        viewSpan = Qt.binding(() => editor.duration)
    }
    // Rounded to hundredths; the very end of the file is the file's own end, no trim.
    function handleSeconds(seconds) {
        if (seconds >= duration - viewSpan / area.width / 2)
            return duration
        return Math.max(0, Math.round(seconds * 100) / 100)
    }
    function commitStart(seconds) {
        view.commitTrimStartSeconds(Math.min(seconds, shownEnd - shortestKept))
        shownStart = Qt.binding(() => editor.view.trimStartSeconds)
    }
    function commitEnd(seconds) {
        view.commitTrimEndSeconds(Math.max(seconds, shownStart + shortestKept))
        shownEnd = Qt.binding(() => editor.view.trimEndSeconds)
    }
    function toggleAudition() {
        if (audition.isPlaying) {
            audition.stop()
            return
        }
        const from = playhead >= shownStart && playhead < shownEnd - 0.05 ? playhead : shownStart
        audition.play(from, shownEnd)
    }
    // Tick spacing: the shortest of these that leaves room for a label.
    function tickStep() {
        const steps = [0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600]
        for (const step of steps) {
            if (step / viewSpan * area.width >= 56)
                return step
        }
        return 7200
    }
    function ticks() {
        if (!(viewSpan > 0) || area.width <= 0)
            return []
        const step = tickStep()
        const list = []
        for (let t = Math.ceil(viewStart / step - 1e-9) * step; t <= viewStart + viewSpan + 1e-9;
             t += step)
            list.push({ seconds: t, decimals: step < 1 ? 1 : 0 })
        return list
    }

    spacing: 4
    onDurationChanged: resetZoom()

    SourceAudition {
        id: audition
        source: editor.view.job ? editor.view.job.sourceURL : ""
        trackIndex: editor.view.selectedTrackIndex
        onPositionChanged: {
            if (!isPlaying)
                return
            editor.playhead = position
            // A zoomed view follows the playhead as it leaves the screen.
            if (editor.zoomed && position > editor.viewStart + editor.viewSpan)
                editor.showView(position - editor.viewSpan * 0.1, editor.viewSpan)
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8

        PlainIconButton {
            objectName: "auditionButton"
            symbol: audition.isPlaying ? "pause.circle.fill" : "play.circle.fill"
            symbolSize: 20
            symbolGradient: Theme.primaryGradient
            enabled: audition.hasOutputDevice && plot.isReady && plot.problem === ""
            opacity: enabled ? 1.0 : 0.4
            helpText: !audition.hasOutputDevice ? qsTr("No audio output device")
                      : audition.isPlaying ? qsTr("Pause") : qsTr("Play the Trimmed Audio")
            onClicked: editor.toggleAudition()
        }
        Label {
            objectName: "keptText"
            Layout.fillWidth: true
            text: editor.timeText(editor.shownStart) + " – " + editor.timeText(editor.shownEnd)
            font.pixelSize: 11
            font.family: Theme.monospaceFamily
            color: Theme.secondary
            elide: Text.ElideRight
        }
        Label {
            objectName: "playheadText"
            visible: editor.playhead >= 0
            text: editor.timeText(editor.playhead)
            font.pixelSize: 11
            font.family: Theme.monospaceFamily
            color: Theme.accent
        }
    }

    FocusScope {
        id: area
        objectName: "waveformArea"
        Layout.fillWidth: true
        Layout.preferredHeight: 72
        activeFocusOnTab: true
        clip: true

        Accessible.role: Accessible.Graphic
        Accessible.name: qsTr("Waveform")

        Keys.onSpacePressed: editor.toggleAudition()
        Keys.onPressed: (event) => {
            if (event.key === Qt.Key_Plus || event.key === Qt.Key_Equal) {
                editor.zoomAround(area.width / 2, 2)
                event.accepted = true
            } else if (event.key === Qt.Key_Minus) {
                editor.zoomAround(area.width / 2, 0.5)
                event.accepted = true
            }
        }

        Rectangle {
            anchors.fill: parent
            radius: 6
            color: Theme.withOpacity(Theme.secondary, 0.08)
            border.color: area.activeFocus ? Theme.accent : Theme.borderSubtle
            border.width: 1
        }

        WaveformPlot {
            id: plot
            objectName: "waveformPlot"
            anchors.fill: parent
            job: editor.view.job
            viewStart: editor.viewStart
            viewEnd: editor.viewStart + editor.viewSpan
            trimStart: editor.shownStart
            trimEnd: editor.shownEnd
            waveColor: Theme.accent
            dimColor: Theme.withOpacity(Theme.secondary, 0.35)
            clipColor: Theme.red
            guideColor: Theme.withOpacity(Theme.secondary, 0.25)
        }

        // The parts cut away, dimmed once more over their fainter waveform.
        Rectangle {
            x: 0
            width: Math.max(0, editor.xOf(editor.shownStart))
            height: area.height
            color: Theme.withOpacity(Theme.secondary, 0.1)
        }
        Rectangle {
            x: Math.min(area.width, editor.xOf(editor.shownEnd))
            width: area.width - x
            height: area.height
            color: Theme.withOpacity(Theme.secondary, 0.1)
        }

        // Scrolls a zoomed view; a click without a drag puts the playhead there.
        MouseArea {
            id: background
            anchors.fill: parent
            acceptedButtons: Qt.LeftButton
            property real pressX: 0
            property real pressStart: 0
            property bool dragged: false
            onPressed: (mouse) => {
                area.forceActiveFocus()
                pressX = mouse.x
                pressStart = editor.viewStart
                dragged = false
            }
            onPositionChanged: (mouse) => {
                if (Math.abs(mouse.x - pressX) > 3)
                    dragged = true
                if (dragged && editor.zoomed)
                    editor.showView(pressStart - (mouse.x - pressX) / area.width * editor.viewSpan,
                                    editor.viewSpan)
            }
            onReleased: (mouse) => {
                if (!dragged)
                    editor.playhead = Math.min(Math.max(0, editor.secondsAt(mouse.x)),
                                               editor.duration)
            }
            onDoubleClicked: editor.resetZoom()
            onWheel: (wheel) => {
                if (!(wheel.modifiers & Qt.ControlModifier)) {
                    wheel.accepted = false
                    return
                }
                editor.zoomAround(wheel.x, Math.pow(2, wheel.angleDelta.y / 240))
            }
        }
        PinchHandler {
            target: null
            property real lastScale: 1
            onActiveChanged: lastScale = 1
            onActiveScaleChanged: {
                if (!active)
                    return
                editor.zoomAround(centroid.position.x, activeScale / lastScale)
                lastScale = activeScale
            }
        }

        // What the fades take away: from silence at the trim's edges up to full level.
        Item {
            objectName: "fadeInRamp"
            visible: editor.view.fadeInDuration > 0
            x: editor.xOf(editor.shownStart)
            width: editor.xOf(editor.shownStart + Math.min(editor.view.fadeInDuration,
                                                           editor.shownEnd - editor.shownStart)) - x
            height: area.height

            FadeRamp {
                anchors.fill: parent
                rising: true
            }
        }
        Item {
            objectName: "fadeOutRamp"
            visible: editor.view.fadeOutDuration > 0
            x: editor.xOf(editor.shownEnd - Math.min(editor.view.fadeOutDuration,
                                                      editor.shownEnd - editor.shownStart))
            width: editor.xOf(editor.shownEnd) - x
            height: area.height

            FadeRamp {
                anchors.fill: parent
                rising: false
            }
        }

        Repeater {
            model: plot.clippedRanges
            delegate: Rectangle {
                objectName: "clipMark"
                required property var modelData
                x: editor.xOf(modelData.start)
                width: Math.max(2, editor.xOf(modelData.end) - x)
                height: 3
                color: Theme.red
            }
        }

        Rectangle {
            objectName: "playhead"
            visible: editor.playhead >= 0
            x: Math.round(editor.xOf(editor.playhead))
            width: 1.5
            height: area.height
            color: Theme.primaryText
        }

        Label {
            objectName: "waveformStatus"
            anchors.centerIn: parent
            width: parent.width - 24
            horizontalAlignment: Text.AlignHCenter
            visible: text !== ""
            text: plot.problem !== "" ? plot.problem
                  : !plot.isReady ? qsTr("Drawing the waveform…") : ""
            font.pixelSize: 11
            color: Theme.secondary
            wrapMode: Text.WordWrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }

        TrimHandle {
            objectName: "trimStartHandle"
            isStart: true
            seconds: editor.shownStart
            Accessible.name: qsTr("Trim Start")
        }
        TrimHandle {
            objectName: "trimEndHandle"
            isStart: false
            seconds: editor.shownEnd
            Accessible.name: qsTr("Trim End")
        }
    }

    // Time labels under the waveform.
    Item {
        objectName: "timeRuler"
        Layout.fillWidth: true
        Layout.preferredHeight: 14

        Repeater {
            model: editor.ticks()
            delegate: Label {
                required property var modelData
                x: Math.min(Math.max(0, editor.xOf(modelData.seconds) - implicitWidth / 2),
                            parent.width - implicitWidth)
                text: editor.timeText(modelData.seconds, modelData.decimals)
                font.pixelSize: 9
                font.family: Theme.monospaceFamily
                color: Theme.secondary
            }
        }
    }

    Caption {
        objectName: "auditionNoDeviceLabel"
        Layout.fillWidth: true
        visible: !audition.hasOutputDevice
        text: qsTr("No audio output device")
        wrapMode: Text.Wrap
    }

    // A fade's ramp: the line from silence to full level, with what it takes away shaded.
    component FadeRamp: Canvas {
        required property bool rising
        readonly property color lineColor: Theme.batchColor

        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onLineColorChanged: requestPaint()
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            const low = rising ? 0 : width
            const high = rising ? width : 0
            ctx.beginPath()
            ctx.moveTo(low, height)
            ctx.lineTo(high, 0)
            ctx.lineTo(low, 0)
            ctx.closePath()
            ctx.fillStyle = Theme.withOpacity(lineColor, 0.15)
            ctx.fill()
            ctx.beginPath()
            ctx.moveTo(low, height)
            ctx.lineTo(high, 0)
            ctx.lineWidth = 1.5
            ctx.strokeStyle = lineColor
            ctx.stroke()
        }
    }

    // A trim edge: a line over the waveform with a grip, dragged with the mouse or moved with
    // the arrow keys (Shift for whole seconds); a slider to assistive technology.
    component TrimHandle: Item {
        id: handle

        required property bool isStart
        property real seconds
        // Read by assistive technology through the slider role (older Qt reads the
        // minimumValue and maximumValue names, newer from and to).
        readonly property real value: seconds
        readonly property real from: 0
        readonly property real to: editor.duration
        readonly property real minimumValue: from
        readonly property real maximumValue: to
        readonly property real stepSize: 0.1

        function move(seconds) {
            if (isStart)
                editor.commitStart(Math.max(0, seconds))
            else
                editor.commitEnd(Math.min(editor.duration, seconds))
        }

        width: 16
        height: area.height
        x: Math.round(editor.xOf(seconds)) - width / 2
        z: 2
        activeFocusOnTab: true
        Accessible.role: Accessible.Slider
        Accessible.description: editor.timeText(seconds, 2)
        Accessible.onIncreaseAction: move(Math.round((seconds + stepSize) * 100) / 100)
        Accessible.onDecreaseAction: move(Math.round((seconds - stepSize) * 100) / 100)

        Keys.onSpacePressed: editor.toggleAudition()
        Keys.onPressed: (event) => {
            const step = event.modifiers & Qt.ShiftModifier ? 1 : 0.1
            if (event.key === Qt.Key_Left) {
                move(Math.round((seconds - step) * 100) / 100)
                event.accepted = true
            } else if (event.key === Qt.Key_Right) {
                // A step past the end is the end itself.
                const next = Math.round((seconds + step) * 100) / 100
                move(next >= editor.duration ? editor.duration : next)
                event.accepted = true
            }
        }

        Rectangle {
            x: handle.width / 2 - 1
            width: 2
            height: parent.height
            color: Theme.accent
        }
        Rectangle {
            x: handle.isStart ? handle.width / 2 - 1 : handle.width / 2 - width + 1
            width: 9
            height: 16
            radius: 3
            color: Theme.accent
            border.color: handle.activeFocus ? Theme.primaryText : "transparent"
            border.width: 1.5
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.SizeHorCursor
            preventStealing: true
            onPressed: handle.forceActiveFocus()
            onPositionChanged: (mouse) => {
                const seconds = editor.handleSeconds(editor.secondsAt(mapToItem(area, mouse.x, 0).x))
                if (handle.isStart)
                    editor.shownStart = Math.min(seconds, editor.shownEnd - editor.shortestKept)
                else
                    editor.shownEnd = Math.max(seconds, editor.shownStart + editor.shortestKept)
            }
            onReleased: handle.move(handle.seconds)
        }
    }
}
