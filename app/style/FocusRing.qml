import QtQuick

// The keyboard focus ring: a 2 px accent outline drawn over the edge of the shape it rings.
Rectangle {
    required property color accent

    color: "transparent"
    border.width: 2
    border.color: accent
}
