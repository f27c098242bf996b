import QtQuick
import QtQuick.Controls
import Tonbrook

// The application window: the File menu's one command over the main view of the queue.
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

    menuBar: MenuBar {
        Menu {
            title: "&File"

            Action {
                objectName: "openVideosAction"
                text: "Open Videos..."
                shortcut: StandardKey.Open
                onTriggered: ShellNotices.postOpenVideoFiles()
            }
            MenuSeparator {}
            Action {
                text: "&Quit"
                shortcut: StandardKey.Quit
                onTriggered: window.close()
            }
        }
    }

    MainView {
        objectName: "mainView"
        anchors.fill: parent
        queue: window.queue
    }
}
