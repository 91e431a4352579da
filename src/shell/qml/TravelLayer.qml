import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// The artwork and the music waveform as single views above the idle bar and the open panel. Each sits
// on the frame its placeholder in the idle bar publishes and follows it; when the surface opens they
// fly to their open-panel size (156 × 156 artwork, 26 × 46 waveform when opening on music) while fading
// out, and when it closes they fly back into the bar while fading in, with Motion.morph (at once under
// reduced motion). Without a source they settle at the layer's top-leading corner. Takes no pointer.
Item {
    id: layer

    required property NotchShellModel model
    property TravelSpace space: null

    enabled: false

    // Invisible while open, and while collapsed to the notch's width.
    property real shownOpacity: model.expanded || model.hiddenAtIdle ? 0 : 1
    NotchAnimation on shownOpacity {}
    property real artRadius: model.openOnMusic ? 13 : 6
    NotchAnimation on artRadius {}

    TravelFlight {
        id: artFlight
        space: layer.space
        matchId: "artwork"
        restSize: layer.model.openOnMusic ? Qt.size(156, 156) : Qt.size(24, 24)
        key: layer.model.expanded
        animated: !Motion.reduceMotion
        onLaunched: artSpring.restart()
    }
    NotchSpring {
        id: artSpring
        target: artFlight
        property: "progress"
        from: 0
        to: 1
    }

    TravelFlight {
        id: waveFlight
        space: layer.space
        matchId: "waveform"
        restSize: layer.model.openOnMusic ? Qt.size(26, 46) : Qt.size(46, 22)
        key: layer.model.expanded
        animated: !Motion.reduceMotion
        onLaunched: waveSpring.restart()
    }
    NotchSpring {
        id: waveSpring
        target: waveFlight
        property: "progress"
        from: 0
        to: 1
    }

    ArtworkThumb {
        objectName: "travellingArt"
        visible: layer.model.hasTravelArtwork
        x: artFlight.frame.x
        y: artFlight.frame.y
        width: artFlight.frame.width
        height: artFlight.frame.height
        opacity: layer.shownOpacity
        shell: layer.model
        imageId: layer.model.travelArtwork.imageId || ""
        radius: layer.artRadius
        fill: Style.fill
    }

    NotchWaveform {
        objectName: "travellingWave"
        visible: layer.model.hasTravelWave
        x: waveFlight.frame.x
        y: waveFlight.frame.y
        width: waveFlight.frame.width
        height: waveFlight.frame.height
        opacity: layer.shownOpacity
        levels: layer.model.travelLevels
        isPlaying: layer.model.travelPlaying
        // The levels change at the Music pane's cadence; the bars step with them.
        animated: false
    }
}
