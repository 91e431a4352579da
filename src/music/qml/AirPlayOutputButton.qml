import QtQuick
import Tavrenhold.Design
import Tavrenhold.Music

// The output button of the expanded Music pane: "airplayaudio" in a circle, brighter while hovered
// or open. A click opens the picker as a popup on the window's overlay (the pane's carousel clips),
// inside `bounds`, 240 points wide: under the button when it fits, else beside it; the rows scroll
// when the bounds are too short for them. Clicking outside closes it. Hover and open changes move with Motion.tap. The popup
// (and the Quick Controls it is made of) is built the first time it opens.
Item {
    id: root

    property MusicPane pane
    property real diameter: 28
    // The pane's area: the popup stays within its width, above its bottom edge (see
    // OutputPickerPopup); inside the whole window when none is given.
    property Item bounds: null
    // The popup's rectangle in the window while it is open; empty while it is closed. The pane
    // carries it to the shell, which lets the pointer in there.
    readonly property rect popoverRect: popover && popover.visible ? Qt.rect(popover.x, popover.y, popover.width, popover.height)
                                                                     : Qt.rect(0, 0, 0, 0)
    Binding {
        target: root.pane
        property: "popoverRect"
        value: root.popoverRect
        when: root.pane !== null
        restoreMode: Binding.RestoreNone
    }
    readonly property alias model: picker
    readonly property var popover: popupLoader.item

    implicitWidth: diameter
    implicitHeight: diameter

    OutputPickerModel {
        id: picker
        objectName: "outputPicker"
        pane: root.pane
        onPaneChanged: {
            if (root.visible)
                startDiscovery()
        }
    }

    readonly property bool hovering: hover.hovered
    property real emphasis: hovering || picker.showing ? 1 : 0
    NotchAnimation on emphasis {
        token: Motion.tap
    }

    // On screen (and given its pane): discovery starts.
    Component.onCompleted: picker.startDiscovery()
    onVisibleChanged: {
        if (visible)
            picker.startDiscovery()
    }
    onHoveringChanged: {
        if (hovering)
            picker.startDiscovery()
    }

    Rectangle {
        objectName: "outputButtonCircle"
        anchors.fill: parent
        radius: width / 2
        color: Style.fill
        opacity: 0.85 + 0.15 * root.emphasis
    }
    SymbolImage {
        anchors.centerIn: parent
        width: 12
        height: 12
        name: "airplayaudio"
        color: Style.ink
        opacity: 0.88 + 0.12 * root.emphasis
    }

    containmentMask: HitCircle {
        width: root.width
        height: root.height
    }
    HoverHandler {
        id: hover
    }
    // A press on the button while the popup is open closes the popup before the button hears
    // it: that click has done its work and does not open the popup again.
    property bool justClosed: false
    property bool swallowTap: false
    TapHandler {
        onPressedChanged: {
            if (pressed)
                root.swallowTap = root.justClosed
        }
        onTapped: {
            if (root.swallowTap)
                root.swallowTap = false
            else
                picker.toggle()
        }
    }
    NotchToolTip {
        target: root
        shown: root.hovering && !picker.showing
        text: qsTr("Select where to play")
    }

    // The model opens and closes the popup; the popup closing by itself (a click outside, Escape)
    // tells the model.
    Connections {
        target: picker
        function onShowingChanged() {
            if (picker.showing) {
                popupLoader.active = true
                root.popover.open()
            } else if (root.popover) {
                root.popover.close()
            }
        }
    }

    Loader {
        id: popupLoader
        active: false
        source: Qt.resolvedUrl("OutputPickerPopup.qml")
        onLoaded: {
            item.button = root
            item.picker = picker
        }
    }
    Connections {
        target: root.popover
        function onClosed() {
            picker.showing = false
            root.justClosed = true
            Qt.callLater(() => root.justClosed = false)
        }
    }
}

