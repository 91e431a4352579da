import QtQuick

// The settings window. Its General and Panes tabs edit the settings model and the pane preferences,
// and tell the controller when the layout or the panes changed.
Window {
    id: window

    required property QtObject controller

    title: "Tavrenhold Settings"
    width: 560
    height: 440
    minimumWidth: 480
    minimumHeight: 360
    color: systemPalette.window

    SystemPalette {
        id: systemPalette
        colorGroup: SystemPalette.Active
    }
}
