import QtQuick
import QtQuick.Layouts
import Tonbrook

// One queue row per job status beside the inspector of a finished job.
Rectangle {
    id: gallery

    required property var rowJobs
    required property ConversionJob inspectedJob

    width: 1000
    height: 920
    color: Theme.windowBackground

    ColumnLayout {
        x: 16
        y: 16
        width: 590
        spacing: 8

        Repeater {
            model: gallery.rowJobs
            delegate: QueueItemView {
                required property var modelData
                required property int index
                Layout.fillWidth: true
                job: modelData
                isSelected: modelData === gallery.inspectedJob
            }
        }
    }

    Rectangle {
        x: 619
        width: 1
        height: parent.height
        color: Theme.separator
    }

    InspectorView {
        x: 620
        width: 380
        height: parent.height
        job: gallery.inspectedJob
    }
}
