import QtQuick
import Tavrenhold.Design
import Tavrenhold.Focus

// The expanded Focus pane: the ring on the left; the phase, the time left, today's rounds and the
// start/pause, reset and skip buttons on the right. Every value comes from `face`, computed at its
// `now`, which a half-second timer refreshes while the view is shown.
Item {
    id: root

    property QtObject pane

    FocusFace {
        id: face
        objectName: "focusFace"
        pane: root.pane
    }

    Timer {
        interval: 500
        repeat: true
        running: root.visible && root.pane !== null
        onTriggered: face.refresh()
    }

    Row {
        anchors.centerIn: parent
        spacing: 18

        NotchRing {
            objectName: "focusRing"
            anchors.verticalCenter: parent.verticalCenter
            value: face.progress
            size: 72
            lineWidth: 5
            tint: Style.focusAccent
        }

        Column {
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8

            Text {
                objectName: "focusTitle"
                text: face.title
                font: Style.label
                color: Style.inkFaint
                Component.onCompleted: font.letterSpacing = 1.2
            }

            Text {
                objectName: "focusTime"
                text: face.time
                font: Style.numericLarge
                color: Style.ink
            }

            Row {
                spacing: 6

                Text {
                    objectName: "focusRounds"
                    anchors.verticalCenter: parent.verticalCenter
                    text: face.roundsText
                    font: Style.caption
                    color: Style.inkMuted
                }

                SymbolImage {
                    id: resetRounds
                    objectName: "focusResetRounds"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: face.rounds >= 1
                    width: 11
                    height: width
                    name: "xmark.circle.fill"
                    color: Style.inkFaint

                    HoverHandler {
                        id: resetHover
                    }
                    TapHandler {
                        onTapped: root.pane.resetRoundsToday()
                    }
                    NotchToolTip {
                        target: resetRounds
                        shown: resetHover.hovered
                        text: qsTr("Reset today's rounds")
                    }
                }
            }

            Row {
                spacing: 4

                NotchButton {
                    objectName: "focusToggle"
                    anchors.verticalCenter: parent.verticalCenter
                    symbol: face.running ? "pause.fill" : "play.fill"
                    size: 14
                    action: () => root.pane.toggle()
                }
                NotchButton {
                    objectName: "focusReset"
                    anchors.verticalCenter: parent.verticalCenter
                    symbol: "arrow.counterclockwise"
                    size: 12
                    action: () => root.pane.reset()
                }
                NotchButton {
                    objectName: "focusSkip"
                    anchors.verticalCenter: parent.verticalCenter
                    symbol: "forward.end.fill"
                    size: 12
                    action: () => root.pane.skip()
                }
            }
        }
    }
}
