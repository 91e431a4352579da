import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts
import Tavrenhold.Design

// The Panes tab: one row per pane in the notch's order, a switch to show or hide it and a handle
// to drag it to another place. The last visible pane cannot be switched off.
Item {
    id: view

    required property QtObject panes
    readonly property real rowHeight: 36

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 6

        Label {
            text: qsTr("Shown in Notch")
            font.bold: true
            opacity: 0.75
        }

        Frame {
            Layout.fillWidth: true
            padding: 0

            ListView {
                id: list
                objectName: "paneRows"
                width: parent.width
                implicitHeight: count * view.rowHeight
                interactive: false
                model: view.panes.rows

                delegate: Rectangle {
                    id: row
                    required property var modelData
                    required property int index

                    objectName: "paneRow." + modelData.pane
                    width: ListView.view.width
                    height: view.rowHeight
                    color: index % 2 ? Qt.rgba(0.5, 0.5, 0.5, 0.08) : "transparent"
                    z: drag.active ? 2 : 1
                    // Follows the pointer while dragged; back in place afterwards.
                    transform: Translate { y: drag.active ? drag.translation.y : 0 }

                    RowLayout {
                        anchors.fill: parent
                        anchors.leftMargin: 8
                        anchors.rightMargin: 8
                        spacing: 8

                        Label {
                            objectName: "paneHandle." + row.modelData.pane
                            text: "\u2261"
                            font.pixelSize: 18
                            opacity: 0.6
                            DragHandler {
                                id: drag
                                target: null
                                yAxis.enabled: true
                                xAxis.enabled: false
                                onActiveChanged: {
                                    if (active)
                                        return
                                    const to = Math.max(0, Math.min(list.count - 1,
                                        row.index + Math.round(translation.y / view.rowHeight)))
                                    view.panes.moveRow(row.index, to)
                                }
                            }
                        }
                        SymbolImage {
                            Layout.preferredWidth: 16
                            Layout.preferredHeight: 16
                            name: row.modelData.symbol
                            color: palette.text
                        }
                        Label {
                            text: row.modelData.title
                            Layout.fillWidth: true
                        }
                        Switch {
                            id: toggle
                            objectName: "paneSwitch." + row.modelData.pane
                            checked: row.modelData.visible
                            enabled: !row.modelData.locked
                            onToggled: {
                                view.panes.setVisible(row.modelData.pane, checked)
                                toggle.checked = Qt.binding(() => row.modelData.visible)
                            }
                        }
                    }
                }
            }
        }

        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: qsTr("Drag rows by the handle to reorder. At least one pane stays visible.")
            opacity: 0.6
            font.pixelSize: 11
        }

        Item { Layout.fillHeight: true }
    }
}
