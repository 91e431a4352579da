import QtQuick
import Tavrenhold.Design

// Animates every change of a number property with a Motion spring; while the desktop asks for
// reduced motion, or while `suspended`, the change happens at once.
//     NotchAnimation on width { token: Motion.morph }
Behavior {
    id: behavior

    property springToken token: Motion.morph
    // Set while a change must land at once, whatever the desktop asks.
    property bool suspended: false

    enabled: !Motion.reduceMotion && !suspended

    NotchSpring {
        token: behavior.token
    }
}
