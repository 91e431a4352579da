import QtQuick
import Tavrenhold.Design

// A timed animation along one of the Motion eases (Motion.ambient unless told). Animates numbers
// and colours alike.
PropertyAnimation {
    property easeToken token: Motion.ambient

    duration: token.duration
    easing: token.easing
}
