pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// "Confirm Patient": the patient a recording is about to be given to.
Popup {
    id: popup

    required property UiDefs defs
    required property UiData ui

    // Invoked by the bridge with the chosen patient's texts.
    signal qmlOpenPopup(string patientName, string extId, string owner, string species, string breed,
                        string sex, string age, string weight, string studyDate)

    property var rows: []

    function answer(confirmed) {
        close();
        cQmlInterface.patientSelectionConfirmed(confirmed, ui.fromImport);
    }

    onQmlOpenPopup: (patientName, extId, owner, species, breed, sex, age, weight, studyDate) => {
        var shown = [["Patient Name", patientName], ["Patient ID", extId], ["Owner", owner],
                     ["Species", species], ["Breed", breed], ["Gender", sex], ["Age", age],
                     ["Weight", weight]];
        // An imported file is not recorded here: no date to show.
        if (studyDate.trim().length > 0)
            shown.push(["Recorded", studyDate]);
        rows = shown;
        open();
    }

    Component.onCompleted: cQmlInterface.setPatientSelectionPopupObject(popup)

    modal: true
    font.family: popup.defs.commonFont
    font.pointSize: popup.defs.fontSizeNormal
    closePolicy: Popup.NoAutoClose
    anchors.centerIn: Overlay.overlay
    width: 520
    padding: 24

    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#c9d3d4"
    }

    contentItem: ColumnLayout {
        spacing: 14
        Label {
            text: "Confirm Patient"
            font.family: popup.defs.commonFont
            font.pointSize: popup.defs.fontSizeAlert + 2
            font.bold: true
            color: popup.defs.colorText
        }
        GridLayout {
            Layout.fillWidth: true
            columns: 2
            columnSpacing: 16
            rowSpacing: 4
            Repeater {
                model: popup.rows.length * 2
                Label {
                    required property int index
                    Layout.fillWidth: index % 2 === 1
                    // The rows may have shrunk before this delegate goes.
                    text: (popup.rows[Math.floor(index / 2)] ?? ["", ""])[index % 2]
                    elide: Text.ElideRight
                    color: index % 2 === 0 ? popup.defs.colorTextDim : popup.defs.colorText
                    font.family: popup.defs.commonFont
                    font.pointSize: popup.defs.fontSizeDialog + 1
                }
            }
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 12
            Button { text: "Cancel"; onClicked: popup.answer(false) }
            Button { objectName: "confirmPatient"; text: "OK"; highlighted: true; onClicked: popup.answer(true) }
        }
    }
}
