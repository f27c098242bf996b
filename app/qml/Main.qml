import QtQuick
import QtQuick.Controls
import Tonbrook

// The application window: the main view of the queue, whose toolbar carries the menu.
ApplicationWindow {
    id: window

    required property ConversionQueue queue

    width: 960
    height: 640
    minimumWidth: 800
    minimumHeight: 540
    visible: true
    title: "Tonbrook"
    color: Theme.windowBackground

    MainView {
        objectName: "mainView"
        anchors.fill: parent
        queue: window.queue
    }
}
