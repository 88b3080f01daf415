import QtQuick
import QtQuick.Controls

// A square icon button with a tool tip.
AbstractButton {
    id: button

    property url iconSource
    property string tip: ""
    property bool checkedLook: false
    property int iconSize: 30

    Accessible.role: Accessible.Button
    Accessible.name: tip

    implicitWidth: iconSize + 14
    implicitHeight: iconSize + 14
    opacity: enabled ? 1.0 : 0.35
    hoverEnabled: true

    ToolTip.visible: hovered && tip.length > 0
    ToolTip.text: tip
    ToolTip.delay: 600

    background: Rectangle {
        radius: 6
        color: button.checkedLook ? "#cfe3e4" : (button.down ? "#dbe6e7" : (button.hovered ? "#e8f0f0" : "transparent"))
        border.color: button.checkedLook ? "#2a8c8f" : "transparent"
    }

    contentItem: Image {
        source: button.iconSource
        sourceSize.width: button.iconSize
        sourceSize.height: button.iconSize
        fillMode: Image.Pad
    }
}
