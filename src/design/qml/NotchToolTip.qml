import QtQuick
import Tavrenhold.Design

// A one-line help label shown just above `target` once `shown` has held for `delay` ms, drawn over
// everything else in the window. Our own small item so the notch needs no Quick Controls.
//     NotchToolTip { target: button; shown: hover.hovered; text: qsTr("Volume") }
Item {
    id: tip

    property Item target: null
    property string text
    property bool shown: false
    property int delay: 0

    readonly property bool showing: timer.elapsed && shown && text !== ""

    objectName: "notchToolTip"
    parent: target && target.Window.window ? target.Window.window.contentItem : null
    z: 1e6
    visible: showing
    width: label.implicitWidth + 12
    height: label.implicitHeight + 6

    Timer {
        id: timer
        property bool elapsed: false
        interval: Math.max(1, tip.delay)
        running: tip.shown && tip.text !== "" && tip.delay > 0
        onTriggered: elapsed = true
    }

    onShownChanged: {
        timer.elapsed = tip.shown && tip.delay <= 0
        if (tip.shown)
            place()
    }
    onShowingChanged: if (showing) place()

    // Centred above the target, kept inside the window; below it when there is no room above.
    function place() {
        if (!tip.target || !tip.parent)
            return
        const at = tip.target.mapToItem(tip.parent, 0, 0)
        const above = at.y - tip.height - 4
        tip.x = Math.max(0, Math.min(tip.parent.width - tip.width,
                                     at.x + (tip.target.width - tip.width) / 2))
        tip.y = above >= 0 ? above : at.y + tip.target.height + 4
    }

    Rectangle {
        anchors.fill: parent
        radius: 5
        color: Style.solidSurface
        border.width: 1
        border.color: Style.hairline
    }

    Text {
        id: label
        anchors.centerIn: parent
        text: tip.text
        color: Style.ink
        font: Style.caption
    }
}
