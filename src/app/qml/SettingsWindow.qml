import QtQuick
import QtQuick.Controls.Fusion

// The settings window: the General, Panes and AI Usage tabs over the models the controller hands in.
// Closing it only hides it; the controller shows the same window again.
Window {
    id: window

    required property QtObject controller
    required property QtObject general
    required property QtObject panes
    required property QtObject usage

    objectName: "Tavrenhold.SettingsWindow"
    title: "Tavrenhold Settings"
    width: 520
    height: 560
    minimumWidth: 480
    minimumHeight: 488
    color: palette.window

    SettingsRootView {
        anchors.fill: parent
        general: window.general
        panes: window.panes
        usage: window.usage
    }
}
