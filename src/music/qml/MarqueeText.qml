import QtQuick
import Tavrenhold.Design
import Tavrenhold.Music

// One line of text. At rest it is cut with an ellipsis when too wide; while hovered and more than
// 1 point too wide it shows the whole string and, after a 0.55 s lead-in, sweeps it left until its
// end stands 16 points inside the right edge and back, at 26 points a second, until the pointer
// leaves. Then it springs back (Motion.tap). The whole string is its tooltip whenever it does not
// fit. Nothing moves while `reduceMotion` is on.
Item {
    id: root

    property string text
    property font font
    property color color
    property bool reduceMotion: Motion.reduceMotion

    // How far the scrolling copy is moved left; 0 at rest.
    property real offset: 0
    readonly property real textWidth: measure.implicitWidth
    readonly property real containerWidth: width
    readonly property bool hovering: hover.hovered
    readonly property bool canScroll: MusicControls.canScroll(hovering, textWidth, containerWidth, reduceMotion)
    readonly property string tooltip: MusicControls.marqueeTooltip(text, textWidth, containerWidth)
    // The help shown while hovered; the whole string when it does not fit, unless told.
    property string help: tooltip
    // The sweep measured when the loop started; kept for the rest of that run.
    property real distance: 0

    signal clicked()

    implicitHeight: resting.implicitHeight
    implicitWidth: measure.implicitWidth
    clip: true

    Text {
        id: resting
        objectName: "marqueeResting"
        width: root.width
        text: root.text
        font: root.font
        color: root.color
        maximumLineCount: 1
        wrapMode: Text.NoWrap
        elide: Text.ElideRight
        opacity: MusicControls.restingOpacity(root.offset, root.canScroll)
    }
    Text {
        id: scrolling
        objectName: "marqueeScrolling"
        x: -root.offset
        text: root.text
        font: root.font
        color: root.color
        maximumLineCount: 1
        wrapMode: Text.NoWrap
        opacity: MusicControls.scrollingOpacity(root.offset, root.canScroll)
        Accessible.ignored: true
    }
    Text {
        id: measure
        text: root.text
        font: root.font
        wrapMode: Text.NoWrap
        visible: false
    }

    HoverHandler {
        id: hover
    }
    TapHandler {
        onTapped: root.clicked()
    }
    NotchToolTip {
        target: root
        shown: root.hovering
        text: root.help
    }
    Accessible.name: text

    // The lead-in runs as an animation of its own progress: a lone pause would run on a plain
    // timer beside the animation clock.
    property real leadInProgress: 0
    NumberAnimation {
        id: leadIn
        target: root
        property: "leadInProgress"
        from: 0
        to: 1
        duration: MusicControls.leadInMs
        onFinished: {
            if (!root.canScroll)
                return
            root.distance = MusicControls.sweepDistance(root.textWidth, root.containerWidth)
            sweepOut.start()
        }
    }
    NumberAnimation {
        id: sweepOut
        target: root
        property: "offset"
        to: root.distance
        duration: MusicControls.sweepDuration(root.distance)
        onFinished: {
            if (root.canScroll)
                sweepBack.start()
        }
    }
    NumberAnimation {
        id: sweepBack
        target: root
        property: "offset"
        to: 0
        duration: MusicControls.sweepDuration(root.distance)
        onFinished: {
            if (root.canScroll)
                sweepOut.start()
        }
    }
    NotchSpring {
        id: springBack
        target: root
        property: "offset"
        to: 0
        token: Motion.tap
    }

    onCanScrollChanged: {
        leadIn.stop()
        sweepOut.stop()
        sweepBack.stop()
        springBack.stop()
        if (canScroll) {
            leadIn.start()
        } else if (Motion.reduceMotion) {
            offset = 0
        } else if (offset !== 0) {
            springBack.start()
        }
    }
    onTextChanged: {
        const sweeping = sweepOut.running || sweepBack.running
        sweepOut.stop()
        sweepBack.stop()
        springBack.stop()
        offset = 0
        if (sweeping && canScroll)
            sweepOut.start()
    }
}
