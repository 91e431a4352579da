import QtQuick
import QtQuick.Layouts
import Tavrenhold.Design

// The expanded Notes pane: the list of note tiles, or the editor of one note. Everything shown
// comes from the pane's store and every action is one of its operations; the view keeps no state.
Item {
    id: root

    property QtObject pane
    readonly property QtObject store: pane ? pane.store : null

    // Opens the menu of the note's tile where the right button was pressed, inside the pane.
    function showMenu(tile, x, y) {
        const at = tile.mapToItem(root, x, y)
        menu.noteID = tile.noteId
        menu.x = Math.max(0, Math.min(at.x, root.width - menu.implicitWidth))
        menu.y = Math.max(0, Math.min(at.y, root.height - menu.implicitHeight))
        menu.open()
    }

    // One note's tile: its title and preview; a left click opens it, the right button asks for
    // its menu.
    component NoteTile: NotchTile {
        id: tile
        property string noteId
        property string shownTitle
        property string shownPreview
        property bool menuShown: false
        signal opened()
        signal menuAsked(real x, real y)
        objectName: "noteTile"
        interactive: true
        height: implicitHeight
        y: parent ? (parent.height - height) / 2 : 0

        Item {
            width: parent.width
            implicitHeight: titleText.implicitHeight + 4 + previewText.implicitHeight

            Text {
                id: titleText
                objectName: "noteTitle"
                width: parent.width
                text: tile.shownTitle
                font: Style.subtitle
                color: Style.ink
                elide: Text.ElideRight
                maximumLineCount: 1
            }
            Text {
                id: previewText
                objectName: "notePreview"
                y: titleText.implicitHeight + 4
                width: parent.width
                text: tile.shownPreview
                font: Style.caption
                color: Style.inkMuted
                wrapMode: Text.Wrap
                elide: Text.ElideRight
                maximumLineCount: 2
            }
        }

        // A tap on the open menu reaches the tile below it too; that one is the menu's, not the
        // tile's (the menu stays open only for presses inside it).
        TapHandler {
            property bool forMenu: false
            acceptedButtons: Qt.LeftButton
            onPressedChanged: if (pressed) forMenu = tile.menuShown
            onTapped: {
                if (!forMenu)
                    tile.opened()
            }
        }
        TapHandler {
            acceptedButtons: Qt.RightButton
            onTapped: (point) => tile.menuAsked(point.position.x, point.position.y)
        }
    }


    ColumnLayout {
        anchors.fill: parent
        anchors.leftMargin: 34
        anchors.rightMargin: 34
        spacing: 8

        // ---- The list
        RowLayout {
            visible: root.store !== null && !root.store.showsEditor
            Layout.fillWidth: true
            spacing: 8

            Text {
                text: qsTr("Notes")
                font: Style.subtitle
                color: Style.inkMuted
            }
            Item {
                Layout.fillWidth: true
            }
            Text {
                objectName: "notesClear"
                visible: root.store !== null && root.store.count > 0
                text: qsTr("Clear")
                font: Style.caption
                color: Style.inkMuted
                TapHandler {
                    onTapped: root.store.clearAll()
                }
            }
            SymbolImage {
                objectName: "notesCreate"
                implicitWidth: 14
                implicitHeight: 14
                name: "plus"
                color: Style.notesAccent
                TapHandler {
                    margin: 6
                    onTapped: root.store.create()
                }
            }
        }

        // Why the last note could not be made, or was cut.
        Text {
            objectName: "notesNotice"
            visible: root.store !== null && root.store.notice !== ""
            Layout.fillWidth: true
            text: root.store ? root.store.notice : ""
            font: Style.caption
            color: Style.usageHigh
            elide: Text.ElideRight
        }

        Text {
            objectName: "notesEmpty"
            visible: root.store !== null && root.store.loaded && !root.store.showsEditor && root.store.count === 0
            Layout.fillWidth: true
            Layout.fillHeight: true
            verticalAlignment: Text.AlignTop
            text: qsTr("Capture something quick.")
            font: Style.caption
            color: Style.inkFaint
        }

        Item {
            visible: root.store !== null && !root.store.showsEditor && root.store.count > 0
            Layout.fillWidth: true
            Layout.fillHeight: true

            // Only the rows in sight (and a little beyond) are built, however many notes there are.
            ListView {
                id: scroller
                objectName: "notesGrid"
                anchors.fill: parent
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                spacing: 8
                model: root.store ? root.store.notePairs : null
                readonly property real tileWidth: Math.max(10, (width - 8) / 2)

                // A row of two tiles, as tall as the taller, each centred in it. Heights come from
                // the texts alone: a positioner would drop the tiles while the pane is hidden (in
                // the carousel, outside its window) and the rows would fold to nothing.
                delegate: Item {
                    id: pair
                    required property string leftId
                    required property string leftDisplayTitle
                    required property string leftPreview
                    required property string rightId
                    required property string rightDisplayTitle
                    required property string rightPreview
                    required property bool hasRight

                    width: ListView.view.width
                    height: Math.max(left.implicitHeight, hasRight ? right.implicitHeight : 0)

                    NoteTile {
                        id: left
                        width: scroller.tileWidth
                        menuShown: menu.visible
                        onOpened: root.store.open(noteId)
                        onMenuAsked: (x, y) => root.showMenu(left, x, y)
                        x: 0
                        noteId: pair.leftId
                        shownTitle: pair.leftDisplayTitle
                        shownPreview: pair.leftPreview
                    }
                    NoteTile {
                        id: right
                        width: scroller.tileWidth
                        menuShown: menu.visible
                        onOpened: root.store.open(noteId)
                        onMenuAsked: (x, y) => root.showMenu(right, x, y)
                        x: scroller.tileWidth + 8
                        visible: pair.hasRight
                        noteId: pair.rightId
                        shownTitle: pair.rightDisplayTitle
                        shownPreview: pair.rightPreview
                    }
                }
            }

            NotchScrollIndicator {
                flickable: scroller
            }
        }

        // ---- The editor
        RowLayout {
            visible: root.store !== null && root.store.showsEditor
            Layout.fillWidth: true
            spacing: 8

            SymbolImage {
                objectName: "notesBack"
                implicitWidth: 13
                implicitHeight: 13
                name: "chevron.left"
                color: Style.inkMuted
                TapHandler {
                    margin: 6
                    onTapped: root.store.save()
                }
            }
            Text {
                text: qsTr("Edit")
                font: Style.subtitle
                color: Style.inkMuted
            }
            Item {
                Layout.fillWidth: true
            }
            Text {
                objectName: "notesSave"
                text: qsTr("Save")
                font: Style.caption
                color: Style.notesAccent
                TapHandler {
                    onTapped: root.store.save()
                }
            }
        }

        NotchTextField {
            id: titleField
            objectName: "noteTitleField"
            visible: root.store !== null && root.store.showsEditor
            Layout.fillWidth: true
            text: root.store ? root.store.draftTitle : ""
            placeholderText: qsTr("Title")
            placeholderTextColor: Style.inkFaint
            font: Style.subtitle
            color: Style.ink
            leftPadding: 8
            rightPadding: 8
            topPadding: 6
            bottomPadding: 6
            radius: 10
            fill: Style.fill
            // Only what the user types is committed; opening a note sets the text without a commit.
            onTextEdited: {
                root.store.draftTitle = text
                root.store.commitDraft(false)
            }
        }

        Rectangle {
            visible: root.store !== null && root.store.showsEditor
            Layout.fillWidth: true
            Layout.fillHeight: true
            radius: 10
            color: Style.fill

            Flickable {
                id: bodyScroller
                anchors.fill: parent
                clip: true
                contentWidth: width
                contentHeight: bodyArea.height
                boundsBehavior: Flickable.StopAtBounds

                // Keeps the cursor in view while typing.
                function follow(r) {
                    if (r.y < contentY)
                        contentY = r.y
                    else if (r.y + r.height > contentY + height)
                        contentY = r.y + r.height - height
                }

                TextEdit {
                    id: bodyArea
                    objectName: "noteBodyField"
                    width: bodyScroller.width
                    // At least the field's height, so a tap anywhere in it starts typing.
                    height: Math.max(implicitHeight, bodyScroller.height)
                    font: Style.body
                    color: Style.ink
                    wrapMode: TextEdit.Wrap
                    padding: 8
                    selectByMouse: true
                    selectionColor: Style.fillActive
                    selectedTextColor: Style.onActive
                    onCursorRectangleChanged: bodyScroller.follow(cursorRectangle)

                    // TextEdit has no user-edit signal, and its text is the document's plain text
                    // (line breaks and some spaces normalised), not the draft it was given: every
                    // change while the draft is being shown is the store's, any other the user's.
                    property bool showingDraft: false
                    property bool typing: false
                    function showDraft() {
                        const draft = root.store ? root.store.draft : ""
                        if (draft === text)
                            return
                        showingDraft = true
                        text = draft
                        showingDraft = false
                    }
                    Component.onCompleted: showDraft()
                    Connections {
                        target: root.store
                        // A draft the store cut while taking the user's text is shown once that
                        // change has run its course, not from inside it.
                        function onDraftChanged() {
                            if (bodyArea.typing)
                                Qt.callLater(bodyArea.showDraft)
                            else
                                bodyArea.showDraft()
                        }
                    }
                    onTextChanged: {
                        if (!showingDraft && root.store && root.store.showsEditor) {
                            typing = true
                            root.store.draft = text
                            root.store.commitDraft(false)
                            typing = false
                        }
                    }
                }
            }
        }
    }

    NotchMenu {
        id: menu
        objectName: "noteMenu"
        property string noteID

        NotchMenuItem {
            objectName: "noteDelete"
            text: qsTr("Delete")
            font: Style.body
            textColor: Style.usageHigh
            onTriggered: root.store.deleteNote(menu.noteID)
        }
    }
}
