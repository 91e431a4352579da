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
