import QtQuick
import QtQuick.Shapes
import Tavrenhold.Design
import Tavrenhold.Drop

// The Drop pane's expanded content: a header with the shelf's count and Clear, then either the
// dashed drop placeholder or a sideways-scrolling row of chips, oldest first. The whole pane is a
// drop well; each chip drags its file out, opens it on a click and has a context menu. Everything
// shown comes from the pane.
DropWellView {
    id: root

    readonly property var shelf: root.pane ? root.pane.items : null
    readonly property int count: shelf ? shelf.count : 0
    readonly property bool targeted: root.pane ? root.pane.isTargeted : false

    Column {
        anchors.fill: parent
        anchors.leftMargin: 34
        anchors.rightMargin: 34
        spacing: 12

        // Header.
        Item {
            width: parent.width
            height: Math.max(heading.implicitHeight, clearButton.implicitHeight)

            Text {
                id: heading
                objectName: "dropHeading"
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                text: root.count > 0 ? qsTr("%n on shelf", "", root.count) : qsTr("Drop or drag files")
                font: Style.subtitle
                color: Style.inkMuted
            }
            Text {
                id: clearButton
                objectName: "dropClear"
                visible: root.count > 0
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Clear")
                font: Style.caption
                color: Style.inkFaint
                TapHandler {
                    onTapped: if (root.pane) root.pane.clear()
                }
            }
        }

        // Body.
        Item {
            width: parent.width
            height: parent.height - y

            // The empty shelf's placeholder.
            Item {
                id: placeholder
                objectName: "dropPlaceholder"
                anchors.fill: parent
                visible: root.count === 0

                property real targetAmount: root.targeted ? 1 : 0
                NotchAnimation on targetAmount {
                    token: Motion.tap
                }

                Rectangle {
                    anchors.fill: parent
                    radius: 10
                    color: Controls.tileFill(placeholder.targetAmount, Style.dark)
                }

                // The dashed border, drawn inside the edge; dashes count in line widths.
                Shape {
                    id: border
                    anchors.fill: parent
                    readonly property real line: 1.2
                    readonly property real inset: line / 2
                    readonly property real r: 10 - inset
                    readonly property real w: width - inset
                    readonly property real h: height - inset

                    ShapePath {
                        strokeColor: Style.dashed
                        strokeWidth: border.line
                        fillColor: "transparent"
                        strokeStyle: ShapePath.DashLine
                        dashPattern: [5 / 1.2, 4 / 1.2]
                        capStyle: ShapePath.FlatCap
                        joinStyle: ShapePath.MiterJoin
                        miterLimit: 10
                        startX: border.inset + border.r
                        startY: border.inset

                        PathLine { x: border.w - border.r; y: border.inset }
                        PathArc { x: border.w; y: border.inset + border.r; radiusX: border.r; radiusY: border.r }
                        PathLine { x: border.w; y: border.h - border.r }
                        PathArc { x: border.w - border.r; y: border.h; radiusX: border.r; radiusY: border.r }
                        PathLine { x: border.inset + border.r; y: border.h }
                        PathArc { x: border.inset; y: border.h - border.r; radiusX: border.r; radiusY: border.r }
                        PathLine { x: border.inset; y: border.inset + border.r }
                        PathArc { x: border.inset + border.r; y: border.inset; radiusX: border.r; radiusY: border.r }
                    }
                }

                Column {
                    anchors.centerIn: parent
                    spacing: 6

                    SymbolImage {
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: 20
                        height: 20
                        name: "arrow.down.doc"
                        color: Style.dropAccent
                    }
                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: qsTr("Park here, drag out later")
                        font: Style.caption
                        color: Style.inkMuted
                    }
                }
            }

            // The chips.
            ListView {
                id: chips
                objectName: "dropChips"
                anchors.fill: parent
                visible: root.count > 0
                orientation: ListView.Horizontal
                spacing: 8
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                model: root.shelf

                delegate: Item {
                    id: chip
                    objectName: "dropChip"
                    required property string itemId
                    required property string name

                    width: tile.implicitWidth
                    height: ListView.view.height

                    NotchTile {
                        id: tile
                        interactive: true
                        anchors.verticalCenter: parent.verticalCenter
                        width: implicitWidth
                        height: implicitHeight

                        Row {
                            spacing: 6

                            SymbolImage {
                                anchors.verticalCenter: parent.verticalCenter
                                width: 13
                                height: 13
                                name: "doc"
                                color: Style.dropAccent
                            }
                            Text {
                                anchors.verticalCenter: parent.verticalCenter
                                width: Math.min(implicitWidth, 120)
                                text: chip.name
                                textFormat: Text.PlainText
                                elide: Text.ElideRight
                                maximumLineCount: 1
                                font: Style.subtitle
                                color: Style.ink
                            }
                        }
                    }

                    FileDragSource {
                        anchors.fill: tile
                        pane: root.pane
                        itemId: chip.itemId
                    }
                }
            }
        }
    }
}
