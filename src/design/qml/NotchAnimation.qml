import QtQuick
import Tavrenhold.Design

// Animates every change of a number property with a Motion spring; while the desktop asks for
// reduced motion the change happens at once.
//     NotchAnimation on width { token: Motion.morph }
Behavior {
    id: behavior

    property springToken token: Motion.morph

    enabled: !Motion.reduceMotion

    NotchSpring {
        token: behavior.token
    }
}
