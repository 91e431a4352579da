import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts

// A form section: its name over a framed column of rows.
ColumnLayout {
    id: section

    property string title
    default property alias rows: frame.data

    Layout.fillWidth: true
    spacing: 4

    Label {
        text: section.title
        font.bold: true
        opacity: 0.75
    }
    Frame {
        Layout.fillWidth: true
        ColumnLayout {
            id: frame
            anchors.left: parent.left
            anchors.right: parent.right
            spacing: 6
        }
    }
}
