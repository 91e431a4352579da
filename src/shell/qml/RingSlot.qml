import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// The ring item: a 15-point NotchRing in the pane's accent and, when there is one, its caption. With
// a span whose end lies after its start, the ring counts by itself once a second by the shell's
// clock (RingTimeline); otherwise it shows the stored progress and label. The whole item keeps
// within `maximumWidth` (its cell in the bar): a caption too wide for it is drawn smaller.
Row {
    id: slot

    property real progress: 0
    property string label
    property bool hasSpan: false
    property date spanStart
    property date spanEnd
    property color tint: Style.ink
    property NotchShellModel shell: null
    // 0 leaves the width free.
    property real maximumWidth: 0

    readonly property alias timeline: timeline

    spacing: 5

    RingTimeline {
        id: timeline
        shell: slot.shell
        progress: slot.progress
        label: slot.label
        hasSpan: slot.hasSpan
        spanStart: slot.spanStart
        spanEnd: slot.spanEnd
    }

    NotchRing {
        anchors.verticalCenter: parent.verticalCenter
        value: timeline.shownProgress
        size: 15
        lineWidth: 2.5
        tint: slot.tint
    }
    NotchText {
        objectName: "ringLabel"
        anchors.verticalCenter: parent.verticalCenter
        visible: text !== ""
        text: timeline.shownLabel
        font: Style.numeric
        size: Style.numericSize
        color: Style.ink
        maximumWidth: slot.maximumWidth > 0 ? Math.max(1, slot.maximumWidth - 15 - slot.spacing) : 0
    }
}
