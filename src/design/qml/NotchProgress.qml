import QtQuick
import Tavrenhold.Design

// A linear bar: a capsule track of Style.ink over the full width and a capsule fill of `tint` over
// `value` of it, both stronger with `prominence` (0...1). Its height is the item's height; its width
// whatever the parent gives. When `animated`, changes of `value` move with Motion.ambient (at once
// under reduced motion); otherwise the bar jumps. A change that moves the fill by a few points at
// most lands at once too: a bar following a playing track then redraws once per tick of the
// position, not on every frame in between.
//     NotchProgress { width: 120; height: 4; value: 0.3; tint: Style.focusAccent; prominence: 1 }
Item {
    id: root

    // The filled fraction, 0...1 (not clamped here).
    property real value: 0
    property color tint: Style.ink
    property real prominence: 0
    property bool animated: true

    implicitHeight: 4

    // Follows `value`; set by hand (not bound) so a change can be measured before it is shown.
    property real shownValue: 0
    property bool ready: false
    Component.onCompleted: {
        shownValue = value
        ready = true
    }
    onValueChanged: {
        if (ready && animated && !Motion.reduceMotion && Controls.progressGlides(width, shownValue, value)) {
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

    readonly property real trackOpacity: Controls.progressTrackOpacity(prominence)
    readonly property real fillOpacity: Controls.progressFillOpacity(prominence)
    readonly property real fillWidth: Controls.progressFillWidth(width, shownValue)

    Rectangle {
        id: track
        anchors.fill: parent
        radius: height / 2
        color: Style.ink
        opacity: root.trackOpacity
    }
    // The fill is a capsule whose geometry never changes, slid to end at fillWidth and shown from a
    // whole-point seam on, plus a short capsule for the rounded start shown up to the seam: a step
    // of the value moves and clips, and no rounded rectangle is traced again.
    readonly property real seam: Math.min(2, fillWidth)
    Item {
        id: fill
        visible: root.fillWidth > 0
        width: root.fillWidth
        height: root.height

        Item {
            width: root.seam
            height: root.height
            clip: true
            Rectangle {
                width: Math.max(2 * root.height, 4)
                height: root.height
                radius: height / 2
                color: root.tint
                opacity: root.fillOpacity
            }
        }
        Item {
            x: root.seam
            width: Math.max(root.fillWidth - root.seam, 0)
            height: root.height
            clip: true
            Rectangle {
                readonly property real span: Math.max(root.width, root.fillWidth)
                x: root.fillWidth - span - root.seam
                width: span
                height: root.height
                radius: height / 2
                color: root.tint
                opacity: root.fillOpacity
            }
        }
    }
}
