import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// The carousel: every pane of the order side by side, one expanded width each, seen through a
// window as wide as one pane and as high as the landed pane's content. Landing on another pane slides
// the row and resizes the window with Motion.morph.
Item {
    id: host

    required property NotchShellModel model

    objectName: "paneHost"
    width: model.expandedWidth
    height: shownHeight
    clip: true

    property real shownHeight: model.landedContentHeight
    NotchAnimation on shownHeight {}
    property real offset: model.carouselOffset
    NotchAnimation on offset {}

    Row {
        objectName: "carousel"
        x: host.offset

        Repeater {
            model: host.model.order

            PaneSlot {
                required property string modelData

                model: host.model
                pane: modelData
            }
        }
    }
}
