import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tonbrook

// A menu item that shows the key sequence of its window shortcut at the right, as desktop
// menus do. The shortcut itself triggers the command; the item only names it.
MenuItem {
    id: item

    property Shortcut shortcut

    readonly property string shortcutText: shortcut ? shortcut.nativeText : ""
    readonly property color textColor: item.highlighted ? item.palette.highlightedText
                                                        : item.palette.windowText

    contentItem: RowLayout {
        spacing: 28
        opacity: item.enabled ? 1.0 : 0.45

        Label {
            Layout.fillWidth: true
            text: item.text
            color: item.textColor
        }
        Label {
            objectName: "shortcutLabel"
            text: item.shortcutText
            color: item.textColor
            opacity: 0.7
        }
    }

    Accessible.name: text
    Accessible.description: shortcutText
}
