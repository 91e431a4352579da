import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts

// The General tab: startup, display, appearance, size, focus and feedback settings.
ScrollView {
    id: view
    objectName: "generalScroll"

    required property QtObject general

    contentWidth: availableWidth
    onVisibleChanged: if (visible) general.refreshLogin()
    Component.onCompleted: general.refreshLogin()

    ColumnLayout {
        width: view.availableWidth - 32
        x: 16
        y: 16
        spacing: 14

        SettingsSection {
            title: qsTr("Startup")
            Button {
                objectName: "approveLaunchAtLogin"
                visible: view.general.launchNeedsApproval
                text: qsTr("Approve Launch at Login…")
                onClicked: view.general.approveLaunchAtLogin()
            }
            SettingsSwitch {
                visible: !view.general.launchNeedsApproval
                name: "launchAtLogin"
                label: qsTr("Launch at Login")
                on: view.general.launchAtLogin
                onToggled: checked => view.general.setLaunchAtLogin(checked)
            }
        }

        SettingsSection {
            title: qsTr("Display")
            SettingsPicker { general: view.general; picker: "screen"; label: qsTr("Screen") }
        }

        SettingsSection {
            title: qsTr("Appearance")
            SettingsPicker { general: view.general; picker: "theme"; label: qsTr("Theme") }
            SettingsPicker { general: view.general; picker: "material"; label: qsTr("Material") }
        }

        SettingsSection {
            title: qsTr("Size")
            SettingsPicker { general: view.general; picker: "expandedWidth"; label: qsTr("Expanded Width") }
            SettingsPicker { general: view.general; picker: "collapsedWidth"; label: qsTr("Collapsed Width") }
            SettingsPicker { general: view.general; picker: "collapsedHeight"; label: qsTr("Collapsed Height") }
            SettingsSwitch {
                name: "showProgress"
                label: qsTr("Playback Progress")
                on: view.general.showProgress
                switchEnabled: view.general.progressEnabled
                onToggled: checked => view.general.setShowProgress(checked)
            }
            SettingsPicker { general: view.general; picker: "hoverZone"; label: qsTr("Hover Zone") }
        }

        SettingsSection {
            title: qsTr("Focus")
            SettingsPicker { general: view.general; picker: "focusLength"; label: qsTr("Focus Length") }
            SettingsPicker { general: view.general; picker: "shortBreak"; label: qsTr("Short Break") }
            SettingsPicker { general: view.general; picker: "longBreak"; label: qsTr("Long Break") }
            SettingsPicker { general: view.general; picker: "longBreakAfter"; label: qsTr("Long Break After") }
            Button {
                objectName: "resetRounds"
                text: view.general.resetRoundsTitle
                onClicked: view.general.resetRounds()
            }
        }

        SettingsSection {
            title: qsTr("Feedback")
            SettingsSwitch {
                name: "haptics"
                label: qsTr("Haptics")
                on: view.general.haptics
                onToggled: checked => view.general.setHaptics(checked)
            }
        }

        Item { implicitHeight: 16 }
    }
}
