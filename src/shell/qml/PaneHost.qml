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

    // Placed by index rather than by a Row, which would close the gaps of hidden slots.
    Item {
        objectName: "carousel"
        x: host.offset

        Repeater {
            model: host.model.order

            PaneSlot {
                required property string modelData
                required property int index

                model: host.model
                pane: modelData
                x: index * width
                // Only slots in or sliding through the window are drawn and take hover: the others
                // would cost the renderer and every pointer move for nothing.
                visible: x + width > -host.offset && x < -host.offset + host.width
            }
        }
    }
}
