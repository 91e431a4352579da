import QtQuick
import Tavrenhold.Design

// The notch surface's look around whatever it holds: the backdrop stack of the user's material in
// the notch outline, the artwork wash, the shadow when expanded, the glass layer behind it all; the
// content is clipped to the outline's body. Collapsed, every material is an opaque black outline.
//     NotchMaterial { isExpanded: true; cornerRadius: 32; flareRadius: 15; ExpandedView {} }
// A change of phase moves with Motion.morph (at once under reduced motion); a new wash accent fades
// in with Motion.ambient whatever the motion setting.
Item {
    id: root

    property bool isExpanded: false
    // The outline's bottom corner radius and top flare radius.
    property real cornerRadius: 0
    property real flareRadius: 0
    property int material: Appearance.material
    // Whether translucency shows the desktop; without a compositor everything is drawn opaque.
    property bool composited: Compositor.composited
    // The outline, for the surface's hit shape: containmentMask: material.silhouette
    readonly property NotchSilhouetteShape silhouette: base
    readonly property alias look: look

    default property alias content: holder.data

    // 0 collapsed, 1 expanded, carried by the morph spring in between.
    property real expansion: isExpanded ? 1 : 0
    NotchAnimation on expansion {
        token: Motion.morph
    }

    // The wash accent as drawn: fades to a new accent with the ambient ease, always.
    property color washAccent: look.wash.color
    Behavior on washAccent {
        NotchEase {}
    }

    NotchMaterialLook {
        id: look
        material: root.material
        expansion: root.expansion
        dark: Style.dark
        composited: root.composited
        hasAccent: GradientWash.hasAccent
        accent: GradientWash.color
        height: root.height
    }

    component Layer: NotchSilhouetteShape {
        anchors.fill: parent
        flareRadius: root.flareRadius
        bottomRadius: root.cornerRadius
    }

    Layer {
        id: glass
        visible: look.glass.shown
        color: look.glass.color
        opacity: look.glass.opacity
    }
    Layer {
        id: shadow
        visible: look.shadow.shown
        color: look.shadow.color
        opacity: look.shadow.opacity
        opacityStops: look.shadowStops
    }
    Layer {
        id: base
        visible: look.base.shown
        color: look.base.color
        opacity: look.base.opacity
    }
    Layer {
        id: veil
        visible: look.veil.shown
        color: look.veil.color
        opacity: look.veil.opacity
    }
    Layer {
        id: wash
        visible: look.wash.shown
        color: root.washAccent
        opacity: look.wash.opacity
        opacityStops: look.washStops
    }
    Layer {
        id: face
        visible: look.face.shown
        color: look.face.color
        opacity: look.face.opacity
    }

    // Only rectangles clip on every scene graph: the content is held to the body's columns (the
    // flares stay clear); the bottom corners lie within the content's own margins.
    Item {
        id: clipper
        x: base.bodyRect.x
        width: base.bodyRect.width
        height: root.height
        clip: true

        Item {
            id: holder
            x: -clipper.x
            width: root.width
            height: root.height
        }
    }
}
