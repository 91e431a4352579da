import QtQuick
import Tavrenhold.Design

// One line of text in a style font at its exact size, halves included: Qt draws fonts at whole
// pixel sizes only, so a half size is laid out at four times the size and scaled down. Text wider
// than `maximumWidth` (when set) is scaled down further to fit it, so a long caption never pushes
// its neighbours out of their cells.
//     NotchText { text: "16:00"; font: Style.numeric; size: Style.numericSize; color: Style.ink }
Item {
    id: box

    property string text
    property font font
    // In points; the font's own (whole) pixel size unless told.
    property real size: font.pixelSize
    property color color: Style.ink
    // 0 leaves the width free.
    property real maximumWidth: 0

    // Whole sizes are drawn as they are; others at four times the size.
    readonly property int oversample: Math.abs(size - Math.round(size)) < 0.001 ? 1 : 4
    // How much the drawn text is made smaller to fit `maximumWidth`.
    readonly property real fit: {
        const natural = label.implicitWidth / oversample
        return maximumWidth > 0 && natural > maximumWidth ? maximumWidth / natural : 1
    }
    readonly property real drawnScale: fit / oversample

    implicitWidth: label.implicitWidth * drawnScale
    implicitHeight: label.implicitHeight / oversample
    width: implicitWidth
    height: implicitHeight

    Text {
        id: label
        objectName: "notchTextLabel"
        anchors.verticalCenter: parent.verticalCenter
        transformOrigin: Item.Left
        scale: box.drawnScale
        text: box.text
        color: box.color
        maximumLineCount: 1
        font: Qt.font({
            family: box.font.family,
            weight: box.font.weight,
            italic: box.font.italic,
            pixelSize: Math.max(1, Math.round(box.size * box.oversample))
        })
    }
}
