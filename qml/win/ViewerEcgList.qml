pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The recordings: those of the current patient, all of them, or the studies
// of the PACS; search by patient name, open, delete.
ViewFrame {
    id: view

    required property UiData ui
    required property var listModel

    // Written by the bridge.
    property string headerLabel: "Saved ECGs"
    // 0 the current patient's recordings, 1 all recordings, 2 the PACS list.
    property int openedAccordion: 0
    property int dialogFileId: -1
    property string dialogFileName: ""

    signal doReload()
    signal qmlPacsListRetrievalCompleted()

    readonly property alias searchText: search.text
    readonly property alias rowCount: list.count
    readonly property bool pacsMode: openedAccordion === 2
    property bool listReady: false

    title: headerLabel
    visible: false

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
        var where = new Array(0);
        var values = new Array(0);
        if (openedAccordion === 0) {
            where.push("patientId=?");
            values.push(ui.patientId);
        }
        if (search.text.length > 0) {
            where.push("patientName like ? escape '\\'");
            values.push(likePattern(search.text));
        }
        var filter = where.length > 0 ? "where " + where.join(" and ") + " " : "";
        if (pacsMode) {
            listModel.setBoundQuery("SELECT * FROM pacsViewQmlKx " + filter
                + "order by patientName COLLATE NOCASE asc, extId asc, studyDate desc, id asc", values);
        } else {
            listModel.setBoundQuery("SELECT * FROM ecgViewQmlKx " + filter
                + "order by studyDate desc, id desc", values);
        }
    }

    function showMode(mode) {
        openedAccordion = mode;
        headerLabel = mode === 0 ? "Saved ECGs" : (mode === 1 ? "All ECGs" : "PACS ECGs");
        reload();
        listReady = true;
        if (mode === 0 && search.text.length === 0) {
            list.currentIndex = cQmlInterface.fileGetCurrentModelIndex();
            list.positionViewAtIndex(list.currentIndex, ListView.Center);
        } else {
            list.currentIndex = -1;
        }
    }

    function rowChosen(row, model) {
        list.currentIndex = row;
        cQmlInterface.streamStartStop(false);
        if (pacsMode)
            cQmlInterface.dcmPacsItemSelected(Number(model.id));
        else
            cQmlInterface.fileSelectedLocal(Number(model.patientId), Number(model.id));
        visible = false;
    }

    // A recording that waits for its patient (patient 0) is listed too.
    function isUnassigned(model) {
        return !pacsMode && Number(model.patientId ?? -1) === 0;
    }

    // A row's first line: whose recording, and when.
    function rowTitle(model) {
        return (isUnassigned(model) ? "Not assigned" : String(model.patientName ?? ""))
               + "  \u00B7  " + String(model.studyDate ?? "");
    }

    // The telemedicine case page of a recording, e.g. one finished later:
    // the recording is shown and its case opens in the browser.
    function openCase(row, model) {
        var id = Number(model.id);
        rowChosen(row, model);
        if (ui.fileQVLCaseUrl.length > 0)
            cQmlInterface.openQvlWindow(ui.fileQVLCaseUrl);
        else
            cQmlInterface.postLogMessage("no case page yet for ECG " + id);
    }

    function askDelete(model) {
        deleteDialog.fileId = Number(model.id);
        deleteDialog.text = isUnassigned(model)
            ? "You have requested that the ECG recorded on " + String(model.studyDate ?? "")
              + ", not assigned to a patient, gets deleted."
            : "You have requested that the ECG for " + String(model.patientName ?? "")
              + " recorded on " + String(model.studyDate ?? "") + " gets deleted.";
        deleteDialog.open();
    }

    onDoReload: reload()
    onQmlPacsListRetrievalCompleted: if (pacsMode) reload()
    onVisibleChanged: {
        if (!visible) {
            listReady = false;
            return;
        }
        cQmlInterface.setFileListDrawerObject(view);
        showMode(openedAccordion);
    }
    onCloseRequested: visible = false
    Component.onCompleted: cQmlInterface.setFileListDrawerObject(view)

    tools: [
        Button { text: "Saved ECGs"; highlighted: view.openedAccordion === 0; onClicked: view.showMode(0) },
        Button { text: "All ECGs"; highlighted: view.openedAccordion === 1; onClicked: view.showMode(1) },
        Button {
            text: "PACS"
            visible: view.ui.dicomPacsConfigStatus === 1
            highlighted: view.openedAccordion === 2
            onClicked: view.showMode(2)
        }
    ]

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: view.defs.greenPadding
        spacing: 12

        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            SearchBox {
                id: search
                objectName: "ecgSearch"
                Layout.fillWidth: true
                defs: view.defs
                placeholderText: "Search by Patient Name"
                onTextChanged: view.reload()
            }
            Button {
                visible: view.pacsMode
                text: "Search PACS"
                onClicked: cQmlInterface.dcmLoadPacsList(search.text, "", "", "")
            }
        }

        Label {
            visible: list.count === 0
            text: "No ECGs"
            color: view.defs.colorTextDim
            font.family: view.defs.commonFont
            font.pointSize: view.defs.fontSizeNormal
        }

        ListView {
            id: list
            objectName: "ecgList"
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
                Accessible.name: view.rowTitle(row.model)
                contentItem: RowLayout {
                    spacing: 16
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 2
                        Label {
                            Layout.fillWidth: true
                            readonly property bool unassigned: view.isUnassigned(row.model)
                            text: view.rowTitle(row.model)
                            elide: Text.ElideRight
                            color: unassigned ? view.defs.colorRecording : view.defs.colorText
                            font.italic: unassigned
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
                                var parts = view.isUnassigned(row.model) ? ["Select to save it for a patient"]
                                                                         : ["ID " + String(row.model.extId ?? "")];
                                var owner = (String(row.model.ownerFirst ?? "") + " " + String(row.model.ownerLast ?? "")).trim();
                                if (owner.length > 0)
                                    parts.push(owner);
                                if (String(row.model.duration ?? "").length > 0)
                                    parts.push(String(row.model.duration) + " s");
                                if (!view.pacsMode)
                                    parts.push(String(row.model.qvlCaseStatus ?? ""));
                                return parts.join("  \u00B7  ");
                            }
                        }
                    }
                    Button {
                        objectName: "openCase" + row.index
                        visible: !view.pacsMode && String(row.model.qvlCaseId ?? "").length > 0
                        text: "Open Case"
                        onClicked: view.openCase(row.index, row.model)
                    }
                    ToolButton {
                        objectName: "deleteEcg" + row.index
                        visible: !view.pacsMode
                        Accessible.name: "Delete ECG: " + view.rowTitle(row.model)
                        icon.source: view.defs.imgTrash
                        icon.width: 24
                        icon.height: 24
                        onClicked: view.askDelete(row.model)
                    }
                }
            }
        }
    }

    AlertDialog {
        id: deleteDialog
        objectName: "deleteEcgDialog"
        property int fileId: -1
        defs: view.defs
        title: "About to delete ECG"
        informativeText: "Are you sure you want to delete this file?"
        rejectText: "Cancel"
        onAccepted: {
            cQmlInterface.fileDeletedLocalIgnorePatient(deleteDialog.fileId);
            view.reload();
        }
    }
}
