import QtQuick
import Tavrenhold.Design

// One output in the picker: its icon in a 28-point circle (white on the accent when selected), its
// name on one line, a hover wash behind the whole row. A click calls onSelect.
Item {
    id: root

    property string name
    property string symbol
    property bool selected: false
    property color accent: palette.highlight
    signal select()

    readonly property bool hovering: hover.hovered

    implicitWidth: 240
    implicitHeight: row.implicitHeight + 12

    Rectangle {
        objectName: "rowWash"
        anchors.fill: parent
        anchors.leftMargin: 4
        anchors.rightMargin: 4
        radius: 6
        color: Qt.rgba(Style.ink.r, Style.ink.g, Style.ink.b, root.hovering ? 0.08 : 0)
    }

    Row {
        id: row
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10

        Rectangle {
            objectName: "rowCircle"
            width: 28
            height: 28
            radius: 14
            color: root.selected ? root.accent : Qt.rgba(Style.ink.r, Style.ink.g, Style.ink.b, 0.12)

            SymbolImage {
                objectName: "rowSymbol"
                anchors.centerIn: parent
                width: 14
                height: 14
                name: root.symbol
                color: root.selected ? "white" : Qt.rgba(Style.ink.r, Style.ink.g, Style.ink.b, 0.85)
            }
        }
        Text {
            objectName: "rowName"
            anchors.verticalCenter: parent.verticalCenter
            width: row.width - 28 - row.spacing
            text: root.name
            textFormat: Text.PlainText
            font.pixelSize: 13
            color: Style.ink
            maximumLineCount: 1
            elide: Text.ElideRight
        }
    }

    HoverHandler {
        id: hover
    }
    TapHandler {
        onTapped: root.select()
    }
}
