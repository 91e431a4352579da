import QtQuick
import Tavrenhold.Design

// A row of level bars, centred: one 3-point capsule per level (0...1), 3 points apart, as high as
// the level's share of the item's height but never below 2 points; Style.ink, strong while
// playing. Changes of the levels move with Motion.ambient (at once under reduced motion), unless
// `animated` is off: a meter fed at its own cadence steps, so it redraws only when its levels change
// rather than on every frame between two of them.
//     NotchWaveform { width: 40; height: 16; levels: meter.levels; isPlaying: playing }
Item {
    id: root

    // Numbers, one per bar.
    property var levels: []
    property bool isPlaying: false
    property bool animated: true

    readonly property real barOpacity: Controls.waveformOpacity(isPlaying)
    readonly property int count: levels ? levels.length : 0

    // The bars are placed by their own bindings, not by a Row: a positioner lays out while a frame
    // is prepared, and the height it then finds for the taller or shorter bars would ask for a
    // second frame that draws nothing new, each time the levels change.
    readonly property real step: Controls.waveformBarWidth + Controls.waveformSpacing
    readonly property real rowLeft: Math.round((width - (count * step - Controls.waveformSpacing)) / 2)

    // A stepping meter: one painted item rather than a node per bar.
    WaveformBars {
        anchors.fill: parent
        visible: !root.animated
        levels: root.animated ? [] : root.levels
        color: Style.ink
        opacity: root.barOpacity
    }

    // Bars are kept by index, so a new set of levels moves the bars already there.
    Repeater {
        model: root.animated ? root.count : 0

        Rectangle {
            required property int index
            property real level: Controls.waveformLevel(root.levels[index])
            AmbientAnimation on level {
                enabled: root.animated && !Motion.reduceMotion
            }

            x: root.rowLeft + index * root.step
            y: (root.height - height) / 2
            width: Controls.waveformBarWidth
            height: Controls.waveformBarHeight(level, root.height)
            radius: width / 2
            color: Style.ink
            opacity: root.barOpacity
        }
    }
}
