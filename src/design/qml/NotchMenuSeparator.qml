import QtQuick
import Tavrenhold.Design

// A hairline between groups of a NotchMenu's entries.
Item {
    implicitWidth: 0
    implicitHeight: 7

    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 8
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        height: 1
        color: Style.hairline
    }
}
