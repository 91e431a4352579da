import QtQuick
import Tavrenhold.Design

// A one-line text field: the typed text over an optional rounded fill, with a placeholder while
// empty. Our own small item so the notch needs no Quick Controls. `textEdited` goes out only for
// what the user types, not when `text` is set.
//     NotchTextField { text: store.query; placeholderText: qsTr("Search"); onTextEdited: store.query = text }
FocusScope {
    id: field

    property alias text: input.text
    property string placeholderText
    property color placeholderTextColor: Style.inkFaint
    property alias font: input.font
    property alias color: input.color
    property real leftPadding: 0
    property real rightPadding: 0
    property real topPadding: 0
    property real bottomPadding: 0
    // The fill behind the text; transparent draws none.
    property color fill: "transparent"
    property real radius: 0

    signal textEdited()

    implicitWidth: 120
    implicitHeight: input.implicitHeight + topPadding + bottomPadding
    activeFocusOnTab: true

    Rectangle {
        anchors.fill: parent
        visible: field.fill.a > 0
        radius: field.radius
        color: field.fill
    }

    Text {
        anchors.fill: input
        visible: input.text.length === 0 && input.preeditText.length === 0
        text: field.placeholderText
        font: input.font
        color: field.placeholderTextColor
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
    }

    TextInput {
        id: input
        anchors.fill: parent
        anchors.leftMargin: field.leftPadding
        anchors.rightMargin: field.rightPadding
        anchors.topMargin: field.topPadding
        anchors.bottomMargin: field.bottomPadding
        focus: true
        clip: true
        verticalAlignment: TextInput.AlignVCenter
        selectByMouse: true
        color: Style.ink
        selectionColor: Style.fillActive
        selectedTextColor: Style.onActive
        onTextEdited: field.textEdited()
    }
}
