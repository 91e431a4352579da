import QtQuick
import Tavrenhold.Music

// The playback-position bar: reports each change of a drag as `scrub` and its end as `commit`.
InteractiveBar {
    id: root

    property real fraction: 0

    signal scrub(real fraction)
    signal commit(real fraction)

    value: fraction
    animated: true
    onDragged: fraction => root.scrub(fraction)
    onEnded: fraction => root.commit(fraction)
}
