import QtQuick
import QtQuick.Controls.impl
import QtQuick.Templates as T

T.ComboBox {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding,
                             implicitIndicatorHeight + topPadding + bottomPadding)

    padding: 4
    leftPadding: padding + (!control.mirrored || !indicator || !indicator.visible ? 0 : indicator.width + spacing)
    rightPadding: padding + (control.mirrored || !indicator || !indicator.visible ? 0 : indicator.width + spacing)
    spacing: 4

    delegate: ItemDelegate {
        width: ListView.view.width
        text: control.textRole ? (Array.isArray(control.model) ? modelData[control.textRole]
                                                                : model[control.textRole])
                               : modelData
        font.weight: control.currentIndex === index ? Font.DemiBold : Font.Normal
        highlighted: control.highlightedIndex === index
        hoverEnabled: control.hoverEnabled
    }

    indicator: ColorImage {
        x: control.mirrored ? control.padding + 4 : control.width - width - control.padding - 4
        y: control.topPadding + (control.availableHeight - height) / 2
        width: 12
        height: 12
        sourceSize: Qt.size(12, 12)
        color: control.palette.buttonText
        source: "images/chevron-down.svg"
        opacity: control.enabled ? 0.8 : 0.4
    }

    contentItem: T.TextField {
        leftPadding: !control.mirrored ? 6 : 2
        rightPadding: control.mirrored ? 6 : 2
        text: control.editable ? control.editText : control.displayText
        enabled: control.editable
        autoScroll: control.editable
        readOnly: control.down
        inputMethodHints: control.inputMethodHints
        validator: control.validator
        selectByMouse: control.selectTextByMouse
        font: control.font
        color: control.editable ? control.palette.text : control.palette.buttonText
        selectionColor: control.palette.highlight
        selectedTextColor: control.palette.highlightedText
        verticalAlignment: Text.AlignVCenter
        opacity: control.enabled ? 1 : 0.6
    }

    background: Rectangle {
        implicitWidth: 120
        implicitHeight: 28
        radius: 6
        color: Color.blend(control.editable ? control.palette.base : control.palette.button,
                           control.palette.highlight,
                           control.down ? 0.22 : control.hovered && !control.editable ? 0.10 : 0)
        border.width: 1
        border.color: control.palette.mid
        visible: !control.flat || control.down || control.hovered
        opacity: control.enabled ? 1 : 0.6

        FocusRing {
            anchors.fill: parent
            radius: parent.radius
            accent: control.palette.highlight
            visible: control.visualFocus || (control.editable && control.activeFocus)
        }
    }

    popup: T.Popup {
        y: control.height + 2
        width: control.width
        height: Math.min(contentItem.implicitHeight + topPadding + bottomPadding,
                         control.Window.height - topMargin - bottomMargin)
        topMargin: 6
        bottomMargin: 6
        padding: 4

        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: control.delegateModel
            currentIndex: control.highlightedIndex
            highlightMoveDuration: 0

            T.ScrollBar.vertical: ScrollBar {}
        }

        background: Rectangle {
            radius: 8
            color: control.palette.base
            border.width: 1
            border.color: control.palette.mid
        }
    }
}
