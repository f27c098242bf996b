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

    // A popup keeps the palette it had when it was made; the application palette is live.
    background: Rectangle {
        implicitWidth: 180
        implicitHeight: 28
        radius: 8
        color: system.base
        border.width: 1
        border.color: system.mid

        SystemPalette { id: system }
    }

    T.Overlay.modal: Rectangle {
        color: Color.transparent(control.palette.shadow, 0.4)
    }
    T.Overlay.modeless: Rectangle {
        color: "transparent"
    }
}
