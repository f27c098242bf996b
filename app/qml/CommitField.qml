import QtQuick
import QtQuick.Controls

// A one-line field that shows a stored value and hands back what was typed on Return or when
// it loses focus; the stored value decides what it shows afterwards.
TextField {
    id: field

    required property string value
    signal committed(string text)

    text: value
    selectByMouse: true

    // Commits typed text that has not been committed yet, as Return would; for hosts that
    // are about to go away while the field still has focus.
    function commitPending() {
        if (field.text !== field.value)
            field.editingFinished()
    }

    onEditingFinished: {
        field.committed(field.text)
        // Show the stored value again, also when the commit left it unchanged.
        field.text = Qt.binding(() => field.value)
    }
}
