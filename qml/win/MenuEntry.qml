import QtQuick
import QtQuick.Controls

// One entry of the left drawer's menu.
AbstractButton {
    id: entry

    required property UiDefs defs

    implicitHeight: 52
    hoverEnabled: true
    leftPadding: 24

    background: Rectangle {
        color: entry.down ? "#24575a" : (entry.hovered ? "#35605f" : "transparent")
    }

    contentItem: Label {
        text: entry.text
        color: "white"
        verticalAlignment: Text.AlignVCenter
        font.family: entry.defs.commonFont
        font.pointSize: entry.defs.fontSizeMenuItem * 0.8
    }
}
