import QtQuick
import Tavrenhold.Design

// A rounded tile around one content item, padded 12 by 9, on Style.fill; an interactive tile shows
// Style.fillHover while hovered (moving with Motion.tap, at once under reduced motion). A tile that
// is not interactive never reacts to hover.
//     NotchTile { interactive: true; Text { text: "Clipboard" } }
Item {
    id: root

    property bool interactive: false
    default property alias content: holder.data

    readonly property bool hovering: hoverHandler.hovered && interactive
    property real hoverAmount: hovering ? 1 : 0
    NotchAnimation on hoverAmount {
        token: Motion.tap
    }
    readonly property color fillColor: Controls.tileFill(hoverAmount, Style.dark)

    implicitWidth: (holder.children.length > 0 ? holder.children[0].implicitWidth : 0) + 2 * Controls.tilePaddingX
    implicitHeight: (holder.children.length > 0 ? holder.children[0].implicitHeight : 0) + 2 * Controls.tilePaddingY

    Rectangle {
        anchors.fill: parent
        radius: Controls.tileCornerRadius
        color: root.fillColor
    }

    Item {
        id: holder
        anchors.fill: parent
        anchors.leftMargin: Controls.tilePaddingX
        anchors.rightMargin: Controls.tilePaddingX
        anchors.topMargin: Controls.tilePaddingY
        anchors.bottomMargin: Controls.tilePaddingY
    }

    HoverHandler {
        id: hoverHandler
        enabled: root.interactive
    }
}
