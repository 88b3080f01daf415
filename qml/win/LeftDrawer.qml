import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The menu at the left edge: about the program and its legal pages.
Drawer {
    id: drawer

    required property UiDefs defs

    signal aboutRequested()
    signal pageRequested(url url, string title)

    edge: Qt.LeftEdge
    width: 320

    background: Rectangle { color: drawer.defs.colorHeader }

    component MenuEntry: ItemDelegate {
        Layout.fillWidth: true
        font.family: drawer.defs.commonFont
        font.pointSize: drawer.defs.fontSizeMenuItem * 0.8
        contentItem: Label {
            text: parent.text
            color: "white"
            font: parent.font
            leftPadding: 8
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: 24
        spacing: 4

        Label {
            Layout.leftMargin: 24
            Layout.bottomMargin: 16
            text: drawer.defs.productName
            color: "white"
            font.family: drawer.defs.commonFont
            font.pointSize: drawer.defs.fontSizeHeaderArea * 0.6
            font.bold: true
        }
        MenuEntry {
            text: "About Malvorant PC"
            onClicked: { drawer.close(); drawer.aboutRequested(); }
        }
        MenuEntry {
            text: "Malvorant Terms of Use"
            onClicked: { drawer.close(); drawer.pageRequested("qrc:/qml/win/html/tuc.html", text); }
        }
        MenuEntry {
            text: "Malvorant Privacy Policy"
            onClicked: { drawer.close(); drawer.pageRequested("qrc:/qml/win/html/privacy.html", text); }
        }
        Item { Layout.fillHeight: true }
    }
}
