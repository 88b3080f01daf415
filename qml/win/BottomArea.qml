pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The bottom bar: status, species, the central action button and every alert
// the bridge raises.
Rectangle {
    id: bottomArea

    required property UiDefs defs
    required property UiData ui
    // A full view is open: the bar steps back.
    property bool viewOpen: false

    // 0 record, 1 recording animation, 2 patient assignment.
    property int buttonActionImgType: 0
    property int elapsedSeconds: 0
    readonly property string recordingSuffix: ui.recordingTime === 60 ? " / 1:00)" : " / 0:30)"

    signal patientViewRequested()

    // Invoked by the bridge.
    signal qmlStartStopRecordingAnimation(bool isStart)
    signal qmlAlertBoxFileWriteError(bool isFileCreation)
    signal qmlAlertBoxRecordingLinkLost(int seconds)
    signal qmlAlertBoxFileReadError(string reason)
    signal qmlAlertBoxExportError(string reason)
    signal qmlAlertBoxRecordingsRecovered(int count)
    signal qmlAlertBoxFileSaved(string fileName, string folder)
    signal qmlAlertBoxReplaceFile(string fileName, string folder)
    signal qmlAlertBoxNoNetwork(int fileId, bool isQvlUpload)
    signal qmlAlertBoxNoNetworkSync(int fileId, bool isQvlUpload)
    signal qmlAlertBoxQvlFileAlreadyUploaded(int fileId)
    signal qmlAlertBoxQvlAskUpload(int fileId)
    signal qmlAlertBoxQvlShortFileUpload(int duration)
    signal qmlAlertBoxQvlCommError(string message)
    // A failed upload, said in the bridge's words; offerQueue: OK queues it.
    signal qmlAlertBoxQvlUploadFailed(int fileId, string title, string message,
                                      string informativeText, bool offerQueue)
    signal qmlAlertBoxQvlUploadCompleted()
    signal qmlAlertBoxDcmCommError(string message)
    signal qmlAlertBoxDcmUploadCompleted()
    // The warning drawers of the main window follow these.
    signal qmlInterferenceWarning()
    signal qmlInterferenceWarningClose()
    signal qmlLeadWarning()
    signal qmlLeadWarningClose()
    signal qmlDoStreaming()
    signal qmlCloseSpecies()

    color: viewOpen ? "transparent" : defs.colorBottomArea

    Component.onCompleted: cQmlInterface.setBottomAreaObject(bottomArea)

    // Alerts wait their turn: the one on screen stays until the user answers
    // it, later ones follow in order, each with its own OK action. What an
    // answer raises (the next question of the same request) comes next.
    property var alertQueue: []
    property bool alertOnScreen: false
    property bool answering: false
    property int followUps: 0
    property var alertAction: null

    function showAlert(title, text, informativeText, withCancel, action) {
        cQmlInterface.postLogMessage("alert: " + title + ": " + text);
        enqueueAlert({ title: title, text: text, informativeText: informativeText,
                       withCancel: withCancel, action: action, startCaseFileId: -1 });
    }

    function enqueueAlert(entry) {
        const queue = alertQueue.slice();
        if (answering)
            queue.splice(followUps++, 0, entry);
        else
            queue.push(entry);
        alertQueue = queue;
        // An answer's dialog is still closing: the next one opens after it.
        if (answering)
            nextAlert.restart();
        else
            showNextAlert();
    }

    function showNextAlert() {
        if (alertOnScreen || alertQueue.length === 0)
            return;
        const next = alertQueue[0];
        alertQueue = alertQueue.slice(1);
        if (next.startCaseFileId >= 0) {
            const confirmation = uploadConfirmation.made();
            if (!confirmation)
                return;
            uploadConfirmation.fileId = next.startCaseFileId;
            alertOnScreen = true;
            confirmation.open();
            return;
        }
        // Not made (logged): the alert is dropped, the queue does not stall.
        const dialog = genericDialog.made() as AlertDialog;
        if (!dialog)
            return;
        dialog.title = next.title;
        dialog.text = next.text;
        dialog.informativeText = next.informativeText;
        dialog.rejectText = next.withCancel ? "Cancel" : "";
        alertAction = next.action;
        alertOnScreen = true;
        dialog.open();
    }

    // Runs the user's answer; what it raises goes to the front of the queue.
    function answer(action) {
        answering = true;
        followUps = 0;
        try {
            if (action)
                action();
        } finally {
            answering = false;
        }
    }

    function alertClosed() {
        alertOnScreen = false;
        nextAlert.restart();
    }

    // The next alert opens once the closing one is gone.
    Timer {
        id: nextAlert
        interval: 0
        onTriggered: bottomArea.showNextAlert()
    }

    function pad2(n) {
        return n < 10 ? "0" + n : "" + n;
    }

    function speciesSelectorWanted() {
        return ui.selectedSpecies === 0 && ui.displayState === 1 && ui.isStreamingView;
    }

    onQmlStartStopRecordingAnimation: (isStart) => {
        if (isStart) {
            elapsedSeconds = 0;
            ui.recordingTime10th = 0;
            ui.startTime = Date.now();
            animationTimer.start();
            buttonActionImgType = 1;
            ui.recordingNow = true;
            cQmlInterface.setUiDataDisplayState(2);
        } else {
            ui.streamRefreshTimerRunning = false;
            animationTimer.stop();
            ui.startTime = Date.now();
            buttonActionImgType = 2;
            ui.recordingNow = false;
            cQmlInterface.setUiDataDisplayState(4);
        }
    }

    onQmlAlertBoxFileWriteError: (isFileCreation) => {
        showAlert("File Write Error",
                  isFileCreation ? "Unable to create the ECG file" : "Unable to write to the ECG file",
                  "Please check whether there is space left on the device.", false, null);
    }
    // The recording ended early and waits for its patient (state 4).
    onQmlAlertBoxRecordingLinkLost: (seconds) => {
        showAlert("Connection Lost",
                  "The connection to the device was lost during the recording.",
                  "The recording keeps the " + seconds + " seconds of ECG that arrived. Click \"Select "
                  + "Patient & Save\" at the bottom to save it for a patient, or \"Cancel\" at the top "
                  + "to delete it.", false, null);
    }
    onQmlAlertBoxFileReadError: (reason) => {
        showAlert("File Read Error", "Unable to read the ECG file",
                  reason !== "" ? reason : "Please check whether the file has an appropriate format.", false, null);
    }
    onQmlAlertBoxExportError: (reason) => {
        showAlert("Error exporting File", "Unable to export the ECG file",
                  reason !== "" ? reason : "Please check whether there is space left on the device.", false, null);
    }
    // Advice the user can follow from where the start leaves them: the
    // recording waits on screen (state 4), where the header offers no list.
    onQmlAlertBoxRecordingsRecovered: (count) => {
        const steps = "Click \"Select Patient & Save\" at the bottom to save it for a patient, "
                      + "or \"Cancel\" at the top to delete it.";
        if (count === 1)
            showAlert("ECG Recovered",
                      "An ECG that was not saved when the program last ended has been recovered.",
                      "It is shown now, waiting for its patient. " + steps, false, null);
        else
            showAlert("ECGs Recovered",
                      count + " ECGs that were not saved when the program last ended have been recovered.",
                      "The newest is shown now, waiting for its patient. " + steps + " Then click "
                      + "\"Saved ECGs\" and \"All ECGs\": the others are listed there as \"Not assigned\".",
                      false, null);
    }
    onQmlAlertBoxFileSaved: (fileName, folder) => {
        showAlert("File Saved", "The file " + fileName + " has been saved.", "Folder: " + folder, false, null);
    }
    onQmlAlertBoxReplaceFile: (fileName, folder) => { replaceQuestion.ask(fileName, folder); }
    onQmlAlertBoxQvlShortFileUpload: (duration) => {
        showAlert("Short ECG",
                  "The length of this ECG (" + duration + " seconds) is insufficient for a diagnostic read.",
                  "Please upload an alternate ECG for this patient.", false, null);
    }
    onQmlAlertBoxNoNetworkSync: (fileId, isQvlUpload) => {
        showAlert("Network Error",
                  "Failed to synchronize local time with server, please correct time on local workstation.\nShall I queue your request and automatically retry at a later time?",
                  "Click OK if I shall queue your request.", true,
                  function() { cQmlInterface.queueFileUpload(fileId, isQvlUpload); });
    }
    onQmlAlertBoxNoNetwork: (fileId, isQvlUpload) => {
        showAlert("No Network",
                  "There is currently no network available\nShall I queue your request and automatically retry at a later time?",
                  "Click OK if I shall queue your request.", true,
                  function() { cQmlInterface.queueFileUpload(fileId, isQvlUpload); });
    }
    onQmlAlertBoxQvlFileAlreadyUploaded: (fileId) => {
        showAlert("Duplicate Upload",
                  "This file was previously uploaded to Quorvale.\nDo you wish to upload the file again?",
                  "Click OK to continue.", true,
                  function() { uploadConfirmation.ask(fileId); });
    }
    onQmlAlertBoxQvlAskUpload: (fileId) => { uploadConfirmation.ask(fileId); }
    onQmlAlertBoxQvlCommError: (message) => {
        showAlert("QVL Connect Problem", "Unable to communicate with Quorvale.", message, false, null);
    }
    onQmlAlertBoxQvlUploadFailed: (fileId, title, message, informativeText, offerQueue) => {
        showAlert(title, message, informativeText, offerQueue,
                  offerQueue ? function() { cQmlInterface.queueFileUpload(fileId, true); } : null);
    }
    onQmlAlertBoxQvlUploadCompleted: {
        showAlert("QVL Upload completed", "The file has successfully been uploaded",
                  "Click OK to continue.", false, null);
    }
    onQmlAlertBoxDcmCommError: (message) => {
        showAlert("Server Connect Problem", "Unable to communicate with Worklist or ECG Storage.",
                  message, false, null);
    }
    onQmlAlertBoxDcmUploadCompleted: {
        showAlert("ECG Storage Upload completed", "The ECG has successfully been sent to the ECG Storage",
                  "Click OK to continue.", false, null);
    }
    onQmlDoStreaming: {
        if (speciesSelectorWanted())
            speciesSelector.open();
    }
    onQmlCloseSpecies: {
        if (speciesSelectorWanted())
            speciesSelector.close();
    }

    Timer {
        id: animationTimer
        interval: 500
        repeat: true
        onRunningChanged: bottomArea.ui.startTime = Date.now()
        onTriggered: bottomArea.elapsedSeconds = Math.round((Date.now() - bottomArea.ui.startTime) / 1000)
    }

    function actionClicked() {
        switch (ui.displayState) {
        case 0:
            if (ui.qvlAccountVerified)
                cQmlInterface.uploadClicked(false);
            else
                showAlert("QVL Connect Problem", "We could not verify your Quorvale account credentials.",
                          "", false, null);
            break;
        case 1:
            if (ui.isLeadInComplete)
                cQmlInterface.recordStartStop(true);
            break;
        case 2:
            if (elapsedSeconds < 20)
                showAlert("Short ECG", "The length of this ECG may be insufficient for a diagnostic read.",
                          " Click OK if you really want to stop the recording.", true,
                          function() { cQmlInterface.streamStartStop(false); });
            else
                cQmlInterface.streamStartStop(false);
            break;
        case 4:
            bottomArea.patientViewRequested();
            break;
        }
    }

    readonly property string statusText: {
        switch (ui.displayState) {
        case 1: return ui.isBtConnected ? (ui.isLeadInComplete ? "Ready to record" : "Acquiring signal...")
                                        : (ui.inputDescriptiveName.length > 0 ? "Device: " + ui.inputDescriptiveName : "");
        case 2: return "Recording (0:" + pad2(elapsedSeconds) + recordingSuffix;
        case 4: return "Select Patient & Save";
        default: return "";
        }
    }

    Label {
        anchors.left: parent.left
        anchors.leftMargin: 20
        anchors.right: speciesButton.left
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        visible: !bottomArea.viewOpen
        text: bottomArea.statusText
        color: "white"
        font.family: bottomArea.defs.commonFont
        font.pointSize: bottomArea.defs.fontSizeNormal + 1
        elide: Text.ElideRight
    }

    // Species of the next recording.
    IconButton {
        id: speciesButton
        anchors.right: actionRing.left
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        visible: !bottomArea.viewOpen && bottomArea.ui.displayState === 1
        iconSize: 34
        iconSource: bottomArea.ui.tmpSpecies === 1 ? bottomArea.defs.imgCanine
                  : bottomArea.ui.tmpSpecies === 2 ? bottomArea.defs.imgFeline
                  : bottomArea.defs.imgOtherAnimal
        tip: "Select Species"
        onClicked: speciesSelector.open()
    }

    // The action button, in the middle, rises above the bar.
    Rectangle {
        id: actionRing
        anchors.centerIn: actionButton
        width: actionButton.width + 10
        height: width
        radius: width / 2
        color: bottomArea.defs.colorBottomArea
        visible: actionButton.visible
    }

    AbstractButton {
        id: actionButton
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 6
        width: 76
        height: 76
        visible: !bottomArea.viewOpen && bottomArea.ui.displayState !== 3
        enabled: bottomArea.ui.displayState !== 1 || bottomArea.ui.isLeadInComplete
        opacity: enabled ? 1.0 : 0.45
        hoverEnabled: true
        ToolTip.visible: hovered
        ToolTip.delay: 600
        ToolTip.text: bottomArea.ui.displayState === 0 ? "Upload to Quorvale"
                    : bottomArea.ui.displayState === 1 ? "Record"
                    : bottomArea.ui.displayState === 2 ? "Stop recording"
                    : "Select Patient & Save"
        Accessible.role: Accessible.Button
        Accessible.name: ToolTip.text
        onClicked: bottomArea.actionClicked()
        background: Rectangle {
            radius: width / 2
            color: actionButton.down ? "#dbe6e7" : "#ffffff"
        }
        contentItem: Item {
            Image {
                anchors.centerIn: parent
                visible: bottomArea.ui.displayState !== 2
                sourceSize.width: parent.width * 0.62
                sourceSize.height: parent.height * 0.62
                source: bottomArea.ui.displayState === 0
                        ? (bottomArea.ui.qvlAccountVerified ? bottomArea.defs.imgTelemedicineActive
                                                            : bottomArea.defs.imgTelemedicineInactive)
                        : bottomArea.ui.displayState === 4 ? bottomArea.defs.imgAssign : bottomArea.defs.imgRecord
            }
            ProgressCircle {
                anchors.fill: parent
                visible: bottomArea.ui.displayState === 2
                arcEnd: bottomArea.ui.recordingTime10th * (bottomArea.ui.recordingTime === 60 ? 0.6 : 1.2)
            }
            Rectangle {
                anchors.centerIn: parent
                visible: bottomArea.ui.displayState === 2
                width: parent.width * 0.34
                height: width
                radius: 3
                color: bottomArea.defs.colorRecording
            }
        }
    }

    MadeOnUse {
        id: genericDialog
        owner: bottomArea
        dialog: AlertDialog {
            defs: bottomArea.defs
            onAccepted: {
                const action = bottomArea.alertAction;
                bottomArea.alertAction = null;
                bottomArea.answer(action);
            }
            onRejected: bottomArea.alertAction = null
            onClosed: bottomArea.alertClosed()
        }
    }

    // "Start a Case": finish the request on the service's page now, or later.
    MadeOnUse {
        id: uploadConfirmation
        owner: bottomArea
        property int fileId: -1
        // Asked in its turn, as every alert.
        function ask(id) {
            bottomArea.enqueueAlert({ startCaseFileId: id });
        }
        dialog: AlertDialog {
            defs: bottomArea.defs
            title: "Start a Case"
            text: "The ECG is uploaded to Quorvale as a new case."
            informativeText: "Complete the request on the case page now, or finish it later."
            acceptText: "Finish Now"
            otherText: "Finish Later"
            rejectText: "Cancel"
            onAccepted: {
                const fileId = uploadConfirmation.fileId;
                bottomArea.answer(function() { cQmlInterface.continueQvlUpload(fileId, true); });
            }
            onOtherClicked: {
                const fileId = uploadConfirmation.fileId;
                bottomArea.answer(function() { cQmlInterface.continueQvlUpload(fileId, false); });
            }
            onClosed: bottomArea.alertClosed()
        }
    }

    // A report or export would replace a file of the same name: the earlier
    // one stays unless the user says otherwise.
    MadeOnUse {
        id: replaceQuestion
        owner: bottomArea
        function ask(fileName, folder) {
            cQmlInterface.postLogMessage("alert: Replace File: " + fileName);
            const box = replaceQuestion.made() as AlertDialog;
            if (!box)
                return;
            box.text = "The file " + fileName + " already exists.";
            box.informativeText = "Folder: " + folder
                    + "\nClick 'Replace' to overwrite it, or 'Cancel' to keep the earlier file.";
            box.open();
        }
        dialog: AlertDialog {
            objectName: "replaceFileQuestion"
            defs: bottomArea.defs
            title: "Replace File"
            acceptText: "Replace"
            rejectText: "Cancel"
            onAccepted: cQmlInterface.answerReplaceFile(true)
            onRejected: cQmlInterface.answerReplaceFile(false)
        }
    }

    MadeOnUse {
        id: speciesSelector
        owner: bottomArea
        dialog: SpeciesSelector {
            defs: bottomArea.defs
            ui: bottomArea.ui
        }
    }
}
