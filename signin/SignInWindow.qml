import QtQuick
import QtQuick.Controls
import QtWebEngine

// The sign-in window: the vendor's page above a "Done" button. Nothing on the page can open another
// window, and what its scripts write to the console goes nowhere.
Window {
    id: window

    required property QtObject signInProfile
    required property QtObject relay
    required property url startAddress

    width: 520
    height: 720
    minimumWidth: 520
    maximumWidth: 520
    minimumHeight: 720
    maximumHeight: 720
    flags: Qt.Window | Qt.CustomizeWindowHint | Qt.WindowTitleHint | Qt.WindowSystemMenuHint
           | Qt.WindowCloseButtonHint

    onClosing: window.relay.windowClosed()

    WebEngineView {
        id: web
        objectName: "signInWeb"
        implicitWidth: 520
        implicitHeight: 680
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: done.top
        anchors.bottomMargin: 8
        profile: window.signInProfile

        onUrlChanged: window.relay.addressChanged(web.url)
        onNewWindowRequested: function(request) {}
        onJavaScriptConsoleMessage: function(level, message, lineNumber, sourceID) {}
    }

    Button {
        id: done
        objectName: "signInDone"
        text: "Done — I’m signed in"
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 10
        height: 28
        onClicked: window.relay.donePressed()
    }

    Component.onCompleted: web.url = window.startAddress
}
