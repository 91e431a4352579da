import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts

// One labelled picker of the General tab. It shows the stored choice (none when the stored value is
// not an option) and hands only the user's picks to the model.
RowLayout {
    id: row

    required property QtObject general
    required property string picker
    property string label

    Layout.fillWidth: true

    Label {
        text: row.label
        Layout.fillWidth: true
    }
    ComboBox {
        id: box
        objectName: "picker." + row.picker
        Layout.preferredWidth: 200
        model: row.general.labels[row.picker]
        currentIndex: row.general.indices[row.picker]
        displayText: currentIndex < 0 ? "" : currentText
        onActivated: index => {
            row.general.choose(row.picker, index)
            // The pick broke the binding; show what the model holds now.
            box.currentIndex = Qt.binding(() => row.general.indices[row.picker])
        }
    }
}
