import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtWebView

// The in-application browser: a web view across the whole window, opened
// from the right edge, with back and forward buttons and a progress bar.
Drawer {
    id: browser

    required property UiDefs defs
    required property UiData ui

    edge: Qt.RightEdge
    width: parent ? parent.width : 1280
    height: parent ? parent.height : 800
    interactive: false

    Component.onCompleted: cQmlInterface.setBrowserDrawerObject(browser)

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 56
            color: browser.defs.colorHeader
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 12
                anchors.rightMargin: 12
                spacing: 8
                Button {
                    text: "Back"
                    visible: browser.ui.browserShowForwardBackwardButton
                    enabled: webView.canGoBack
                    onClicked: webView.goBack()
                }
                Button {
                    text: "Forward"
                    visible: browser.ui.browserShowForwardBackwardButton
                    enabled: webView.canGoForward
                    onClicked: webView.goForward()
                }
                Label {
                    Layout.fillWidth: true
                    text: browser.ui.browserTitle
                    color: "white"
                    font.pointSize: 14
                    font.bold: true
                    elide: Text.ElideRight
                }
                Button {
                    text: "Close"
                    onClicked: browser.close()
                }
            }
        }

        ProgressBar {
            Layout.fillWidth: true
            from: 0
            to: 100
            value: webView.loadProgress
            visible: webView.loading
        }

        WebView {
            id: webView
            Layout.fillWidth: true
            Layout.fillHeight: true
            url: browser.ui.browserUrl
        }
    }
}
