pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A titled list of radio buttons over a list of texts; picks one index.
ColumnLayout {
    id: choices

    required property UiDefs defs
    property string title: ""
    property var model: []
    property int currentIndex: -1
    property bool horizontal: false

    signal chosen(int index)

    spacing: 4

    Label {
        visible: choices.title.length > 0
        text: choices.title
        color: choices.defs.colorText
        font.family: choices.defs.commonFont
        font.pointSize: choices.defs.fontSizeNormal
        font.bold: true
    }

    GridLayout {
        columns: choices.horizontal ? Math.max(1, choices.model.length) : 1
        columnSpacing: 16
        rowSpacing: 0
        Repeater {
            model: choices.model
            RadioButton {
                required property int index
                required property var modelData
                text: String(modelData)
                checked: index === choices.currentIndex
                font.family: choices.defs.commonFont
                font.pointSize: choices.defs.fontSizeNormal
                onClicked: {
                    choices.currentIndex = index;
                    choices.chosen(index);
                }
            }
        }
    }
}
