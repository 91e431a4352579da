import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// One pane of the carousel: its content view, given the pane, one expanded width wide and as high as
// the pane's content (208 and empty when no pane stands behind the name). The view exists only while
// the slot is shown: a pane's state lives in its model, so a view made again shows it as it was.
Item {
    id: slot

    required property NotchShellModel model
    required property string pane

    objectName: "paneSlot_" + pane
    width: model.expandedWidth
    height: shownHeight

    property real shownHeight: model.contentHeights[pane]
    NotchAnimation on shownHeight {}

    Loader {
        id: content
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: slot.shownHeight
        active: slot.visible
    }

    Component.onCompleted: {
        const paneObject = slot.model.paneObject(slot.pane)
        const view = slot.model.contentViews[slot.pane]
        if (paneObject && view)
            content.setSource(view, { "pane": paneObject })
    }
}
