import QtQuick
import Tavrenhold.Design

// Animates every change of a property with Motion.ambient; while the desktop asks for reduced
// motion the change happens at once.
//     AmbientAnimation on progress {}
Behavior {
    enabled: !Motion.reduceMotion

    NotchEase {}
}
