import QtQuick
import Tavrenhold.Design
import Tavrenhold.Usage

// The AI Usage pane's content: with no vendor connected, where to connect one; otherwise the
// period control and refresh button, the last error, one gauge per vendor with figures and the
// selected vendor's model chips. The shell hands in the pane; every text comes from the view model.
Item {
    id: root

    property QtObject pane

    UsagePaneViewModel {
        id: usage
        store: root.pane ? root.pane.store : null
    }

    // The empty body.
    Column {
        objectName: "emptyBody"
        visible: !usage.connected
        anchors.fill: parent
        anchors.leftMargin: 34
        anchors.rightMargin: 34
        spacing: 8

        Text {
            text: "AI Usage"
            font: Style.subtitle
            color: Style.inkMuted
        }
        Text {
            width: parent.width
            text: "Connect vendors in Settings › AI Usage. Live plan limits show here as gauges."
            font: Style.caption
            color: Style.inkFaint
            wrapMode: Text.WordWrap
        }
        // A button drawn as a link: it takes keyboard focus and Space, Return or Enter press it.
        Text {
            id: openSettings
            objectName: "openSettings"
            text: "Open Settings…"
            font: Style.caption
            color: Style.usageAccent
            activeFocusOnTab: true

            function press() {
                if (root.pane)
                    root.pane.openSettings()
            }

            TapHandler {
                onTapped: openSettings.press()
            }
            Keys.onPressed: event => {
                if (event.key === Qt.Key_Space || event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                    event.accepted = true
                    openSettings.press()
                }
            }
            Accessible.role: Accessible.Button
            Accessible.name: text
            Accessible.focusable: true
            Accessible.onPressAction: openSettings.press()
        }
    }

    // The connected body.
    Column {
        objectName: "connectedBody"
        visible: usage.connected
        anchors.fill: parent
        anchors.leftMargin: 34
        anchors.rightMargin: 34
        spacing: 8

        Item {
            id: header
            width: parent.width
            height: Math.max(periodControl.implicitHeight, refreshButton.height)

            Row {
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8
                Text {
                    id: periodControl
                    objectName: "periodControl"
                    anchors.verticalCenter: parent.verticalCenter
                    text: usage.periodLabel
                    font: Style.label
                    Component.onCompleted: font.letterSpacing = 1
                    color: Style.inkMuted
                    TapHandler {
                        onTapped: usage.cyclePeriod()
                    }
                }
                Text {
                    objectName: "windowLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: usage.windowLabel !== ""
                    text: usage.windowLabel
                    textFormat: Text.PlainText
                    font: Style.label
                    Component.onCompleted: font.letterSpacing = 0.6
                    color: Style.inkFaint
                    maximumLineCount: 1
                    elide: Text.ElideRight
                    width: Math.min(implicitWidth, header.width - periodControl.width - refreshButton.width - 24)
                }
            }

            // The refresh capsule; disabled while a refresh runs.
            Rectangle {
                id: refreshButton
                objectName: "refreshButton"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                readonly property color tint: usage.refreshing ? Style.usageAccent : Style.inkMuted
                readonly property bool enabled: !usage.refreshing
                width: refreshRow.implicitWidth + 14
                height: refreshRow.implicitHeight + 6
                radius: height / 2
                color: "transparent"
                border.width: 1
                border.color: usage.refreshing ? Qt.rgba(Style.usageAccent.r, Style.usageAccent.g, Style.usageAccent.b, 0.7)
                                               : Style.hairline
                Accessible.role: Accessible.Button
                Accessible.name: "Refresh usage"

                Row {
                    id: refreshRow
                    anchors.centerIn: parent
                    spacing: 4
                    SymbolImage {
                        id: spinner
                        anchors.verticalCenter: parent.verticalCenter
                        width: 9
                        height: 9
                        name: "arrow.clockwise"
                        color: refreshButton.tint
                        // Spins while refreshing, whatever Reduce Motion says; turns back to rest after.
                        RotationAnimation on rotation {
                            running: usage.refreshing
                            from: 0
                            to: 360
                            duration: 800
                            loops: Animation.Infinite
                        }
                        states: State {
                            when: !usage.refreshing
                            PropertyChanges { target: spinner; rotation: 0 }
                        }
                        transitions: Transition {
                            RotationAnimation { duration: 250; direction: RotationAnimation.Shortest }
                        }
                    }
                    Text {
                        objectName: "refreshText"
                        anchors.verticalCenter: parent.verticalCenter
                        text: usage.refreshText
                        font: Style.label
                        Component.onCompleted: font.letterSpacing = 0.8
                        color: refreshButton.tint
                    }
                }
                HoverHandler {
                    id: refreshHover
                }
                NotchToolTip {
                    target: refreshButton
                    shown: refreshHover.hovered
                    text: "Refresh usage now"
                }
                TapHandler {
                    enabled: refreshButton.enabled
                    onTapped: usage.refresh()
                }
            }
        }

        Text {
            objectName: "errorLine"
            visible: usage.errorText !== ""
            width: parent.width
            text: usage.errorText
            textFormat: Text.PlainText
            font: Style.caption
            color: Style.usageHigh
            wrapMode: Text.WordWrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }

        Row {
            id: gaugeRow
            objectName: "gaugeRow"
            width: parent.width
            Repeater {
                model: usage.gauges
                UsageGauge {
                    required property var modelData
                    objectName: "gauge." + modelData.vendor
                    width: gaugeRow.width / Math.max(1, usage.gauges.length)
                    vendor: modelData.vendor
                    headline: modelData.percent
                    selected: modelData.selected
                    onClicked: usage.select(modelData.vendor)
                }
            }
        }

        Column {
            objectName: "modelStrip"
            visible: usage.showsStrip
            width: parent.width
            spacing: 6
            Rectangle {
                width: parent.width
                height: 1
                color: Style.hairline
            }
            Row {
                width: parent.width
                spacing: 6
                Text {
                    id: stripLabel
                    anchors.verticalCenter: parent.verticalCenter
                    text: usage.stripLabel
                    font: Style.label
                    Component.onCompleted: font.letterSpacing = 0.8
                    color: Style.inkMuted
                }
                Flickable {
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - stripLabel.width - 6
                    height: chips.implicitHeight
                    contentWidth: chips.implicitWidth
                    flickableDirection: Flickable.HorizontalFlick
                    clip: true
                    Row {
                        id: chips
                        spacing: 4
                        Repeater {
                            objectName: "chips"
                            model: usage.chips
                            Rectangle {
                                required property string modelData
                                width: chipText.implicitWidth + 14
                                height: chipText.implicitHeight + 6
                                radius: height / 2
                                color: "transparent"
                                border.width: 1
                                border.color: Style.hairline
                                Text {
                                    id: chipText
                                    anchors.centerIn: parent
                                    text: parent.modelData
                                    textFormat: Text.PlainText
                                    font: Style.caption
                                    color: Style.ink
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
