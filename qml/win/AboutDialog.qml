import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// "About Malvorant PC": version, build and the notice on the DICOM toolkit.
Dialog {
    id: about

    required property UiDefs defs

    title: "About Malvorant PC"
    modal: true
    anchors.centerIn: Overlay.overlay
    width: 520
    padding: 24

    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#c9d3d4"
    }

    header: Label {
        text: about.title
        font.family: about.defs.commonFont
        font.pointSize: about.defs.fontSizeAlert + 2
        font.bold: true
        leftPadding: 24
        topPadding: 20
    }

    footer: Item {
        implicitHeight: 64
        Button {
            anchors.right: parent.right
            anchors.rightMargin: 24
            anchors.verticalCenter: parent.verticalCenter
            text: "OK"
            highlighted: true
            font.family: about.defs.commonFont
            font.pointSize: about.defs.fontSizeDialog
            onClicked: about.close()
        }
    }

    contentItem: ColumnLayout {
        spacing: 10
        RowLayout {
            spacing: 16
            Image {
                sourceSize.width: 64
                sourceSize.height: 64
                source: about.defs.imgIcon
            }
            ColumnLayout {
                spacing: 2
                Label {
                    text: about.defs.productName
                    font.family: about.defs.commonFont
                    font.pointSize: about.defs.fontSizeHeading + 8
                    font.bold: true
                }
                Label {
                    text: "Version " + about.defs.versionStr + ", build " + about.defs.buildStr
                    font.family: about.defs.commonFont
                    font.pointSize: about.defs.fontSizeDialog
                }
            }
        }
        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: "Electrocardiography for veterinary practices: live ECG, recordings, reports, telemedicine and DICOM."
            font.family: about.defs.commonFont
            font.pointSize: about.defs.fontSizeDialog
        }
        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: "This software uses the DCMTK toolkit, licensed by OFFIS e.V., Oldenburg, Germany."
            font.family: about.defs.commonFont
            font.pointSize: about.defs.fontSizeDialog
            color: about.defs.colorTextDim
        }
    }
}
