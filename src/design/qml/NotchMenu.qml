import QtQuick
import Tavrenhold.Design

// A small context menu of NotchMenuItem entries, shown inside its parent item (kept `margins` from
// its edges) and closed by a tap on an entry or a press anywhere else in the window. Our own small
// item so the notch needs no Quick Controls.
//     NotchMenu { id: menu; NotchMenuItem { text: qsTr("Delete"); onTriggered: remove() } }
//     ... menu.popup(tile, point.x, point.y)
Item {
    id: menu

    default property alias entries: column.children
    property real margins: 0
    readonly property bool opened: visible

    visible: false
    z: 1000
    implicitWidth: Math.max(120, column.widest) + 8
    implicitHeight: column.implicitHeight + 8
    width: implicitWidth
    height: implicitHeight

    function open() {
        visible = true
    }
    function close() {
        visible = false
    }
    // Opens at (x, y) of `item`, moved as little as needed to stay inside the parent.
    function popup(item, x, y) {
        const at = item.mapToItem(menu.parent, x, y)
        const room = menu.parent
        menu.x = Math.max(margins, Math.min(at.x, room.width - width - margins))
        menu.y = Math.max(margins, Math.min(at.y, room.height - height - margins))
        open()
    }

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: Style.solidSurface
        border.width: 1
        border.color: Style.hairline
    }

    Column {
        id: column
        x: 4
        y: 4
        width: menu.width - 8
        readonly property real widest: {
            let w = 0
            for (let i = 0; i < children.length; ++i)
                w = Math.max(w, children[i].implicitWidth)
            return w
        }
        onChildrenChanged: {
            for (let i = 0; i < children.length; ++i)
                children[i].width = Qt.binding(() => column.width)
        }
    }

    // While open, a press anywhere in the window outside the menu closes it and goes on to what
    // lies below.
    MouseArea {
        parent: menu.visible && menu.Window.window ? menu.Window.window.contentItem : menu
        anchors.fill: parent
        z: 1e6
        enabled: menu.visible
        acceptedButtons: Qt.AllButtons
        onPressed: (mouse) => {
            const inside = mapToItem(menu, mouse.x, mouse.y)
            if (!menu.contains(inside))
                menu.close()
            mouse.accepted = false
        }
    }
}
