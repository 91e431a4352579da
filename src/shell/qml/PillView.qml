import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// A pane's pill: its caption in capitals on a capsule. Selected it shows Style.onActive on
// Style.fillActive; otherwise Style.inkFaint on Style.fillHover while hovered, else on Style.fill.
// Hover moves with Motion.tap and selection with Motion.morph (at once under reduced motion); the
// whole capsule takes the tap, which calls `action`.
Item {
    id: pill

    property string pane
    property string caption
    property bool selected: false
    // Called without arguments on each tap.
    property var action: null

    readonly property bool hovering: hoverHandler.hovered
    property real hoverAmount: hovering ? 1 : 0
    NotchAnimation on hoverAmount {
        token: Motion.tap
    }
    property real selection: selected ? 1 : 0
    NotchAnimation on selection {}

    readonly property color foregroundColor: ShellLook.pillForeground(selection, hoverAmount, Style.dark)
    readonly property color backgroundColor: ShellLook.pillBackground(selection, hoverAmount, Style.dark)

    objectName: "pill_" + pane
    implicitWidth: title.implicitWidth + 2 * ShellLook.pillPaddingX
    implicitHeight: ShellLook.pillHeight

    containmentMask: HitCapsule {
        width: pill.width
        height: pill.height
    }

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: pill.backgroundColor
    }
    Text {
        id: title
        objectName: "pillTitle"
        anchors.centerIn: parent
        text: pill.caption
        font: ShellLook.pillFont
        color: pill.foregroundColor
    }

    HoverHandler {
        id: hoverHandler
    }
    TapHandler {
        onTapped: {
            if (typeof pill.action === "function")
                pill.action()
        }
    }
}
