import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts

// The AI Usage tab: the gauges' period, the vendors' own billing periods, one row per vendor to
// connect, follow and end its connection, and "Disconnect All". Every value comes from the usage
// model; every control calls it.
ScrollView {
    id: view
    objectName: "aiUsageScroll"

    required property QtObject usage

    contentWidth: availableWidth

    component Footer: Label {
        Layout.fillWidth: true
        wrapMode: Text.WordWrap
        textFormat: Text.PlainText
        font.pixelSize: 11
        opacity: 0.65
    }

    ColumnLayout {
        width: view.availableWidth - 32
        x: 16
        y: 16
        spacing: 14

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            SettingsSection {
                title: qsTr("Dashboard")
                RowLayout {
                    Layout.fillWidth: true
                    Label {
                        text: qsTr("Period")
                        Layout.fillWidth: true
                    }
                    ComboBox {
                        id: period
                        objectName: "picker.period"
                        Layout.preferredWidth: 200
                        model: view.usage.periodTitles
                        currentIndex: view.usage.periodIndex
                        onActivated: index => {
                            view.usage.choosePeriod(index)
                            period.currentIndex = Qt.binding(() => view.usage.periodIndex)
                        }
                    }
                }
            }
            Footer {
                text: qsTr("Gauges show each vendor’s own limit: Today picks the 5-hour or daily window, 7 Days the weekly one, Month the monthly one, and Period whichever limit is closest to running out. Refreshes every 5 minutes, or tap refresh in the notch.")
            }
        }

        ColumnLayout {
            objectName: "vendorPeriods"
            visible: view.usage.showsVendorPeriods
            Layout.fillWidth: true
            spacing: 4
            SettingsSection {
                title: qsTr("Vendor Periods")
                Repeater {
                    model: view.usage.vendorPeriods
                    RowLayout {
                        required property var modelData
                        objectName: "vendorPeriod." + modelData.vendor
                        Layout.fillWidth: true
                        Label {
                            text: modelData.name
                            textFormat: Text.PlainText
                            Layout.fillWidth: true
                        }
                        ColumnLayout {
                            spacing: 2
                            Label {
                                Layout.alignment: Qt.AlignRight
                                text: modelData.label
                                textFormat: Text.PlainText
                            }
                            Label {
                                Layout.alignment: Qt.AlignRight
                                text: modelData.range
                                textFormat: Text.PlainText
                                font.pixelSize: 11
                                opacity: 0.65
                            }
                        }
                    }
                }
            }
            Footer {
                text: qsTr("Reported by each vendor.")
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            SettingsSection {
                title: qsTr("Vendors")
                Repeater {
                    objectName: "vendorRows"
                    model: view.usage.rows
                    RowLayout {
                        id: row
                        required property var modelData
                        objectName: "vendorRow." + modelData.vendor
                        Layout.fillWidth: true
                        spacing: 8

                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: 2
                            Label {
                                text: row.modelData.name
                                textFormat: Text.PlainText
                            }
                            Label {
                                objectName: "vendorStatus." + row.modelData.vendor
                                Layout.fillWidth: true
                                text: row.modelData.status
                                textFormat: Text.PlainText
                                wrapMode: Text.WordWrap
                                font.pixelSize: 11
                                opacity: 0.65
                            }
                        }
                        TextEdit {
                            objectName: "copilotCode"
                            visible: row.modelData.code !== ""
                            text: row.modelData.code
                            textFormat: TextEdit.PlainText
                            readOnly: true
                            selectByMouse: true
                            color: palette.text
                            font.family: "monospace"
                            font.weight: Font.DemiBold
                        }
                        Label {
                            objectName: "waiting." + row.modelData.vendor
                            visible: row.modelData.waiting
                            text: qsTr("Waiting for sign-in…")
                            font.pixelSize: 11
                            opacity: 0.65
                        }
                        Button {
                            objectName: "vendorButton." + row.modelData.vendor
                            text: row.modelData.button
                            palette.buttonText: row.modelData.destructive ? "#d0302a" : view.palette.buttonText
                            onClicked: view.usage.act(row.modelData.vendor)
                        }
                    }
                }
                TextEdit {
                    objectName: "loginError"
                    visible: view.usage.loginError !== ""
                    Layout.fillWidth: true
                    text: view.usage.loginError
                    textFormat: TextEdit.PlainText
                    wrapMode: TextEdit.Wrap
                    readOnly: true
                    selectByMouse: true
                    color: "#d0302a"
                    font.pixelSize: 11
                }
            }
            Footer {
                text: qsTr("All numbers are live plan limits. Google’s come from gemini.google.com/usage, Anthropic’s from claude.ai, OpenAI’s from your ChatGPT plan and Cursor’s from the dashboard. Copilot signs in with a GitHub device code. xAI reads the Grok CLI login (run `grok login` first). Sessions stay in Tavrenhold’s keyring.")
            }
        }

        Frame {
            Layout.fillWidth: true
            Button {
                objectName: "disconnectAll"
                text: qsTr("Disconnect All")
                enabled: view.usage.canDisconnectAll
                palette.buttonText: "#d0302a"
                onClicked: view.usage.disconnectAll()
            }
        }
    }
}
