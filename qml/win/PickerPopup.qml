pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A list to pick one row from (species, breed): the rows of a query on the
// second list model, with the columns id, dataText and supplementalData.
Popup {
    id: picker

    required property UiDefs defs
    required property var listModel
    property string title: ""

    signal picked(int id, string dataText, int supplementalData)

    // Runs the query with its values bound, then shows the rows.
    function show(heading, query, values) {
        title = heading;
        // The list takes the model again after the query: the species and
        // breed queries share it with other lists of other columns.
        list.model = null;
        listModel.setBoundQuery(query, values);
        list.model = listModel;
        list.currentIndex = -1;
        open();
    }

    modal: true
    font.family: picker.defs.commonFont
    font.pointSize: picker.defs.fontSizeNormal
    anchors.centerIn: Overlay.overlay
    width: 420
    height: Math.min(560, (Overlay.overlay ? Overlay.overlay.height : 600) - 80)
    padding: 0

    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#c9d3d4"
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        Label {
            Layout.fillWidth: true
            Layout.margins: 16
            text: picker.title
            font.family: picker.defs.commonFont
            font.pointSize: picker.defs.fontSizeAlert + 2
            font.bold: true
            color: picker.defs.colorText
        }
        ListView {
            id: list
            objectName: "pickerList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            delegate: ItemDelegate {
                id: row
                required property int index
                required property var model
                width: ListView.view.width
                text: String(row.model.dataText ?? "")
                font.family: picker.defs.commonFont
                font.pointSize: picker.defs.fontSizeNormal
                onClicked: {
                    picker.close();
                    picker.picked(Number(row.model.id), String(row.model.dataText ?? ""),
                                  Number(row.model.supplementalData ?? 0));
                }
            }
        }
        Button {
            Layout.alignment: Qt.AlignRight
            Layout.margins: 12
            text: "Cancel"
            onClicked: picker.close()
        }
    }
}
