import QtQuick
import Tavrenhold.Design

// A round symbol button: the symbol at `size` in a circle of side size + 14. Selected, it shows
// Style.onActive on Style.fillActive; otherwise Style.ink (dimmed unless hovered) on Style.fill
// shown only while hovered. It shrinks while pressed; a tap anywhere in the circle calls `action`.
// Press, hover and selection each move with Motion.tap (at once under reduced motion).
//     NotchButton { symbol: "music.note"; size: 15; isSelected: shuffle; action: () => toggle() }
Item {
    id: root

    property string symbol
    property real size: 14
    property bool isSelected: false
    // Called without arguments on each tap.
    property var action: null

    readonly property bool hovering: hoverHandler.hovered
    readonly property bool pressed: tapHandler.pressed

    // The drawn state, each carried by the tap spring.
    property real pressAmount: pressed ? 1 : 0
    NotchAnimation on pressAmount {
        token: Motion.tap
    }
    property real hoverAmount: hovering ? 1 : 0
    NotchAnimation on hoverAmount {
        token: Motion.tap
    }
    property real selection: isSelected ? 1 : 0
    NotchAnimation on selection {
        token: Motion.tap
    }

    readonly property color foregroundColor: Controls.buttonForeground(selection, hoverAmount, Style.dark)
    readonly property color backgroundColor: Controls.buttonBackground(selection, hoverAmount, Style.dark)

    implicitWidth: size + Controls.buttonFramePadding
    implicitHeight: size + Controls.buttonFramePadding

    // Only the circle takes the pointer.
    containmentMask: HitCircle {
        width: root.width
        height: root.height
    }

    Item {
        id: face
        anchors.fill: parent
        scale: 1 - (1 - Controls.buttonPressedScale) * root.pressAmount

        Rectangle {
            anchors.centerIn: parent
            width: Math.min(parent.width, parent.height)
            height: width
            radius: width / 2
            color: root.backgroundColor
        }
        SymbolImage {
            anchors.centerIn: parent
            width: root.size
            height: root.size
            name: root.symbol
            color: root.foregroundColor
        }
    }

    HoverHandler {
        id: hoverHandler
    }
    // A press that strays past the drag threshold (10 points) lets go and taps nothing.
    TapHandler {
        id: tapHandler
        gesturePolicy: TapHandler.DragThreshold
        onTapped: {
            if (typeof root.action === "function")
                root.action()
        }
    }
}
