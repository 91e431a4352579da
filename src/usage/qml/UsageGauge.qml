import QtQuick
import Tavrenhold.Design
import Tavrenhold.Usage

// One vendor's ring gauge in the pane's gauge row: the ring of its headline percentage in a tint
// from green to red, the percentage in the middle, the vendor's name in capitals below. Hovering
// and selecting lift the dial; a click anywhere on the gauge runs `clicked`. What it shows is
// computed by UsageGaugeFace.
Item {
    id: gauge

    // The vendor's raw value and its headline percentage (undefined for none).
    property string vendor
    property var headline
    property bool selected: false
    property bool reduceMotion: Motion.reduceMotion
    readonly property alias face: face

    signal clicked()

    implicitWidth: Math.max(44, label.implicitWidth)
    implicitHeight: column.implicitHeight

    UsageGaugeFace {
        id: face
        vendor: gauge.vendor
        headline: gauge.headline
        selected: gauge.selected
        hovering: hover.hovered
        dark: Style.dark
    }

    Column {
        id: column
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 5

        Item {
            id: dial
            objectName: "usageGaugeDial"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 44
            height: 44
            scale: face.dialScale

            NotchAnimation on scale {
                token: Motion.tap
                suspended: gauge.reduceMotion
            }

            NotchRing {
                id: ring
                objectName: "usageGaugeRing"
                anchors.centerIn: parent
                value: face.ringValue
                size: 44
                lineWidth: 4.5
                tint: face.tint
                opacity: face.ringOpacity

                NotchAnimation on opacity {
                    token: Motion.tap
                    suspended: gauge.reduceMotion
                }
            }

            Text {
                objectName: "usageGaugeCenter"
                anchors.centerIn: parent
                text: face.centerText
                textFormat: Text.PlainText
                font: Style.numeric
                color: face.centerColor

                Behavior on color {
                    enabled: !gauge.reduceMotion
                    ColorAnimation { duration: Motion.tap.response * 1000 }
                }
            }
        }

        Text {
            id: label
            objectName: "usageGaugeLabel"
            width: gauge.width
            horizontalAlignment: Text.AlignHCenter
            text: face.label
            textFormat: Text.PlainText
            color: face.labelColor
            font.pixelSize: 8
            font.weight: Font.DemiBold
            font.family: "monospace"
            font.letterSpacing: 0.4
            maximumLineCount: 1
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 6

            Behavior on color {
                enabled: !gauge.reduceMotion
                ColorAnimation { duration: Motion.tap.response * 1000 }
            }
        }
    }

    HoverHandler {
        id: hover
    }
    TapHandler {
        onTapped: gauge.clicked()
    }

    NotchToolTip {
        target: gauge
        shown: hover.hovered
        text: face.helpText
        delay: 600
    }

    Accessible.role: Accessible.Button
    Accessible.name: face.accessibleName
    // The selected trait only while selected: an unselected gauge carries no extra trait.
    Accessible.selectable: gauge.selected
    Accessible.selected: gauge.selected
}
