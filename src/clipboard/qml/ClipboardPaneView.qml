import QtQuick
import Tavrenhold.Design
import Tavrenhold.Clipboard

// The expanded Clipboard pane: a header with Pause/Resume and Clear, the search field, and the
// history the search lets through (or a line saying why there is none). Every value comes from
// the service, through `list`; the view keeps only each row's hover.
Item {
    id: root

    property QtObject pane
    readonly property var store: pane ? pane.store : null

    ClipboardList {
        id: list
        objectName: "clipboardList"
        store: root.store
    }

    Column {
        anchors.fill: parent
        anchors.leftMargin: 34
        anchors.rightMargin: 34
        spacing: 8

        // Header.
        Item {
            width: parent.width
            height: Math.max(heading.implicitHeight, pauseButton.implicitHeight)

            Text {
                id: heading
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Clipboard")
                font: Style.subtitle
                color: Style.inkMuted
            }
            Row {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8

                Text {
                    id: pauseButton
                    objectName: "clipboardPause"
                    text: root.store && root.store.isPaused ? qsTr("Resume") : qsTr("Pause")
                    font: Style.caption
                    color: Style.clipboardAccent
                    TapHandler {
                        onTapped: list.togglePaused()
                    }
                }
                Text {
                    objectName: "clipboardClear"
                    text: qsTr("Clear")
                    font: Style.caption
                    color: Style.inkMuted
                    TapHandler {
                        onTapped: list.clearHistory()
                    }
                }
            }
        }

        // Search field.
        Rectangle {
            width: parent.width
            height: Math.max(searchField.implicitHeight, 14) + 10
            radius: 10
            color: Style.fill

            SymbolImage {
                id: glass
                anchors.left: parent.left
                anchors.leftMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                width: 12
                height: 12
                name: "magnifyingglass"
                color: Style.inkFaint
            }
            NotchTextField {
                id: searchField
                objectName: "clipboardSearch"
                anchors.left: glass.right
                anchors.leftMargin: 6
                anchors.right: parent.right
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                font: Style.caption
                color: Style.ink
                placeholderText: qsTr("Search clipboard")
                placeholderTextColor: Style.inkFaint
                text: root.store ? root.store.searchQuery : ""
                onTextEdited: if (root.store) root.store.searchQuery = text
            }
        }

        // Why the last copy was cut or not kept.
        Text {
            objectName: "clipboardNotice"
            width: parent.width
            visible: text.length > 0
            text: root.store ? root.store.notice : ""
            font: Style.caption
            color: Style.inkMuted
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
            textFormat: Text.PlainText
        }

        // Content.
        Item {
            width: parent.width
            height: parent.height - y

            Text {
                objectName: "clipboardEmpty"
                visible: list.count === 0
                anchors.left: parent.left
                anchors.top: parent.top
                text: list.emptyText
                font: Style.caption
                color: Style.inkFaint
            }

            ListView {
                id: rows
                objectName: "clipboardRows"
                anchors.fill: parent
                visible: list.count > 0
                clip: true
                spacing: 4
                model: list
                boundsBehavior: Flickable.StopAtBounds

                delegate: Rectangle {
                    id: row
                    objectName: "clipboardRow"
                    required property string itemId
                    required property string kind
                    required property string preview
                    required property string sourceApp
                    required property bool pinned
                    required property string timeText
                    required property string symbol
                    readonly property bool hovering: rowHover.hovered
                    readonly property bool showsButtons: hovering || pinned

                    width: ListView.view.width
                    height: Math.max(22, textColumn.implicitHeight) + 12
                    radius: 10
                    color: hovering ? Style.fillHover : Style.fill

                    HoverHandler {
                        id: rowHover
                    }
                    // Clicks on the row's buttons stay with the buttons, above this area.
                    MouseArea {
                        objectName: "clipboardRowArea"
                        anchors.fill: parent
                        acceptedButtons: Qt.LeftButton | Qt.RightButton
                        onClicked: (mouse) => {
                            if (mouse.button === Qt.RightButton) {
                                menu.itemId = row.itemId
                                menu.pinned = row.pinned
                                menu.popup(row, mouse.x, mouse.y)
                            }
                            else
                                list.copy(row.itemId)
                        }
                    }

                    Item {
                        id: icon
                        anchors.left: parent.left
                        anchors.leftMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        width: 22
                        height: 22

                        ClipboardThumbnail {
                            id: thumbnail
                            objectName: "clipboardThumbnail"
                            anchors.fill: parent
                            visible: row.kind === "image" && valid
                            store: row.kind === "image" ? root.store : null
                            itemId: row.kind === "image" ? row.itemId : ""
                            radius: 4
                        }
                        SymbolImage {
                            objectName: "clipboardRowSymbol"
                            anchors.centerIn: parent
                            visible: !thumbnail.visible
                            width: 13
                            height: 13
                            name: row.symbol
                            color: Style.inkMuted
                        }
                    }

                    Column {
                        id: textColumn
                        anchors.left: icon.right
                        anchors.leftMargin: 8
                        anchors.right: buttons.visible ? buttons.left : parent.right
                        anchors.rightMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 1

                        Text {
                            objectName: "clipboardPreview"
                            width: parent.width
                            text: row.preview
                            font: Style.caption
                            color: Style.ink
                            maximumLineCount: 2
                            wrapMode: Text.Wrap
                            elide: Text.ElideRight
                            textFormat: Text.PlainText
                        }
                        Row {
                            spacing: 6
                            Text {
                                objectName: "clipboardSource"
                                visible: row.sourceApp.length > 0
                                text: row.sourceApp
                                font.pixelSize: 10
                                color: Style.inkFaint
                                textFormat: Text.PlainText
                            }
                            Text {
                                objectName: "clipboardTime"
                                text: row.timeText
                                font.pixelSize: 10
                                color: Style.inkFaint
                            }
                        }
                    }

                    Row {
                        id: buttons
                        objectName: "clipboardButtons"
                        anchors.right: parent.right
                        anchors.rightMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 8
                        visible: row.showsButtons

                        SymbolImage {
                            objectName: "clipboardPin"
                            width: 12
                            height: 12
                            name: row.pinned ? "pin.fill" : "pin"
                            color: row.pinned ? Style.clipboardAccent : Style.inkFaint
                            MouseArea {
                                anchors.fill: parent
                                anchors.margins: -4
                                onClicked: list.togglePin(row.itemId)
                            }
                        }
                        SymbolImage {
                            objectName: "clipboardDelete"
                            width: 10
                            height: 10
                            anchors.verticalCenter: parent.verticalCenter
                            name: "xmark"
                            color: Style.inkFaint
                            MouseArea {
                                anchors.fill: parent
                                anchors.margins: -4
                                onClicked: list.remove(row.itemId)
                            }
                        }
                    }

                }
            }

            NotchScrollIndicator {
                flickable: rows
            }
        }
    }

    NotchMenu {
        id: menu
        objectName: "clipboardMenu"
        // The row the menu was opened on.
        property string itemId
        property bool pinned
        margins: 4

        NotchMenuItem {
            text: qsTr("Copy")
            onTriggered: list.copy(menu.itemId)
        }
        NotchMenuItem {
            text: menu.pinned ? qsTr("Unpin") : qsTr("Pin")
            onTriggered: list.togglePin(menu.itemId)
        }
        NotchMenuSeparator {}
        NotchMenuItem {
            text: qsTr("Delete")
            onTriggered: list.remove(menu.itemId)
        }
    }
}
