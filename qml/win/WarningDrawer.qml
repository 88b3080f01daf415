import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A live signal warning at the right edge, with close and help icons.
Drawer {
    id: drawer

    required property UiDefs defs
    property string title: ""
    property string text: ""

    signal helpRequested()
    signal closedByUser()

    edge: Qt.RightEdge
    width: 348
    modal: false
    interactive: false
    closePolicy: Popup.NoAutoClose

    background: Rectangle {
        color: "#fff7e0"
        border.color: drawer.defs.colorVectorError
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12
        RowLayout {
            Layout.fillWidth: true
            Label {
                Layout.fillWidth: true
                text: drawer.title
                wrapMode: Text.Wrap
                font.family: drawer.defs.commonFont
                font.pointSize: drawer.defs.fontSizeAlert + 2
                font.bold: true
                color: drawer.defs.colorText
            }
            ToolButton {
                text: "?"
                Accessible.name: "Help"
                font.pointSize: drawer.defs.fontSizeAlert
                onClicked: drawer.helpRequested()
            }
            ToolButton {
                text: "\u2715"
                Accessible.name: "Close"
                font.pointSize: drawer.defs.fontSizeAlert
                onClicked: {
                    drawer.close();
                    drawer.closedByUser();
                }
            }
        }
        Label {
            Layout.fillWidth: true
            text: drawer.text
            wrapMode: Text.Wrap
            font.family: drawer.defs.commonFont
            font.pointSize: drawer.defs.fontSizeNormal
            color: drawer.defs.colorText
        }
        Item { Layout.fillHeight: true }
    }
}
