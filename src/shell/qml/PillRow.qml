import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// One pill per pane of the order, 6 apart; a tap lands on that pane.
Row {
    id: pills

    required property NotchShellModel model

    objectName: "pillRow"
    height: ShellLook.pillHeight
    spacing: ShellLook.pillSpacing
    // Nothing is drawn outside the row; clipping also lets hover delivery skip every pill at once
    // while the pointer is over the panes.
    clip: true

    Repeater {
        model: pills.model.pills

        PillView {
            required property var modelData

            pane: modelData.pane
            caption: modelData.caption
            selected: modelData.pane === pills.model.landed
            action: () => pills.model.land(modelData.pane)
        }
    }
}
