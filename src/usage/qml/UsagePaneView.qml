import QtQuick
import Tavrenhold.Design

// The pane's expanded content: its symbol and title, centred. The shell hands in the pane.
Item {
    id: root

    property QtObject pane

    Column {
        anchors.centerIn: parent
        spacing: 8

        SymbolImage {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 28
            height: 28
            name: root.pane ? root.pane.symbol : ""
            color: Style.ink
        }

        Text {
            objectName: "paneTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.pane ? root.pane.title : ""
            color: Style.ink
            font: Style.title
        }
    }
}
