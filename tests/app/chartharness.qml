import QtQuick
import "qrc:/qml/win"

// The two chart views of the program stacked as the main window stacks
// them, over the program's own UiData and UiDefs.
Item {
    id: harness
    width: 1600
    height: 800

    property alias ecgView: ecgView
    property alias gridView: gridView

    UiDefs {
        id: uiDefs
        isYarloVariant: true
    }
    UiData {
        id: uiData
        objectName: "uiData"
        defs: uiDefs
    }

    Rectangle {
        anchors.fill: parent
        color: "white"
    }
    GridViewQd {
        id: gridView
        defs: uiDefs
        ui: uiData
        anchors.fill: parent
    }
    EcgView {
        id: ecgView
        defs: uiDefs
        ui: uiData
        anchors.fill: parent
    }

}
