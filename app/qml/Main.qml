import QtQuick
import QtQuick.Controls
import Tonbrook

// The application window; its content arrives with the main window view.
ApplicationWindow {
    width: 1000
    height: 680
    visible: true
    title: "Tonbrook"
    color: Theme.windowBackground
}
