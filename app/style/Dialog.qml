import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.Dialog {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding,
                            implicitHeaderWidth,
                            implicitFooterWidth)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding
                             + (implicitHeaderHeight > 0 ? implicitHeaderHeight + spacing : 0)
                             + (implicitFooterHeight > 0 ? implicitFooterHeight + spacing : 0))

    padding: 16
    topPadding: 8

    // A popup keeps the palette it had when it was made; the application palette is live.
    background: Rectangle {
        radius: 10
        color: system.window
        border.width: 1
        border.color: system.mid

        SystemPalette { id: system }
    }

    header: T.Label {
        text: control.title
        visible: control.title
        elide: Text.ElideRight
        font.bold: true
        padding: 16
        bottomPadding: 0
        color: palette.windowText
    }

    footer: DialogButtonBox {
        visible: count > 0
        padding: 16
        topPadding: 8
    }

    T.Overlay.modal: Rectangle {
        color: Color.transparent(control.palette.shadow, 0.4)
    }
    T.Overlay.modeless: Rectangle {
        color: Color.transparent(control.palette.shadow, 0.15)
    }
}
