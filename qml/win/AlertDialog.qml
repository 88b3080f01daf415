import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A modal message with a title, a text, an optional informative text and
// one or two buttons.
Dialog {
    id: alert

    required property UiDefs defs
    property string text: ""
    property string informativeText: ""
    property string acceptText: "OK"
    // Empty: no second button.
    property string rejectText: ""
    // Empty: no third button, between the other two.
    property string otherText: ""

    signal otherClicked()

    modal: true
    closePolicy: Popup.NoAutoClose
    anchors.centerIn: Overlay.overlay
    width: 520
    padding: 24
    topPadding: 20

    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#c9d3d4"
    }

    header: Label {
        text: alert.title
        font.family: alert.defs.commonFont
        font.pointSize: alert.defs.fontSizeAlert + 2
        font.bold: true
        color: alert.defs.colorText
        leftPadding: 24
        rightPadding: 24
        topPadding: 20
        elide: Text.ElideRight
    }

    contentItem: ColumnLayout {
        spacing: 12
        Label {
            Layout.fillWidth: true
            text: alert.text
            wrapMode: Text.Wrap
            font.family: alert.defs.commonFont
            font.pointSize: alert.defs.fontSizeAlert
            color: alert.defs.colorText
        }
        Label {
            Layout.fillWidth: true
            visible: alert.informativeText.length > 0
            text: alert.informativeText
            wrapMode: Text.Wrap
            font.family: alert.defs.commonFont
            font.pointSize: alert.defs.fontSizeDialog
            color: alert.defs.colorTextDim
        }
    }

    footer: Item {
        implicitHeight: buttons.implicitHeight + 32
        RowLayout {
            id: buttons
            anchors.right: parent.right
            anchors.rightMargin: 24
            anchors.verticalCenter: parent.verticalCenter
            spacing: 12
            Button {
                text: alert.rejectText
                visible: alert.rejectText.length > 0
                font.family: alert.defs.commonFont
                font.pointSize: alert.defs.fontSizeDialog
                onClicked: alert.reject()
            }
            Button {
                text: alert.otherText
                visible: alert.otherText.length > 0
                font.family: alert.defs.commonFont
                font.pointSize: alert.defs.fontSizeDialog
                onClicked: {
                    alert.close();
                    alert.otherClicked();
                }
            }
            Button {
                text: alert.acceptText
                highlighted: true
                font.family: alert.defs.commonFont
                font.pointSize: alert.defs.fontSizeDialog
                onClicked: alert.accept()
            }
        }
    }
}
