import QtQuick
import Tavrenhold.Music

// The volume bar: shows `volume.sliderValue` and writes every change of a drag and its end back
// through the controller, so the volume follows the pointer.
InteractiveBar {
    id: root

    property VolumeController volume

    value: volume ? volume.sliderValue : 0
    animated: false
    onDragged: fraction => root.volume.setSliderValue(fraction)
    onEnded: fraction => root.volume.setSliderValue(fraction)
}
