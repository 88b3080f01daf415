import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A help box of the live signal warnings: heading, optional picture, text.
Popup {
    id: help

    required property UiDefs defs
    property string title: ""
    property string text: ""
    property url picture

    modal: true
    font.family: help.defs.commonFont
    font.pointSize: help.defs.fontSizeNormal
    anchors.centerIn: Overlay.overlay
    width: 651
    padding: 24

    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#c9d3d4"
    }

    contentItem: ColumnLayout {
        spacing: 14
        Label {
            Layout.fillWidth: true
            text: help.title
            wrapMode: Text.Wrap
            font.family: help.defs.commonFont
            font.pointSize: help.defs.fontSizeAlert + 2
            font.bold: true
            color: help.defs.colorText
        }
        Image {
            Layout.alignment: Qt.AlignHCenter
            visible: help.picture != ""
            source: help.picture
            sourceSize.width: 400
            fillMode: Image.PreserveAspectFit
        }
        Label {
            Layout.fillWidth: true
            text: help.text
            wrapMode: Text.Wrap
            font.family: help.defs.commonFont
            font.pointSize: help.defs.fontSizeDialog
            color: help.defs.colorText
        }
        Label {
            Layout.fillWidth: true
            text: "Close this box to record anyway, or call Malvorant technical support for help."
            wrapMode: Text.Wrap
            font.family: help.defs.commonFont
            font.pointSize: help.defs.fontSizeDialog
            color: help.defs.colorTextDim
        }
        Button {
            Layout.alignment: Qt.AlignRight
            text: "Ok"
            highlighted: true
            onClicked: help.close()
        }
    }
}
