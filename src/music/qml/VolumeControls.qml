import QtQuick
import Tavrenhold.Design
import Tavrenhold.Music

// A mute button beside a volume slider, over the default output. The output is read when the
// controls come on screen; every change goes to it at once.
Row {
    id: root

    property MusicPane pane

    spacing: 2

    VolumeController {
        id: controller
        objectName: "volumeController"
        pane: root.pane
    }
    onVisibleChanged: {
        if (visible)
            controller.reload()
    }

    NotchButton {
        id: muteButton
        objectName: "muteButton"
        anchors.verticalCenter: parent.verticalCenter
        symbol: controller.symbol
        size: 11
        action: () => controller.toggleMute()
        NotchToolTip {
            target: muteButton
            shown: muteButton.hovering
            text: controller.muteHelp
        }
    }

    VolumeSlider {
        id: slider
        objectName: "volumeSlider"
        anchors.verticalCenter: parent.verticalCenter
        width: 52
        height: 18
        volume: controller
        NotchToolTip {
            target: slider
            shown: slider.hovering
            text: qsTr("Volume")
        }
    }
}
