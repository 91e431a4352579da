import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// The ring item: a 15-point NotchRing in the pane's accent and, when there is one, its caption. With
// a span whose end lies after its start, the ring counts by itself once a second by the shell's
// clock (RingTimeline); otherwise it shows the stored progress and label.
Row {
    id: slot

    property real progress: 0
    property string label
    property bool hasSpan: false
    property date spanStart
    property date spanEnd
    property color tint: Style.ink
    property NotchShellModel shell: null

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
    Text {
        objectName: "ringLabel"
        anchors.verticalCenter: parent.verticalCenter
        visible: text !== ""
        text: timeline.shownLabel
        font: Style.numeric
        color: Style.ink
        maximumLineCount: 1
    }
}
