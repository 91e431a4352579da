import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts

// One labelled switch. `on` is what the model holds; a toggle calls `toggled(checked)` and then
// shows the model's value again (a refused change snaps back).
RowLayout {
    id: row

    property string label
    property string name
    property bool on
    property bool switchEnabled: true
    signal toggled(bool checked)

    Layout.fillWidth: true

    Label {
        text: row.label
        Layout.fillWidth: true
        enabled: row.switchEnabled
    }
    Switch {
        id: toggle
        objectName: row.name
        checked: row.on
        enabled: row.switchEnabled
        onToggled: {
            row.toggled(checked)
            toggle.checked = Qt.binding(() => row.on)
        }
    }
}
