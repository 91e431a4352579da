import QtQuick
import Tavrenhold.Design

// A circular progress ring `size` across: a track of Style.ink at 0.16 and an arc of `tint` from
// twelve o'clock clockwise over `value` of the circle, the stroke `lineWidth` wide and inside the
// frame. Changes of `value` move with Motion.ambient (at once under reduced motion).
//     NotchRing { value: 0.4; size: 18; lineWidth: 2.5; tint: Style.focusAccent }
Item {
    id: root

    property real value: 0
    property real size: 20
    property real lineWidth: 2
    property color tint: Style.ink

    implicitWidth: size
    implicitHeight: size

    property real shownValue: value
    AmbientAnimation on shownValue {}

    RingShape {
        anchors.centerIn: parent
        width: root.size
        height: root.size
        value: root.shownValue
        lineWidth: root.lineWidth
        trackColor: Controls.ringTrack(Style.dark)
        tint: root.tint
    }
}
