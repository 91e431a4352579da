import QtQuick
import Tavrenhold.Design

// The picker's last row: "Sound Settings…" with the same hover wash as an output row.
Item {
    id: root

    signal settings()

    readonly property bool hovering: hover.hovered

    implicitWidth: 240
    implicitHeight: label.implicitHeight + 12 + 6

    Rectangle {
        anchors.fill: parent
        anchors.leftMargin: 4
        anchors.rightMargin: 4
        anchors.bottomMargin: 6
        radius: 6
        color: Qt.rgba(Style.ink.r, Style.ink.g, Style.ink.b, root.hovering ? 0.08 : 0)
    }
    Text {
        id: label
        objectName: "settingsLabel"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        y: 6
        text: qsTr("Sound Settings…")
        font.pixelSize: 13
        color: Style.ink
        horizontalAlignment: Text.AlignLeft
    }

    HoverHandler {
        id: hover
    }
    TapHandler {
        onTapped: root.settings()
    }
}
