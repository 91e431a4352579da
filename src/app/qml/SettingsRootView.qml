import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts
import Tavrenhold.Design

// The tabs, each a symbol and a label, over their pages; it opens on General.
Item {
    id: root

    required property QtObject general
    required property QtObject panes
    required property QtObject usage

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: 8
        spacing: 0

        TabBar {
            id: tabs
            objectName: "settingsTabs"
            Layout.alignment: Qt.AlignHCenter

            Repeater {
                model: [
                    { title: qsTr("General"), symbol: "gearshape" },
                    { title: qsTr("Panes"), symbol: "rectangle.split.3x1" },
                    { title: qsTr("AI Usage"), symbol: "gauge.with.dots.needle.67percent" }
                ]
                TabButton {
                    required property var modelData
                    objectName: "tab." + modelData.symbol
                    text: modelData.title
                    icon.source: Symbols.url(modelData.symbol)
                    icon.width: 16
                    icon.height: 16
                    width: implicitWidth
                }
            }
        }

        StackLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumWidth: 480
            Layout.minimumHeight: 480
            currentIndex: tabs.currentIndex

            GeneralSettingsView {
                general: root.general
            }
            PanesSettingsView {
                panes: root.panes
            }
            AIUsageSettingsView {
                usage: root.usage
            }
        }
    }
}
