import QtQuick
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

    // How much of the live face shows, 0 … 1: going live or leaving it cross-fades the transport and
    // the empty-state actions and slides the level meter in or out with the content spring; at once
    // under reduced motion.
    property real liveShare: vm.live ? 1 : 0
    NotchAnimation on liveShare {
        token: Motion.content
    }
    readonly property real liveOpacity: Math.min(1, Math.max(0, liveShare))

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 34
        anchors.rightMargin: 34
        anchors.bottomMargin: 10
        // The gaps are margins, so the meter's gap can slide out with it.
        spacing: 0

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
            Layout.leftMargin: 14
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
                            help: tooltip !== "" ? tooltip : vm.openSourceHelp
                        }
                        NotchButton {
                            id: heart
                            objectName: "musicHeart"
                            visible: vm.showsHeart
                            symbol: vm.heartSymbol
                            size: 11
                            action: () => vm.favorite()
                            NotchToolTip {
                                target: heart
                                shown: heart.hovering
                                text: vm.heartHelp
                            }
                        }
                    }

                    Text {
                        id: subtitle
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
                        NotchToolTip {
                            target: subtitle
                            shown: subtitleHover.hovered
                            text: vm.openSourceHelp
                        }
                    }
                }

                AirPlayOutputButton {
                    objectName: "musicOutputButton"
                    Layout.preferredWidth: 28
                    Layout.preferredHeight: 28
                    Layout.alignment: Qt.AlignTop
                    diameter: 28
                    pane: root.pane
                    // The popup stays inside the notch: a row chosen there leaves the pointer
                    // over the notch.
                    bounds: root
                }
            }

            Item {
                Layout.fillHeight: true
                Layout.minimumHeight: 8
            }

            // The transport and the empty-state actions share the column's foot; its height moves
            // from one face's to the other's with the fade.
            Item {
                Layout.fillWidth: true
                Layout.preferredHeight: transport.implicitHeight * root.liveOpacity + 34 * (1 - root.liveOpacity)

                ColumnLayout {
                    id: transport
                    objectName: "musicTransport"
                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.bottom: parent.bottom
                    opacity: root.liveOpacity
                    visible: opacity > 0
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

                // Tiles that do not all fit share the row, each text cut at its tail.
                RowLayout {
                    objectName: "musicEmptyActions"
                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.bottom: parent.bottom
                    height: 34
                    opacity: 1 - root.liveOpacity
                    visible: opacity > 0
                    spacing: 8

                    NotchTile {
                        objectName: "musicOpenSettings"
                        Layout.alignment: Qt.AlignVCenter
                        Layout.fillWidth: true
                        Layout.minimumWidth: implicitHeight
                        Layout.maximumWidth: implicitWidth
                        visible: vm.showsSettingsTile
                        interactive: true
                        RowLayout {
                            anchors.fill: parent
                            spacing: 6
                            SymbolImage {
                                Layout.preferredWidth: 13
                                Layout.preferredHeight: 13
                                name: "lock.open"
                                color: Style.ink
                            }
                            Text {
                                Layout.fillWidth: true
                                text: qsTr("Open Settings")
                                font: Style.subtitle
                                color: Style.ink
                                maximumLineCount: 1
                                elide: Text.ElideRight
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
                            Layout.alignment: Qt.AlignVCenter
                            Layout.fillWidth: true
                            Layout.minimumWidth: implicitHeight
                            Layout.maximumWidth: implicitWidth
                            interactive: true
                            opacity: modelData.opacity
                            RowLayout {
                                anchors.fill: parent
                                spacing: 6
                                SymbolImage {
                                    Layout.preferredWidth: 13
                                    Layout.preferredHeight: 13
                                    name: "play.circle"
                                    color: Style.ink
                                }
                                Text {
                                    objectName: "playerTileText"
                                    Layout.fillWidth: true
                                    text: modelData.text
                                    font: Style.subtitle
                                    color: Style.ink
                                    maximumLineCount: 1
                                    elide: Text.ElideRight
                                }
                            }
                            TapHandler {
                                onTapped: vm.launch(modelData.id)
                            }
                        }
                    }

                    // Keeps the tiles at the leading edge.
                    Item {
                        Layout.fillWidth: true
                    }
                }
            }
        }

        // The level meter and the gap before it take no room once the face is not live.
        Item {
            Layout.preferredWidth: (14 + 26) * root.liveOpacity
            Layout.preferredHeight: 46
            Layout.alignment: Qt.AlignVCenter
            visible: root.liveOpacity > 0
            clip: root.liveOpacity < 1

            NotchWaveform {
                objectName: "musicLevels"
                anchors.right: parent.right
                width: 26
                height: 46
                opacity: root.liveOpacity
                visible: root.liveOpacity > 0
                levels: root.pane ? root.pane.levels : []
                isPlaying: vm.playing
                // While playing the levels change at the pane's cadence and the bars step with
                // them; settling flat after a pause glides.
                animated: !vm.playing
            }
        }
    }
}
