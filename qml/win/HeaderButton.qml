import QtQuick
import QtQuick.Controls

// A button of the title bar: an icon over its label.
AbstractButton {
    id: button

    required property UiDefs defs
    property url iconSource
    property color labelColor: defs.colorHeaderText

    implicitWidth: contentItem.implicitWidth + 20
    implicitHeight: contentItem.implicitHeight + 14
    opacity: enabled ? 1.0 : 0.4
    hoverEnabled: true
    // Assistive technology and scripted checks find it by its label.
    Accessible.role: Accessible.Button
    Accessible.name: text

    background: Rectangle {
        radius: 6
        color: button.down ? "#33ffffff" : (button.hovered ? "#1affffff" : "transparent")
    }

    contentItem: Column {
        topPadding: 6
        spacing: 8
        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 52
            height: 52
            sourceSize.width: 52
            sourceSize.height: 52
            source: button.iconSource
            fillMode: Image.PreserveAspectFit
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: button.text
            color: button.labelColor
            font.family: button.defs.commonFont
            font.pointSize: button.defs.fontSizeMenuItem * 0.8
        }
    }
}
