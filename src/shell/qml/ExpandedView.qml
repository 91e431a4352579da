import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// The open panel: the pill row, 24 high, 58 below the top edge and 12 above the carousel of panes.
Item {
    id: open

    required property NotchShellModel model

    PillRow {
        id: pills
        y: 58
        anchors.horizontalCenter: parent.horizontalCenter
        model: open.model
    }

    PaneHost {
        y: pills.y + pills.height + 12
        anchors.horizontalCenter: parent.horizontalCenter
        model: open.model
    }
}
