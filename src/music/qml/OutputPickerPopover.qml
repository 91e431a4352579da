import QtQuick
import Tavrenhold.Design
import Tavrenhold.Music

// The picker's list: the header "Output", one row per output of the model (marked as the model
// says), a divider and "Sound Settings…". 240 points wide; the rows scroll when the height given
// is less than they need.
Item {
    id: root

    property OutputPickerModel model
    property color accent: palette.highlight

    readonly property real headerHeight: header.implicitHeight + 18
    readonly property real footerHeight: 13 + settingsRow.implicitHeight
    readonly property real rowsHeight: rows.contentHeight
    // The height with every row showing.
    readonly property real fullHeight: 2 + headerHeight + rowsHeight + footerHeight + 2

    implicitWidth: 240
    implicitHeight: fullHeight

    Text {
        id: header
        objectName: "pickerHeader"
        x: 14
        y: 2 + 12
        text: qsTr("Output")
        font.pixelSize: 11
        font.weight: Font.DemiBold
        color: Style.inkMuted
    }

    ListView {
        id: rows
        objectName: "pickerRows"
        y: 2 + root.headerHeight
        width: root.width
        height: Math.max(0, root.height - 2 - root.headerHeight - root.footerHeight - 2)
        clip: true
        interactive: contentHeight > height
        boundsBehavior: Flickable.StopAtBounds
        model: root.model
        delegate: OutputPickerRow {
            required property int index
            required property var model
            objectName: "pickerRow_" + model.endpointID
            name: model.name
            symbol: model.symbol
            selected: model.selected
            width: ListView.view.width
            accent: root.accent
            onSelect: root.model.choose(index)
        }
    }
    NotchScrollIndicator {
        flickable: rows
    }

    Rectangle {
        objectName: "pickerDivider"
        anchors.bottom: settingsRow.top
        anchors.bottomMargin: 6
        x: 14
        width: root.width - 28
        height: 1
        color: Style.hairline
    }

    OutputPickerSettingsRow {
        id: settingsRow
        objectName: "pickerSettings"
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 2
        width: root.width
        onSettings: root.model.openSettings()
    }
}
