import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// The collapsed bar: a clear spacer as wide as the notch, over the notch, with a wing on each side
// (only in the compact collapsed width): the pinned and identity items on the leading side, the rotor on the
// trailing one, and the collapsed progress line along the bottom. Artwork and waveform items are
// placeholders whose frames the travel layer follows. Items that come or go move the wings with
// Motion.slot and fade in. Shown, and whenever the rotor's entries change, it starts the rotor over.
Item {
    id: bar

    required property NotchShellModel model
    // The travel space the root view hands down.
    property TravelSpace travel: null
    // The bar's placeholders are the travel sources while collapsed.
    readonly property bool isSource: !model.expanded

    // The wings' padding swells near the pointer, with Motion.slot.
    property real pad: model.wingPadding
    NotchAnimation on pad {
        token: Motion.slot
    }

    Component.onCompleted: bar.model.syncRotor()
    Connections {
        target: bar.model
        function onRotorChanged() {
            bar.model.syncRotor()
        }
    }

    // The surface lies off the notch's centre by the model's shift, moving as the surface does.
    property real shift: model.surfaceShift
    NotchAnimation on shift {}

    // Placed so that the notch spacer sits over the notch whatever the wings' widths.
    Row {
        id: row
        objectName: "idleRow"
        x: (bar.width - bar.model.hardwareWidth) / 2 - bar.shift - (leading.visible ? leading.width : 0)
        height: parent.height
        spacing: 0

        Item {
            id: leading
            objectName: "leadingWing"
            readonly property real padding: bar.model.hasLeading ? bar.pad : 0
            visible: bar.model.showsWings
            // Grows and shrinks with Motion.slot as items come and go.
            property real shownWidth: leadingItems.width + 2 * padding
            NotchAnimation on shownWidth {
                token: Motion.slot
            }
            width: shownWidth
            height: row.height

            Row {
                id: leadingItems
                x: leading.padding
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8

                // The pinned item has the 46-point cell the surface's width keeps for it, so the
                // notch spacer stays put however wide its caption is.
                Loader {
                    objectName: "pinnedSlot"
                    active: bar.model.hasPinned
                    visible: active
                    width: 46
                    anchors.verticalCenter: parent.verticalCenter
                    // Fades in with Motion.slot rather than popping in.
                    opacity: active ? 1 : 0
                    NotchAnimation on opacity {
                        token: Motion.slot
                    }
                    sourceComponent: IdleItemView {
                        entry: bar.model.pinned
                        shell: bar.model
                        travel: bar.travel
                        isTravelSource: bar.isSource
                    }
                }
                Loader {
                    objectName: "identitySlot"
                    active: bar.model.hasIdentity
                    visible: active
                    anchors.verticalCenter: parent.verticalCenter
                    // Fades in with Motion.slot rather than popping in.
                    opacity: active ? 1 : 0
                    NotchAnimation on opacity {
                        token: Motion.slot
                    }
                    sourceComponent: IdleItemView {
                        entry: bar.model.identity
                        shell: bar.model
                        travel: bar.travel
                        isTravelSource: bar.isSource
                    }
                }
            }
        }

        // Where the notch's hardware sits.
        Item {
            objectName: "notchSpacer"
            width: bar.model.hardwareWidth
            height: row.height
        }

        Item {
            id: trailing
            objectName: "trailingWing"
            readonly property real padding: rotor.count > 0 ? bar.pad : 0
            visible: bar.model.showsWings
            property real shownWidth: rotor.width + 2 * padding
            NotchAnimation on shownWidth {
                token: Motion.slot
            }
            width: shownWidth
            height: row.height

            RotorView {
                id: rotor
                x: trailing.padding
                anchors.verticalCenter: parent.verticalCenter
                opacity: count > 0 ? 1 : 0
                NotchAnimation on opacity {
                    token: Motion.slot
                }
                entries: bar.model.rotor
                index: bar.model.shownRotorIndex
                shell: bar.model
                travel: bar.travel
                isSource: bar.isSource
            }
        }
    }

    NotchProgress {
        objectName: "collapsedProgress"
        visible: bar.model.showsProgressBar
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        // Kept inside the outline's rounded bottom corners.
        anchors.leftMargin: bar.model.progressInset
        anchors.rightMargin: bar.model.progressInset
        anchors.bottomMargin: 1
        height: 2.5
        value: bar.model.progress
        tint: Style[bar.model.progressTint]
        prominence: 0.45
        animated: true
    }
}
