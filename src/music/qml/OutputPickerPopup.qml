import QtQuick
import QtQuick.Controls
import Tavrenhold.Design
import Tavrenhold.Music

// The output picker's popup, on the window's overlay, 240 points wide. It stays within the width
// of the button's `bounds` (the pane's area) and above their bottom edge, up to the window's top:
// the notch hangs from there, so all of that lies inside it, and the pointer on any row is over the
// notch, also once a choice has closed the popup. Without bounds, inside the whole window. Under
// the button when it fits there; otherwise beside the button, raised as far as it needs, its rows
// scrolling when they still do not fit. Clicking outside or Escape closes it; the button hears of
// that through `closed`.
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

    // The button and the bounds in the overlay's coordinates; read again whenever the popup opens.
    readonly property rect anchorRect: {
        void (picker ? picker.showing : false)
        if (!button || !overlay)
            return Qt.rect(0, 0, 0, 0)
        return button.mapToItem(overlay, 0, 0, button.width, button.height)
    }
    readonly property rect area: {
        void (picker ? picker.showing : false)
        if (!overlay)
            return Qt.rect(0, 0, 0, 0)
        const b = button && button.bounds ? button.bounds : null
        if (!b)
            return Qt.rect(0, 0, overlay.width, overlay.height)
        const r = b.mapToItem(overlay, 0, 0, b.width, b.height)
        return Qt.rect(r.x, 0, r.width, r.y + r.height)
    }
    readonly property real edge: 8
    readonly property real below: anchorRect.y + anchorRect.height + 6
    readonly property bool fitsBelow: below + list.fullHeight <= area.y + area.height - edge
    readonly property real minX: area.x + edge
    readonly property real maxX: area.x + area.width - edge - width
    x: Math.max(minX, Math.min(fitsBelow ? anchorRect.x + anchorRect.width / 2 - width / 2
                                         : anchorRect.x - 6 - width, maxX))
    y: fitsBelow ? below : Math.max(area.y + edge, area.y + area.height - edge - list.fullHeight)
    height: Math.max(0, Math.min(list.fullHeight, area.y + area.height - edge - y))

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
