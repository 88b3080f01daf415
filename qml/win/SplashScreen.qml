import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The splash screen with the terms of use, shown until the user accepts them.
Item {
    id: splash

    required property UiDefs defs

    // Invoked by the bridge when the terms have not been accepted.
    signal qmlShowSplashScreen()

    // The terms page, shown in the in-application browser.
    signal pageRequested(url url, string title)

    visible: false

    onQmlShowSplashScreen: {
        visible = true;
        termsPopup.open();
    }

    Component.onCompleted: cQmlInterface.setSplashScreenObject(splash)

    // Takes every click while the splash is up.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
    }

    Rectangle {
        anchors.fill: parent
        color: "#10383b"
    }

    Image {
        anchors.fill: parent
        source: splash.visible ? splash.defs.imgSplash : ""
        fillMode: Image.PreserveAspectCrop
    }

    Popup {
        id: termsPopup
        modal: true
        dim: false
        closePolicy: Popup.NoAutoClose
        anchors.centerIn: Overlay.overlay
        width: 560
        padding: 28

        background: Rectangle {
            radius: 10
            color: "white"
        }

        contentItem: ColumnLayout {
            spacing: 16
            Label {
                text: "Malvorant Terms of Use"
                font.family: splash.defs.commonFont
                font.pointSize: splash.defs.fontSizeHeading + 6
                font.bold: true
                color: splash.defs.colorText
            }
            Label {
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                text: "Before you use this product you must accept the Yarlo Malvorant Terms of Use"
                font.family: splash.defs.commonFont
                font.pointSize: splash.defs.fontSizeNormal
                color: splash.defs.colorText
            }
            Label {
                text: "<a href=\"tuc\">View Terms of Use</a>"
                textFormat: Text.StyledText
                linkColor: splash.defs.colorAccent
                font.family: splash.defs.linkFont
                font.pointSize: splash.defs.fontSizeNormal
                onLinkActivated: splash.pageRequested("qrc:/qml/win/html/tuc.html", "Malvorant Terms of Use")
                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.NoButton
                    cursorShape: Qt.PointingHandCursor
                }
            }
            RowLayout {
                Layout.alignment: Qt.AlignRight
                Layout.topMargin: 8
                spacing: 12
                Button {
                    text: "Cancel"
                    font.family: splash.defs.commonFont
                    font.pointSize: splash.defs.fontSizeNormal
                    onClicked: {
                        termsPopup.close();
                        cQmlInterface.splashScreenTucAction(0);
                    }
                }
                Button {
                    text: "Accept"
                    highlighted: true
                    font.family: splash.defs.commonFont
                    font.pointSize: splash.defs.fontSizeNormal
                    onClicked: {
                        termsPopup.close();
                        splash.visible = false;
                        cQmlInterface.splashScreenTucAction(1);
                    }
                }
            }
        }
    }
}
