import QtQuick
import QtQuick.Controls
import Tonbrook

// The capsule at the end of a queue row's title line, by job status.
Item {
    id: badge

    required property int status
    // Why the job failed, shown on hover; empty for any other status.
    property string reason: ""
    readonly property bool showsReason: reasonHover.hovered && reason !== ""

    readonly property bool usesGradient: status === JobView.Converting
                                         || status === JobView.Completed
    readonly property var look: {
        const quiet = Theme.withOpacity(Theme.secondary, 0.15)
        const blueFill = Theme.withOpacity(Theme.blue, 0.15)
        switch (status) {
        case JobView.Inspecting:
            return { text: qsTr("Analyzing"), weight: Font.Medium, color: Theme.blue, fill: blueFill }
        case JobView.Ready:
            return { text: qsTr("Ready"), weight: Font.DemiBold, color: Theme.batchColor, fill: blueFill }
        case JobView.Converting:
            return { text: qsTr("Converting"), weight: Font.Bold, color: "white", fill: "transparent" }
        case JobView.Completed:
            return { text: qsTr("Done"), weight: Font.Bold, color: "white", fill: "transparent" }
        case JobView.Failed:
            return { text: qsTr("Failed"), weight: Font.Bold, color: "white", fill: Theme.red }
        case JobView.Cancelled:
            return { text: qsTr("Cancelled"), weight: Font.Medium, color: Theme.secondary, fill: quiet }
        default:
            return { text: qsTr("Queued"), weight: Font.Medium, color: Theme.secondary, fill: quiet }
        }
    }
    readonly property string text: look.text

    implicitWidth: content.implicitWidth + 12
    implicitHeight: content.implicitHeight + 4

    Accessible.role: Accessible.StaticText
    Accessible.name: look.text
    Accessible.description: reason
    ToolTip.visible: showsReason
    ToolTip.text: reason
    ToolTip.delay: 600

    HoverHandler {
        id: reasonHover
    }

    Rectangle {
        visible: !badge.usesGradient
        anchors.fill: parent
        radius: height / 2
        color: badge.look.fill
    }
    GradientFill {
        visible: badge.usesGradient
        anchors.fill: parent
        radius: height / 2
        gradient: badge.status === JobView.Completed ? Theme.successGradient
                                                     : Theme.primaryGradient
    }
    Row {
        id: content
        anchors.centerIn: parent
        spacing: 2

        SymbolIcon {
            objectName: "doneCheckmark"
            visible: badge.status === JobView.Completed
            anchors.verticalCenter: parent.verticalCenter
            symbol: "checkmark"
            size: 9
            color: "white"
        }
        Label {
            objectName: "badgeLabel"
            text: badge.look.text
            font.pixelSize: 10
            font.weight: badge.look.weight
            color: badge.look.color
        }
    }
}
