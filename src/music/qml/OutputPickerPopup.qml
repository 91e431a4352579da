import QtQuick
import QtQuick.Controls
import Tavrenhold.Design
import Tavrenhold.Music

// The output picker's popup, on the window's overlay under `button` and inside the window, 240
// points wide. Clicking outside or Escape closes it; the button hears of that through `closed`.
Popup {
    id: popup

    property Item button
    property OutputPickerModel picker
    readonly property Item overlay: button ? button.Overlay.overlay : null

    objectName: "outputPopover"
    parent: overlay
    onOpened: if (picker) picker.startDiscovery()
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
    padding: 0
    width: 240

    readonly property point anchor: {
        // Follows the button; read again whenever the popup opens.
        void (picker ? picker.showing : false)
        if (!button || !overlay)
            return Qt.point(0, 0)
        const p = button.mapToItem(overlay, button.width / 2, button.height)
        return Qt.point(p.x, p.y)
    }
    readonly property real room: overlay ? overlay.height - anchor.y - 6 - 8 : 0
    x: overlay ? Math.max(8, Math.min(anchor.x - width / 2, overlay.width - width - 8)) : 0
    y: anchor.y + 6
    height: Math.max(0, Math.min(list.fullHeight, room))

    background: Rectangle {
        radius: 10
        color: Style.solidSurface
        border.color: Style.hairline
        border.width: 1
    }
    contentItem: OutputPickerPopover {
        id: list
        model: popup.picker
    }
}
