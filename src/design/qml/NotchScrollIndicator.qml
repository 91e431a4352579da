import QtQuick
import Tavrenhold.Design

// A thin bar at the right edge of `flickable` showing which part of its content is in view; shown
// only when the content is taller than the view. Place it as a sibling over the flickable.
//     NotchScrollIndicator { flickable: list }
Rectangle {
    id: bar

    property Flickable flickable: null

    readonly property bool needed: flickable !== null && flickable.contentHeight > flickable.height + 0.5

    visible: needed
    x: flickable ? flickable.x + flickable.width - width - 1 : 0
    y: flickable ? flickable.y + flickable.visibleArea.yPosition * flickable.height : 0
    width: 3
    height: flickable ? Math.max(12, flickable.visibleArea.heightRatio * flickable.height) : 0
    radius: width / 2
    color: Style.inkFaint
    opacity: 0.6
}
