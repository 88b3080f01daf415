import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The frame of a full view: a title bar with the view's heading and a close
// button, the content below it on white.
Pane {
    id: frame

    required property UiDefs defs
    property string title: ""
    // Extra controls at the right of the title bar, before the close button.
    default property alias content: body.data
    property alias tools: toolRow.data

    signal closeRequested()

    // One font for every control of the view.
    padding: 0
    font.family: defs.commonFont
    font.pointSize: defs.fontSizeNormal
    background: Rectangle { color: frame.defs.colorBackground }

    // Clicks never fall through to the ECG below.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        onWheel: (wheel) => wheel.accepted = true
    }

    Rectangle {
        id: titleBar
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: 64
        color: frame.defs.colorHeader

        Label {
            anchors.left: parent.left
            anchors.leftMargin: frame.defs.greenPadding
            anchors.right: toolRow.left
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            text: frame.title
            elide: Text.ElideRight
            color: frame.defs.colorHeaderText
            font.family: frame.defs.commonFont
            font.pointSize: frame.defs.fontSizeMenuItem + 2
            font.bold: true
        }

        RowLayout {
            id: toolRow
            anchors.right: closeButton.left
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
        }

        Button {
            id: closeButton
            objectName: "viewClose"
            anchors.right: parent.right
            anchors.rightMargin: frame.defs.greenPadding
            anchors.verticalCenter: parent.verticalCenter
            text: "Close"
            font.family: frame.defs.commonFont
            font.pointSize: frame.defs.fontSizeNormal
            onClicked: frame.closeRequested()
        }
    }

    Item {
        id: body
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: titleBar.bottom
        anchors.bottom: parent.bottom
    }
}
