import QtQuick
import Tavrenhold.Design
import Tavrenhold.Shell

// The trailing wing's rotor: the entries stacked as a vertical strip of 46 × 22 cells behind a
// window of one cell, the shown one in place. A change of the shown entry slides the strip with
// Motion.rotate; the wrap from the last to the first slides back across all cells.
Item {
    id: rotor

    property var entries: []
    // The shown entry, already held within the entries.
    property int index: 0
    property NotchShellModel shell: null
    property TravelSpace travel: null
    // Whether the shown entry's placeholder is the travel source.
    property bool isSource: false

    readonly property int count: entries ? entries.length : 0
    readonly property real cellWidth: 46
    readonly property real cellHeight: 22

    width: count === 0 ? 0 : cellWidth
    height: cellHeight
    clip: true

    property real offset: -index * cellHeight
    NotchAnimation on offset {
        token: Motion.rotate
    }

    Item {
        id: strip
        objectName: "rotorStrip"
        y: rotor.offset
        width: rotor.cellWidth

        // Cells are kept by position, so new levels of a playing waveform reach the cell that is
        // there instead of building the strip again at every tick.
        Repeater {
            model: rotor.count

            Item {
                required property int index

                y: index * rotor.cellHeight
                width: rotor.cellWidth
                height: rotor.cellHeight

                IdleItemView {
                    anchors.centerIn: parent
                    entry: rotor.entries[index]
                    shell: rotor.shell
                    travel: rotor.travel
                    isTravelSource: rotor.isSource && index === rotor.index
                }
            }
        }
    }
}
