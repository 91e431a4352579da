import QtQuick
import Tavrenhold.Design

// A circular progress ring `size` across: a track of Style.ink at 0.16 and an arc of `tint` from
// twelve o'clock clockwise over `value` of the circle, the stroke `lineWidth` wide and inside the
// frame. Changes of `value` move with Motion.ambient; a step too small to see (a running timer's
// second) and every change under reduced motion land at once.
//     NotchRing { value: 0.4; size: 18; lineWidth: 2.5; tint: Style.focusAccent }
Item {
    id: root

    property real value: 0
    property real size: 20
    property real lineWidth: 2
    property color tint: Style.ink

    implicitWidth: size
    implicitHeight: size

    // Follows `value`; set by hand (not bound) so a change can be measured before it is shown.
    property real shownValue: 0
    property bool ready: false
    Component.onCompleted: {
        shownValue = value
        ready = true
    }
    onValueChanged: {
        if (ready && !Motion.reduceMotion && Controls.ringGlides(size, shownValue, value)) {
            glide.to = value
            glide.restart()
        } else {
            glide.stop()
            shownValue = value
        }
    }
    NotchEase {
        id: glide
        target: root
        property: "shownValue"
    }

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
