import QtQuick
import Tavrenhold.Design

// One entry of a NotchMenu: its text, highlighted while hovered; a tap triggers it (and closes the
// menu it is in).
Item {
    id: entry

    property string text
    property color textColor: Style.ink
    property font font: Style.body

    signal triggered()

    implicitWidth: label.implicitWidth + 24
    implicitHeight: 24

    Rectangle {
        anchors.fill: parent
        anchors.leftMargin: 3
        anchors.rightMargin: 3
        radius: 5
        visible: hover.hovered
        color: Style.fillHover
    }
    Text {
        id: label
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        text: entry.text
        font: entry.font
        color: entry.textColor
    }
    HoverHandler {
        id: hover
    }
    TapHandler {
        onTapped: {
            entry.triggered()
            let menu = entry.parent
            while (menu && menu.opened === undefined)
                menu = menu.parent
            if (menu)
                menu.close()
        }
    }
}
