import QtQuick
import Tavrenhold.Design
import Tavrenhold.Music

// A horizontal 0...1 bar that can be clicked and dragged: a progress bar of Style.ink and a round
// knob that shows while hovered or dragged, when the bar also thickens from 3 to 5 points. It shows
// `value` as given (clamped); the caller follows the pointer by feeding the reported fraction back.
// A press reports `dragged` at once (a click is a drag of no length), every move reports again, and
// the release reports `ended` once. Hover and drag changes move with Motion.tap.
Item {
    id: root

    property real value: 0
    // Whether value changes glide; never while dragging, when the bar follows the pointer.
    property bool animated: true

    signal dragged(real fraction)
    signal ended(real fraction)

    readonly property bool hovering: mouse.containsMouse
    readonly property bool dragging: mouse.pressed
    readonly property bool active: hovering || dragging
    readonly property real shownValue: MusicControls.barValue(value)

    implicitWidth: 120
    implicitHeight: MusicControls.barHeight

    property real thickness: MusicControls.barThickness(active)
    NotchAnimation on thickness {
        token: Motion.tap
    }
    property real knobAmount: active ? 1 : 0
    NotchAnimation on knobAmount {
        token: Motion.tap
    }

    NotchProgress {
        objectName: "barProgress"
        anchors.verticalCenter: parent.verticalCenter
        width: root.width
        height: root.thickness
        value: root.shownValue
        tint: Style.ink
        prominence: 1
        animated: root.animated && !root.dragging
    }

    Rectangle {
        objectName: "barKnob"
        anchors.verticalCenter: parent.verticalCenter
        x: MusicControls.knobOffset(root.value, root.width)
        width: MusicControls.knobSize
        height: MusicControls.knobSize
        radius: width / 2
        color: Style.ink
        opacity: MusicControls.knobOpacity(true) * root.knobAmount
        scale: MusicControls.knobScale(false) + (1 - MusicControls.knobScale(false)) * root.knobAmount
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        preventStealing: true
        onPressed: mouse => root.dragged(MusicControls.barFraction(mouse.x, root.width))
        onPositionChanged: mouse => {
            if (pressed)
                root.dragged(MusicControls.barFraction(mouse.x, root.width))
        }
        onReleased: mouse => root.ended(MusicControls.barFraction(mouse.x, root.width))
    }
}
