import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// The whole content of the notch panel: the notch surface hanging from the panel's top edge, centred,
// sized and shaped by the shell model. Collapsed it shows the idle bar, open the expanded view; the
// two cross-fade while size, radii and position spring with Motion.morph. The travel layer lies over
// both. One outline fills, clips and takes the pointer; entering and leaving it is reported through
// hoverChange. Every animation is off under reduced motion.
//     NotchRootView { model: shell; onHoverChange: (hovering) => controller.hover(hovering) }
Item {
    id: root

    required property NotchShellModel model
    // Whether translucent looks may show the desktop: the compositor's state unless told otherwise.
    property bool composited: Compositor.composited
    readonly property Item surface: surface
    readonly property TravelSpace travel: travelSpace

    // The pointer entered (true) or left (false) the surface's outline.
    signal hoverChange(bool hovering)

    // The collapsed bar is always dark; the open panel is drawn in the appearance's panel scheme.
    Binding {
        target: Style
        property: "dark"
        value: !root.model.expanded || Appearance.panelScheme === ColorScheme.ColorScheme.dark
    }

    // True from a change of the notch geometry (the panel moved to another screen) to the end of
    // that turn of the event loop: the sizes that follow from it land at once instead of springing.
    property bool relocating: false
    Connections {
        target: root.model
        function onGeometryChanged() {
            root.relocating = true
            Qt.callLater(root.relocated)
        }
    }
    function relocated() {
        relocating = false
    }

    // The surface as drawn; each value follows the model with Motion.morph.
    property real surfaceWidth: model.surfaceWidth
    NotchAnimation on surfaceWidth {
        suspended: root.relocating
    }
    property real surfaceShift: model.surfaceShift
    NotchAnimation on surfaceShift {
        suspended: root.relocating
    }
    property real surfaceHeight: model.surfaceHeight
    NotchAnimation on surfaceHeight {
        suspended: root.relocating
    }
    property real cornerRadius: model.cornerRadius
    NotchAnimation on cornerRadius {
        suspended: root.relocating
    }
    property real flareRadius: model.flareRadius
    NotchAnimation on flareRadius {
        suspended: root.relocating
    }
    property real surfaceOpacity: model.surfaceOpacity
    NotchAnimation on surfaceOpacity {
        suspended: root.relocating
    }
    // The swell of a pane's pulse moves with Motion.tap.
    property real pulseScale: model.pulseScale
    NotchAnimation on pulseScale {
        token: Motion.tap
    }
    // 0 shows the idle bar, 1 the open panel; in between the two cross-fade.
    property real openness: model.expanded ? 1 : 0
    NotchAnimation on openness {}

    Item {
        id: surface
        objectName: "surface"

        x: (root.width - width) / 2 + root.surfaceShift
        y: 0
        width: root.surfaceWidth
        height: root.surfaceHeight
        scale: root.pulseScale
        opacity: root.surfaceOpacity
        containmentMask: material.silhouette

        NotchMaterial {
            id: material
            anchors.fill: parent
            isExpanded: root.model.expanded
            cornerRadius: root.cornerRadius
            flareRadius: root.flareRadius
            composited: root.composited

            TravelSpace {
                id: travelSpace
                anchors.fill: parent
            }

            Loader {
                id: idleLayer
                objectName: "idleLayer"
                anchors.fill: parent
                active: !root.model.expanded || root.openness < 0.99
                visible: opacity > 0
                opacity: 1 - root.openness
                sourceComponent: IdleBarView {
                    model: root.model
                    travel: travelSpace
                }
            }

            Loader {
                id: expandedLayer
                objectName: "expandedLayer"
                anchors.fill: parent
                active: root.model.expanded || root.openness > 0.01
                visible: opacity > 0
                opacity: root.openness
                sourceComponent: ExpandedView {
                    model: root.model
                }
            }

            TravelLayer {
                anchors.fill: parent
                model: root.model
                space: travelSpace
            }
        }

        HoverHandler {
            onHoveredChanged: root.hoverChange(hovered)
        }
    }
}
