import QtQuick
import QtQuick.Controls

// One species of the species selector: its picture over its name.
AbstractButton {
    id: button

    required property UiDefs defs
    property url image

    implicitWidth: 130
    implicitHeight: 136

    background: Rectangle {
        radius: 8
        color: button.down ? "#dbe6e7" : "#f2f6f6"
    }

    contentItem: Column {
        spacing: 6
        topPadding: 10
        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            sourceSize.width: 80
            sourceSize.height: 80
            source: button.image
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: button.text
            font.family: button.defs.commonFont
            font.pointSize: button.defs.fontSizeSpeciesSmall + 2
        }
    }
}
