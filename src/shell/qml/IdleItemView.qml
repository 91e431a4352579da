import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// One item of the collapsed bar, from an entry map of the shell model: an artwork tile (24 × 24), a
// waveform (46 × 22), a progress ring with its caption, a badge or a glyph (15 × 15), in the pane's
// accent. With a travel space, artwork and waveform are invisible placeholders that lend their frame
// to the travel layer (the source when `isTravelSource`); without one they are drawn here.
// A ring keeps within the 46-point cell the bar keeps for it. Hovering shows the entry's help
// text, when it has one.
Item {
    id: view

    property var entry: ({})
    property NotchShellModel shell: null
    property TravelSpace travel: null
    property bool isTravelSource: false

    readonly property string kind: entry && entry.kind ? entry.kind : ""
    readonly property color accent: entry && entry.accent ? Style[entry.accent] : Style.ink
    readonly property string help: entry && entry.help ? entry.help : ""
    readonly property real symbolSize: Style.numericSize

    implicitWidth: shown.item ? shown.item.implicitWidth : 0
    implicitHeight: shown.item ? shown.item.implicitHeight : 0
    width: implicitWidth
    height: implicitHeight

    Loader {
        id: shown
        anchors.fill: parent
        sourceComponent: {
            switch (view.kind) {
            case "artwork":
                return view.travel ? artworkPlaceholder : artworkTile
            case "waveform":
                return view.travel ? wavePlaceholder : wave
            case "ring":
                return ring
            case "badge":
                return badge
            case "glyph":
                return glyph
            }
            return null
        }
    }

    Component {
        id: artworkPlaceholder
        TravelAnchor {
            objectName: "artworkPlaceholder"
            implicitWidth: 24
            implicitHeight: 24
            space: view.travel
            matchId: "artwork"
            isSource: view.isTravelSource
        }
    }

    Component {
        id: wavePlaceholder
        TravelAnchor {
            objectName: "waveformPlaceholder"
            implicitWidth: 46
            implicitHeight: 22
            space: view.travel
            matchId: "waveform"
            isSource: view.isTravelSource
        }
    }

    Component {
        id: artworkTile
        ArtworkThumb {
            id: tile
            objectName: "artworkTile"
            implicitWidth: 24
            implicitHeight: 24
            shell: view.shell
            imageId: view.entry.imageId || ""
            radius: 6
            fill: Style.fill
            backed: true

            SymbolImage {
                anchors.centerIn: parent
                width: 10
                height: 10
                visible: !tile.hasPicture
                name: "music.note"
                color: Style.inkFaint
            }
        }
    }

    Component {
        id: wave
        NotchWaveform {
            implicitWidth: 46
            implicitHeight: 22
            levels: view.entry.levels || []
            isPlaying: !!view.entry.isPlaying
            // The levels change at the owning pane's cadence; the bars step with them.
            animated: false
        }
    }

    Component {
        id: ring
        RingSlot {
            progress: view.entry.progress || 0
            label: view.entry.label || ""
            hasSpan: !!view.entry.hasSpan
            spanStart: view.entry.spanStart
            spanEnd: view.entry.spanEnd
            tint: view.accent
            shell: view.shell
            maximumWidth: 46
        }
    }

    Component {
        id: badge
        Row {
            spacing: 5

            SymbolImage {
                anchors.verticalCenter: parent.verticalCenter
                width: view.symbolSize
                height: view.symbolSize
                name: view.entry.symbol || ""
                color: view.accent
            }
            NotchText {
                anchors.verticalCenter: parent.verticalCenter
                visible: text !== ""
                text: view.entry.text || ""
                font: Style.numeric
                size: Style.numericSize
                color: Style.ink
            }
        }
    }

    Component {
        id: glyph
        Item {
            implicitWidth: 15
            implicitHeight: 15

            SymbolImage {
                anchors.centerIn: parent
                width: view.symbolSize
                height: view.symbolSize
                name: view.entry.symbol || ""
                color: view.accent
            }
        }
    }

    HoverHandler {
        id: hover
        enabled: view.help !== ""
    }
    NotchToolTip {
        target: view
        shown: hover.hovered
        text: view.help
        delay: 600
    }
}
