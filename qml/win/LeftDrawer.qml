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
            Layout.fillWidth: true
            defs: drawer.defs
            text: "About Malvorant PC"
            onClicked: {
                drawer.close();
                drawer.aboutRequested();
            }
        }

        MenuEntry {
            Layout.fillWidth: true
            defs: drawer.defs
            text: "Malvorant Terms of Use"
            onClicked: {
                drawer.close();
                drawer.pageRequested("qrc:/qml/win/html/tuc.html", "Malvorant Terms of Use");
            }
        }

        MenuEntry {
            Layout.fillWidth: true
            defs: drawer.defs
            text: "Malvorant Privacy Policy"
            onClicked: {
                drawer.close();
                drawer.pageRequested("qrc:/qml/win/html/privacy.html", "Malvorant Privacy Policy");
            }
        }

        Item { Layout.fillHeight: true }
    }
}
