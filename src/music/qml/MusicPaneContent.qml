import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tavrenhold.Design
import Tavrenhold.Music

// The expanded Music pane. Live: artwork, the sweeping title (with a heart for Music), the subtitle,
// then the scrubber over the time row (elapsed, previous / play-pause / next, volume, total) and a
// small level meter at the far right. Not live: the same artwork tile, title and subtitle, then the
// "Open Settings" tile when automation was refused and one tile per player that can be started.
// Every text and number comes from the view model; the view lays out and forwards clicks.
Item {
    id: root

    property MusicPane pane

    MusicPaneViewModel {
        id: vm
        objectName: "musicModel"
        pane: root.pane
    }

    // Face changes glide, except while the pane lands a new track or under reduced motion.
    readonly property bool glide: !Motion.reduceMotion && !(root.pane && root.pane.animationsDisabled)

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 34
        anchors.rightMargin: 34
        anchors.bottomMargin: 10
        spacing: 14

        Item {
            objectName: "musicArtwork"
            Layout.preferredWidth: 112
            Layout.preferredHeight: 112
            Layout.alignment: Qt.AlignVCenter

            ArtworkTile {
                id: artwork
                objectName: "musicArtworkTile"
                anchors.fill: parent
                pane: root.pane
                radius: 13
                fill: Style.fill
            }
            SymbolImage {
                objectName: "musicPlaceholder"
                anchors.centerIn: parent
                visible: !artwork.hasPicture
                width: 34
                height: 34
                name: "music.note"
                color: Style.inkFaint
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.topMargin: 4
            spacing: 5

            RowLayout {
                Layout.fillWidth: true
                spacing: 8

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignTop
                    spacing: 5

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 6

                        MarqueeText {
                            id: title
                            objectName: "musicTitle"
                            Layout.fillWidth: true
                            text: vm.title
                            font: Style.title
                            color: Style.ink
                            onClicked: vm.openSource()
                            ToolTip.visible: hovering && (tooltip !== "" || vm.openSourceHelp !== "")
                            ToolTip.text: tooltip !== "" ? tooltip : vm.openSourceHelp
                        }
                        NotchButton {
                            objectName: "musicHeart"
                            visible: vm.showsHeart
                            symbol: vm.heartSymbol
                            size: 11
                            action: () => vm.favorite()
                            ToolTip.visible: hovering
                            ToolTip.text: vm.heartHelp
                        }
                    }

                    Text {
                        objectName: "musicSubtitle"
                        Layout.fillWidth: true
                        text: vm.subtitle
                        font: Style.subtitle
                        color: Style.inkMuted
                        maximumLineCount: 1
                        wrapMode: Text.NoWrap
                        elide: Text.ElideRight

                        HoverHandler {
                            id: subtitleHover
                        }
                        TapHandler {
                            onTapped: vm.openSource()
                        }
                        ToolTip.visible: subtitleHover.hovered && vm.openSourceHelp !== ""
                        ToolTip.text: vm.openSourceHelp
                    }
                }

                AirPlayOutputButton {
                    objectName: "musicOutputButton"
                    Layout.preferredWidth: 28
                    Layout.preferredHeight: 28
                    Layout.alignment: Qt.AlignTop
                    diameter: 28
                    pane: root.pane
                }
            }

            Item {
                Layout.fillHeight: true
                Layout.minimumHeight: 8
            }

            ColumnLayout {
                objectName: "musicTransport"
                Layout.fillWidth: true
                visible: vm.live
                spacing: 6

                Scrubber {
                    objectName: "musicScrubber"
                    Layout.fillWidth: true
                    Layout.preferredHeight: MusicControls.barHeight
                    fraction: vm.shownFraction
                    animated: root.glide
                    onScrub: fraction => vm.scrub(fraction)
                    onCommit: fraction => vm.commitScrub(fraction)
                }

                Row {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 6

                    Text {
                        objectName: "musicElapsed"
                        anchors.verticalCenter: parent.verticalCenter
                        width: 40
                        horizontalAlignment: Text.AlignLeft
                        text: vm.elapsedText
                        font: Style.numeric
                        color: Style.inkMuted
                        maximumLineCount: 1
                    }
                    Row {
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 0

                        NotchButton {
                            objectName: "musicPrevious"
                            anchors.verticalCenter: parent.verticalCenter
                            symbol: "backward.fill"
                            size: 12
                            action: () => vm.previous()
                        }
                        NotchButton {
                            objectName: "musicPlayPause"
                            anchors.verticalCenter: parent.verticalCenter
                            symbol: vm.playSymbol
                            size: 16
                            action: () => vm.togglePlayback()
                        }
                        NotchButton {
                            objectName: "musicNext"
                            anchors.verticalCenter: parent.verticalCenter
                            symbol: "forward.fill"
                            size: 12
                            action: () => vm.next()
                        }
                    }
                    VolumeControls {
                        objectName: "musicVolume"
                        anchors.verticalCenter: parent.verticalCenter
                        pane: root.pane
                    }
                    Text {
                        objectName: "musicDuration"
                        anchors.verticalCenter: parent.verticalCenter
                        width: 40
                        horizontalAlignment: Text.AlignRight
                        text: vm.durationText
                        font: Style.numeric
                        color: Style.inkMuted
                        maximumLineCount: 1
                    }
                }
            }

            Row {
                objectName: "musicEmptyActions"
                Layout.fillWidth: true
                Layout.preferredHeight: 34
                visible: !vm.live
                spacing: 8

                NotchTile {
                    objectName: "musicOpenSettings"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: vm.showsSettingsTile
                    interactive: true
                    Row {
                        spacing: 6
                        SymbolImage {
                            anchors.verticalCenter: parent.verticalCenter
                            width: 13
                            height: 13
                            name: "lock.open"
                            color: Style.ink
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: qsTr("Open Settings")
                            font: Style.subtitle
                            color: Style.ink
                        }
                    }
                    TapHandler {
                        onTapped: vm.openSettings()
                    }
                }

                Repeater {
                    objectName: "musicPlayerTiles"
                    model: vm.playerTiles
                    delegate: NotchTile {
                        required property var modelData
                        objectName: "playerTile_" + modelData.id
                        anchors.verticalCenter: parent.verticalCenter
                        interactive: true
                        opacity: modelData.opacity
                        Row {
                            spacing: 6
                            SymbolImage {
                                anchors.verticalCenter: parent.verticalCenter
                                width: 13
                                height: 13
                                name: "play.circle"
                                color: Style.ink
                            }
                            Text {
                                objectName: "playerTileText"
                                anchors.verticalCenter: parent.verticalCenter
                                text: modelData.text
                                font: Style.subtitle
                                color: Style.ink
                            }
                        }
                        TapHandler {
                            onTapped: vm.launch(modelData.id)
                        }
                    }
                }
            }
        }

        NotchWaveform {
            objectName: "musicLevels"
            Layout.preferredWidth: 26
            Layout.preferredHeight: 46
            Layout.alignment: Qt.AlignVCenter
            visible: vm.live
            levels: root.pane ? root.pane.levels : []
            isPlaying: vm.playing
        }
    }
}
