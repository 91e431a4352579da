import QtQuick
import Tavrenhold.Design

// A SpringAnimation that moves like one of the Motion springs (Motion.morph unless told).
SpringAnimation {
    property springToken token: Motion.morph

    spring: token.spring
    damping: token.damping
    mass: token.mass
}
