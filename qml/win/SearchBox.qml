import QtQuick
import QtQuick.Controls

// The search line above a list. Every change of the text is a new search.
TextField {
    id: box

    required property UiDefs defs

    selectByMouse: true
    font.family: defs.commonFont
    font.pointSize: defs.fontSizeNormal
    leftPadding: 12
    rightPadding: clearButton.visible ? clearButton.width + 8 : 12

    ToolButton {
        id: clearButton
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        visible: box.text.length > 0
        text: "\u2715"
        Accessible.name: "Clear search"
        onClicked: box.clear()
    }
}
