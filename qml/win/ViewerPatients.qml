pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The patients: the local list (or the worklist of the DICOM server), the
// search over it, and the form that creates or edits a patient.
ViewFrame {
    id: view

    required property UiData ui
    required property var listModel
    required property var pickerModel

    // Written by the bridge.
    property string headerLabel: "Local Patients"
    property bool editExistingPatient: false
    // 0 the list, 3 the form.
    property int openedAccordion: 0
    property int numberOfEcgsToPatient: -1
    property int initializerPatId: -1
    property string initializerPatientName: ""
    property string initializerExtId: ""
    property string initializerOFirst: ""
    property string initializerOLast: ""
    property int initializerSpeciesIdx: 0
    property int initializerSpeciesListIdx: -1
    property string initializerSpeciesValue: "Unknown"
    property int initializerBreedListIdx: -1
    property string initializerBreedValue: ""
    property int initializerGenderIndex: 1
    property string initializerWeight: ""
    property int initializerWeightUnitIsPound: 0
    property int initializerCurrentYear: 1970
    property double initializerBirthdayTs: 0
    property string initializerAgeYear: ""
    property string initializerAgeMonth: ""
    property string initializerBirthday: ""

    signal doReload()
    signal doSetValues()
    signal qmlSelectionConfirmed(bool userHasConfirmed)
    signal qmlSelectionConfirmedFromImport(bool userHasConfirmed)
    signal qmlMwlRetrievalCompleted()

    readonly property bool worklistMode: ui.dicomMwlConfigStatus === 1 && !ui.forceLocal
    readonly property bool formOpen: openedAccordion === 3
    readonly property alias searchText: search.text
    readonly property alias rowCount: list.count
    // The row waiting for the user's confirmation in the selection popup.
    property int pendingId: -1
    // The form shows the patient of an imported file ("New Patient ?").
    property bool importForm: false
    property bool listReady: false
    property bool pendingFromWorklist: false
    // The species of the form.
    property int formSpeciesIdx: 0
    property string formSpeciesValue: "Unknown"
    property bool formSpeciesHasBreeds: false

    title: headerLabel
    visible: false

    component FieldLabel: Label {
        required property UiDefs defs
        Layout.preferredWidth: 180
        color: defs.colorText
        font.family: defs.commonFont
        font.pointSize: defs.fontSizeNormal
    }
    component Field: TextField {
        required property UiDefs defs
        Layout.fillWidth: true
        Layout.maximumWidth: 560
        selectByMouse: true
        font.family: defs.commonFont
        font.pointSize: defs.fontSizeNormal
    }


    // Escapes the LIKE wildcards of typed text; the text itself is a bound value.
    function likePattern(text) {
        return "%" + text.replace(/[\\%_]/g, "\\$&") + "%";
    }

    function reload() {
        // Detached while the model resets: delegates still being made for the
        // old rows are dropped instead of asked for rows that are gone.
        var wasReady = listReady;
        listReady = false;
        runQuery();
        listReady = wasReady;
    }

    function runQuery() {
        var base = worklistMode ? "SELECT * FROM worklistViewQmlKx " : "SELECT * FROM patientViewQmlKx ";
        var order = "order by patientName COLLATE NOCASE asc, extId asc, id asc";
        if (search.text.length > 0) {
            var p = likePattern(search.text);
            listModel.setBoundQuery(base + "where patientName like ? escape '\\' or extId like ? escape '\\' "
                                    + order, [p, p]);
        } else {
            listModel.setBoundQuery(base + order, []);
        }
    }

    function showList() {
        openedAccordion = 0;
        headerLabel = worklistMode ? "Select from Worklist" : "Local Patients";
        reload();
        listReady = true;
        if (!worklistMode && search.text.length === 0) {
            list.currentIndex = cQmlInterface.patientGetCurrentModelIndex();
            list.positionViewAtIndex(list.currentIndex, ListView.Center);
        }
    }

    function closeView() {
        visible = false;
        openedAccordion = 0;
    }

    // The import goes to the patient: a copy of the file becomes its recording
    // and is shown. From the worklist, the entry makes the patient.
    function assignImport(id, fromWorklist) {
        if (fromWorklist)
            cQmlInterface.dcmMwlItemSelectedForImport(id);
        else
            cQmlInterface.ecgPatientAssignmentFromImport(id);
        closeView();
    }

    // An import whose patient is chosen from the list instead of the form.
    function chooseExistingForImport() {
        importForm = false;
        showList();
    }

    // The form takes the values the bridge put into the initializer properties.
    function loadForm() {
        nameField.text = initializerPatientName;
        extIdField.text = initializerExtId;
        ownerFirstField.text = initializerOFirst;
        ownerLastField.text = initializerOLast;
        formSpeciesIdx = initializerSpeciesIdx;
        formSpeciesValue = initializerSpeciesValue;
        formSpeciesHasBreeds = initializerBreedListIdx >= 0;
        breedField.text = initializerBreedValue;
        genderGroup.index = initializerGenderIndex;
        weightField.text = initializerWeight;
        poundButton.checked = initializerWeightUnitIsPound !== 0;
        kiloButton.checked = initializerWeightUnitIsPound === 0;
        loadBirthFields();
    }

    function loadBirthFields() {
        birthdayField.text = initializerBirthdayTs > 0 ? initializerBirthday : "";
        ageYearField.text = initializerBirthdayTs > 0 ? initializerAgeYear : "";
        ageMonthField.text = initializerBirthdayTs > 0 ? initializerAgeMonth : "";
    }

    function openNewPatient() {
        importForm = false;
        editExistingPatient = false;
        numberOfEcgsToPatient = -1;
        cQmlInterface.setPatientListDrawerObject(view);
        cQmlInterface.patientSelected(-1);
        cQmlInterface.patientDrawerPopulateObject();
        headerLabel = "New Patient";
        openedAccordion = 3;
        loadForm();
        nameField.forceActiveFocus();
    }

    function openEditPatient(patientId) {
        importForm = false;
        editExistingPatient = true;
        cQmlInterface.testPatientsForEcgs(patientId);
        cQmlInterface.setPatientCreatingNew(false);
        cQmlInterface.patientSelected(patientId);
        cQmlInterface.patientDrawerPopulateObject();
        headerLabel = "Edit Patient";
        openedAccordion = 3;
        loadForm();
    }

    function birthdayEdited() {
        cQmlInterface.checkBirthdayInput(birthdayField.text);
        ageYearField.text = initializerBirthdayTs > 0 ? initializerAgeYear : "";
        ageMonthField.text = initializerBirthdayTs > 0 ? initializerAgeMonth : "";
    }

    function ageEdited() {
        cQmlInterface.checkAgeInput(ageYearField.text, ageMonthField.text);
        birthdayField.text = initializerBirthdayTs > 0 ? initializerBirthday : "";
    }

    // The lines of the incomplete-input dialog, in the order the user reads the form.
    function formErrors() {
        var errors = "";
        if (nameField.text.length < 1)
            errors += "Patient name must be at least 1 character long.\n";
        if (extIdField.text.length < 1)
            errors += "Patient ID must be at least 1 character long.\n";
        if (ownerLastField.text.length < 1)
            errors += "Owner last name must be at least 1 character long.\n";
        if (formSpeciesValue === "Unknown")
            errors += "Species is not set.\n";
        // A weight that is no positive number is no weight either.
        var w = Number(weightField.text.trim().replace(",", "."));
        if (weightField.text.trim().length === 0 || weightField.text === "0" || !(w > 0))
            errors += "Weight is not set.\n";
        if (!(initializerBirthdayTs > 0))
            errors += "Birthday must be of format mm/yyyy and after 12/1969\n";
        return errors;
    }

    // Saves the form: the incomplete-input dialog, or the patient handed to
    // the bridge. Returns the dialog's lines, or the values handed over.
    function saveForm() {
        if (birthdayField.activeFocus)
            birthdayEdited();
        else if (ageYearField.activeFocus || ageMonthField.activeFocus)
            ageEdited();
        var errors = formErrors();
        if (errors.length > 0) {
            incompleteDialog.informativeText = errors;
            incompleteDialog.open();
            return {"errors": errors};
        }
        var args = [editExistingPatient ? initializerPatId : -1, nameField.text, extIdField.text,
                    ownerFirstField.text, ownerLastField.text, formSpeciesIdx, breedField.text,
                    genderGroup.index, weightField.text.trim(), poundButton.checked,
                    initializerBirthdayTs];
        var id = cQmlInterface.patientUpdated(args[0], args[1], args[2], args[3], args[4], args[5],
                                              args[6], args[7], args[8], args[9], args[10]);
        // A new patient saved while an import waits is the import's patient.
        if (ui.fromImport && !editExistingPatient && id > 0) {
            assignImport(id, false);
            return {"args": args, "assigned": id};
        }
        showList();
        return {"args": args};
    }

    function rowChosen(row, model) {
        list.currentIndex = row;
        var id = Number(model.id);
        if (ui.displayState === 4 || ui.fromImport) {
            pendingId = id;
            pendingFromWorklist = worklistMode;
            var owner = String(model.ownerFirst ?? "") + " " + String(model.ownerLast ?? "");
            var age = String(model.ageYears ?? "") === "" ? ""
                    : String(model.ageYears) + "Y" + String(model.ageMonths ?? "0") + "M";
            var weight = Number(model.weight ?? 0) > 0 ? String(model.weight) + " " + String(model.weightUnit ?? "") : "";
            cQmlInterface.patientSelectionPending(String(model.patientName ?? ""), String(model.extId ?? ""),
                                                  owner.trim(), String(model.species ?? ""),
                                                  String(model.breed ?? ""), String(model.sex ?? ""), age,
                                                  weight, ui.fromImport ? "" : ui.fileDate + " " + ui.fileTimeCurrent);
        } else if (!worklistMode) {
            cQmlInterface.patientSelected(id);
            cQmlInterface.fileSelectedLocal(id, -1);
            closeView();
        }
    }

    onDoReload: {
        if (formOpen) {
            importForm = ui.fromImport && !editExistingPatient;
            loadForm();
        } else {
            reload();
        }
    }
    onDoSetValues: loadBirthFields()
    onQmlMwlRetrievalCompleted: reload()
    onQmlSelectionConfirmed: (userHasConfirmed) => {
        if (!userHasConfirmed || pendingId < 0)
            return;
        if (pendingFromWorklist)
            cQmlInterface.dcmMwlItemSelected(pendingId);
        else
            cQmlInterface.ecgPatientAssignment(pendingId);
        pendingId = -1;
        closeView();
    }
    onQmlSelectionConfirmedFromImport: (userHasConfirmed) => {
        if (!userHasConfirmed || pendingId < 0)
            return;
        var id = pendingId;
        pendingId = -1;
        assignImport(id, pendingFromWorklist);
    }
    onVisibleChanged: {
        if (!visible) {
            // Shown again, the view starts at its list. An import not given to
            // a patient by now is dropped: the next confirmation is a recording's.
            listReady = false;
            openedAccordion = 0;
            importForm = false;
            if (ui.fromImport) {
                cQmlInterface.postLogMessage("patient view closed, the import is done with");
                ui.fromImport = false;
            }
            return;
        }
        cQmlInterface.patientListDrawerOpened();
        if (!formOpen)
            showList();
    }
    onWorklistModeChanged: if (visible && !formOpen) showList()
    onCloseRequested: {
        if (formOpen && !importForm)
            showList();
        else
            closeView();
    }

    Component.onCompleted: cQmlInterface.setPatientListDrawerObject(view)

    tools: [
        Button {
            visible: !view.formOpen && view.ui.dicomMwlConfigStatus === 1
            text: view.worklistMode ? "Local Patients" : "Select from Worklist"
            onClicked: view.ui.forceLocal = view.worklistMode
        },
        Button {
            objectName: "newPatientButton"
            visible: !view.formOpen && !view.worklistMode
            text: "New Patient"
            onClicked: view.openNewPatient()
        }
    ]

    // The list.
    ColumnLayout {
        anchors.fill: parent
        anchors.margins: view.defs.greenPadding
        visible: !view.formOpen
        spacing: 12

        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            SearchBox {
                id: search
                objectName: "patientSearch"
                Layout.fillWidth: true
                defs: view.defs
                placeholderText: "Search by Patient Name or ID"
                onTextChanged: view.reload()
            }
            Button {
                objectName: "searchWorklist"
                visible: view.worklistMode
                text: "Search Worklist"
                // The whole worklist: the search text then finds an entry by
                // name or by ID in it (a server matches one key at a time).
                onClicked: cQmlInterface.dcmLoadMwl("", "", "", "")
            }
        }

        ListView {
            id: list
            objectName: "patientList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            // The list takes the shared model only once its query is set.
            model: view.listReady ? view.listModel : null
            highlightMoveDuration: 0
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            delegate: ItemDelegate {
                id: row
                required property int index
                required property var model
                width: ListView.view.width
                height: 64
                background: Rectangle {
                    color: row.ListView.isCurrentItem ? "#d6ebeb" : (row.down ? "#eef3f3" : "transparent")
                }
                onClicked: view.rowChosen(row.index, row.model)
                Accessible.name: String(row.model.patientName ?? "") + ", ID " + String(row.model.extId ?? "")
                contentItem: RowLayout {
                    spacing: 16
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 2
                        Label {
                            Layout.fillWidth: true
                            text: String(row.model.patientName ?? "")
                            elide: Text.ElideRight
                            color: view.defs.colorText
                            font.family: view.defs.commonFont
                            font.pointSize: view.defs.fontSizeListEntry
                        }
                        Label {
                            Layout.fillWidth: true
                            elide: Text.ElideRight
                            color: view.defs.colorTextDim
                            font.family: view.defs.commonFont
                            font.pointSize: view.defs.fontSizeListEntrySmall
                            text: {
                                var parts = ["ID " + String(row.model.extId ?? "")];
                                var owner = (String(row.model.ownerFirst ?? "") + " " + String(row.model.ownerLast ?? "")).trim();
                                if (owner.length > 0)
                                    parts.push(owner);
                                var kind = [String(row.model.species ?? ""), String(row.model.breed ?? "")]
                                    .filter(s => s.length > 0).join(", ");
                                if (kind.length > 0)
                                    parts.push(kind);
                                if (view.worklistMode && String(row.model.studyDate ?? "").length > 0)
                                    parts.push(String(row.model.studyDate));
                                return parts.join("  \u00B7  ");
                            }
                        }
                    }
                    Button {
                        visible: !view.worklistMode
                        text: "Edit"
                        onClicked: view.openEditPatient(Number(row.model.id))
                    }
                }
            }
        }
    }

    // The form.
    ScrollView {
        id: formScroll
        anchors.fill: parent
        anchors.margins: view.defs.greenPadding
        visible: view.formOpen
        contentWidth: availableWidth

        GridLayout {
            width: formScroll.availableWidth
            columns: 2
            columnSpacing: 24
            rowSpacing: 10

            FieldLabel { defs: view.defs; text: "Patient Name*" }
            Field { defs: view.defs; id: nameField; objectName: "patientNameField" }
            FieldLabel { defs: view.defs; text: "Patient ID*" }
            Field { defs: view.defs; id: extIdField; objectName: "patientIdField" }
            FieldLabel { defs: view.defs; text: "Owner First Name" }
            Field { defs: view.defs; id: ownerFirstField; objectName: "ownerFirstField" }
            FieldLabel { defs: view.defs; text: "Last Name*" }
            Field { defs: view.defs; id: ownerLastField; objectName: "ownerLastField" }

            FieldLabel { defs: view.defs; text: "Species" }
            Button {
                objectName: "speciesButton"
                Layout.preferredWidth: 260
                text: view.formSpeciesValue
                onClicked: speciesPicker.show("Species",
                    "SELECT id, species as dataText, hasBreedList as supplementalData FROM speciesTable order by species asc, id asc", [])
            }

            FieldLabel { defs: view.defs; text: "Breed" }
            RowLayout {
                Layout.fillWidth: true
                Layout.maximumWidth: 560
                Field { defs: view.defs; id: breedField; objectName: "breedField" }
                Button {
                    text: "\u2026"
                    Accessible.name: "Choose breed"
                    enabled: view.formSpeciesHasBreeds
                    onClicked: breedPicker.show("Breed",
                        "SELECT id, breed as dataText, 0 as supplementalData FROM breedTable where speciesId=? order by breed asc, id asc",
                        [view.formSpeciesIdx])
                }
            }

            FieldLabel { defs: view.defs; text: "Gender" }
            Flow {
                id: genderGroup
                property int index: 1
                Layout.fillWidth: true
                spacing: 4
                Repeater {
                    model: [[1, "Male"], [2, "Female"], [3, "Male, Neutered"], [4, "Female, Spayed"],
                            [5, "Not Specified"]]
                    RadioButton {
                        required property var modelData
                        text: modelData[1]
                        checked: genderGroup.index === modelData[0]
                        font.family: view.defs.commonFont
                        font.pointSize: view.defs.fontSizeNormal
                        onClicked: genderGroup.index = modelData[0]
                    }
                }
            }

            FieldLabel { defs: view.defs; text: "Birthday (mm/yyyy)" }
            Field {
                defs: view.defs
                id: birthdayField
                objectName: "birthdayField"
                Layout.maximumWidth: 200
                placeholderText: "mm/yyyy"
                onEditingFinished: view.birthdayEdited()
            }
            FieldLabel { defs: view.defs; text: "or Age (years, months)" }
            RowLayout {
                Field {
                    defs: view.defs
                    id: ageYearField
                    objectName: "ageYearField"
                    Layout.maximumWidth: 96
                    placeholderText: "years"
                    onEditingFinished: view.ageEdited()
                }
                Field {
                    defs: view.defs
                    id: ageMonthField
                    objectName: "ageMonthField"
                    Layout.maximumWidth: 96
                    placeholderText: "months"
                    onEditingFinished: view.ageEdited()
                }
            }

            FieldLabel { defs: view.defs; text: "Weight" }
            RowLayout {
                Field {
                    defs: view.defs
                    id: weightField
                    objectName: "weightField"
                    Layout.maximumWidth: 140
                }
                RadioButton { id: kiloButton; text: "Kg"; checked: true }
                RadioButton { id: poundButton; objectName: "poundButton"; text: "Lb" }
            }

            Item { Layout.preferredHeight: 8; Layout.columnSpan: 2 }

            RowLayout {
                Layout.columnSpan: 2
                spacing: 12
                Button {
                    objectName: "savePatientButton"
                    text: view.editExistingPatient ? "Update Patient" : "Save"
                    highlighted: true
                    onClicked: view.saveForm()
                }
                Button {
                    objectName: "cancelPatientButton"
                    text: "Cancel"
                    onClicked: view.importForm ? view.closeView() : view.showList()
                }
                Button {
                    objectName: "existingPatientButton"
                    visible: view.importForm
                    text: "Choose Existing Patient"
                    onClicked: view.chooseExistingForImport()
                }
                Button {
                    objectName: "deletePatientButton"
                    visible: view.editExistingPatient && view.numberOfEcgsToPatient === 0
                    text: "Delete"
                    onClicked: deleteDialog.open()
                }
            }
        }
    }

    PickerPopup {
        id: speciesPicker
        defs: view.defs
        listModel: view.pickerModel
        onPicked: (id, dataText, supplementalData) => {
            view.formSpeciesIdx = id;
            view.formSpeciesValue = dataText;
            view.formSpeciesHasBreeds = supplementalData !== 0;
            breedField.text = supplementalData !== 0 ? cQmlInterface.getFirstEntryInBreedList(id) : "";
        }
    }

    PickerPopup {
        id: breedPicker
        defs: view.defs
        listModel: view.pickerModel
        onPicked: (id, dataText) => breedField.text = dataText
    }

    AlertDialog {
        id: incompleteDialog
        objectName: "incompleteDialog"
        defs: view.defs
        title: "Incomplete Input Data"
        text: "At least one input parameter is of insufficient length."
    }

    AlertDialog {
        id: deleteDialog
        defs: view.defs
        title: "About to delete patient"
        text: "You have requested patient " + nameField.text + " gets deleted."
        informativeText: "Are you sure you want to delete this patient and its ECGs?"
        rejectText: "Cancel"
        onAccepted: {
            cQmlInterface.patientDeleted(view.initializerPatId);
            view.showList();
        }
    }
}
