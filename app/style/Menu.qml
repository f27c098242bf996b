import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.Menu {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    margins: 0
    padding: 4
    overlap: 4

    delegate: MenuItem {}

    contentItem: ListView {
        implicitHeight: contentHeight
        model: control.contentModel
        interactive: Window.window
                     ? contentHeight + control.topPadding + control.bottomPadding > Window.window.height
                     : false
        clip: true
        currentIndex: control.currentIndex

        T.ScrollBar.vertical: ScrollBar {}
    }

    background: Rectangle {
        implicitWidth: 180
        implicitHeight: 28
        radius: 8
        color: control.palette.base
        border.width: 1
        border.color: control.palette.mid
    }

    T.Overlay.modal: Rectangle {
        color: Color.transparent(control.palette.shadow, 0.4)
    }
    T.Overlay.modeless: Rectangle {
        color: "transparent"
    }
}
