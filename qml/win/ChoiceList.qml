pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A titled list of radio buttons over a list of texts. It shows the index its
// owner holds (currentIndex, usually bound to the state) and only tells of a
// click: the owner takes the choice, so a change made elsewhere shows too.
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
            id: rows
            model: choices.model
            RadioButton {
                required property int index
                required property var modelData
                text: String(modelData)
                checked: index === choices.currentIndex
                font.family: choices.defs.commonFont
                font.pointSize: choices.defs.fontSizeNormal
                onClicked: {
                    choices.chosen(index);
                    // The click checked this button itself: the marks follow
                    // the index again, also when the owner kept the old one.
                    for (let i = 0; i < rows.count; ++i) {
                        const row = rows.itemAt(i) as RadioButton;
                        const at = i;
                        if (row)
                            row.checked = Qt.binding(() => at === choices.currentIndex);
                    }
                }
            }
        }
    }
}
