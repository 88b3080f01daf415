pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Below the title bar: who and what is shown, and the viewer controls.
Rectangle {
    id: topArea

    required property UiDefs defs
    required property UiData ui
    required property Flickable ecgFlickable

    readonly property bool showsRecording: ui.displayState === 0 || ui.displayState === 4
    // A recording that waits for its patient belongs to no one yet.
    readonly property bool unassigned: ui.displayState === 4
    readonly property real halfPage: ecgFlickable.width / 2

    color: defs.colorTopArea

    Component.onCompleted: cQmlInterface.setTopAreaObject(topArea)

    // The animal in one line, empty parts left out.
    function patientLine() {
        var parts = [ui.patientSpecies, ui.patientBreed, ui.patientGender, ui.patientAge, ui.patientWeight];
        var line = "";
        for (var i = 0; i < parts.length; ++i) {
            if (parts[i].length === 0)
                continue;
            line += (line.length > 0 ? "  \u00b7  " : "") + parts[i];
        }
        return line;
    }

    // Where the recording stands in the ECG Storage queue.
    function pacsQueueLine() {
        switch (ui.filePacsQueue) {
        case 1: return "ECG Storage: waiting to send";
        case 2: return "ECG Storage: sending\u2026";
        case 3: return "ECG Storage: not sent";
        }
        return "";
    }

    // The queue's mark with the reason a recording set aside is not sent:
    // in short beside the mark, in full in the details.
    function pacsQueueMark(full) {
        const why = full ? ui.filePacsQueueText : ui.filePacsQueueReason;
        return pacsQueueLine() + (ui.filePacsQueue === 3 && why.length > 0 ? " \u2014 " + why : "");
    }

    function pageBack() {
        var x = ecgFlickable.contentX - halfPage;
        if (x >= 0)
            ecgFlickable.contentX = x;
    }

    function pageForward() {
        if (ecgFlickable.contentX + halfPage < ecgFlickable.contentWidth)
            ecgFlickable.contentX = ecgFlickable.contentX + halfPage;
    }

    function setGainIdx(idx) {
        if (idx < 0 || idx > 5)
            return;
        ui.ecgGainIdx = idx;
        ui.sendViewerParams(true);
    }

    function setSpeedIdx(idx) {
        if (idx < 0 || idx > 6)
            return;
        ui.ecgSpeedIdx = idx;
        ui.sendViewerParams(true);
    }

    function setModeIdx(idx) {
        ui.ecgDisplayModeIdx = idx;
        ui.sendViewerParams(true);
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 1
        color: "#c9d3d4"
    }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 20
        anchors.rightMargin: 16
        spacing: 16

        // Patient and recording.
        MouseArea {
            objectName: "recordingDetails"
            Layout.fillWidth: true
            Layout.fillHeight: true
            enabled: topArea.ui.fileName.length > 0
            cursorShape: enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
            onClicked: details.open()

            ColumnLayout {
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width
                spacing: 2

                // The patient and how many recordings the patient has.
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 18
                    Label {
                        id: patientName
                        objectName: "topAreaPatientName"
                        Layout.fillWidth: true
                        // Its whole width at most, so the count follows it; a
                        // cut-short label reports only the shown part as its own.
                        Layout.maximumWidth: Math.ceil(patientNameMetrics.advanceWidth)
                        Layout.alignment: Qt.AlignBaseline
                        text: topArea.unassigned ? "Not assigned to a patient"
                              : topArea.ui.patientName.length > 0
                              ? topArea.ui.patientName + (topArea.ui.patientExtId.length > 0 ? "  (ID " + topArea.ui.patientExtId + ")" : "")
                              : "No patient selected"
                        font.family: topArea.defs.commonFont
                        font.pointSize: topArea.defs.fontSizeTopArea + 4
                        font.bold: true
                        color: topArea.defs.colorText
                        elide: Text.ElideRight
                    }
                    TextMetrics {
                        id: patientNameMetrics
                        font: patientName.font
                        text: patientName.text
                    }
                    Label {
                        Layout.alignment: Qt.AlignBaseline
                        visible: !topArea.unassigned && recordingFacts.visible
                        text: topArea.ui.fileCount === 1 ? "1 ECG" : topArea.ui.fileCount + " ECGs"
                        font.family: topArea.defs.commonFont
                        font.pointSize: topArea.defs.fontSizeTopAreaSmall
                        color: topArea.defs.colorTextDim
                    }
                }
                Label {
                    Layout.fillWidth: true
                    visible: !topArea.unassigned && topArea.ui.patientFirstLast.length > 0
                    text: "Owner: " + topArea.ui.patientFirstLast
                    font.family: topArea.defs.commonFont
                    font.pointSize: topArea.defs.fontSizeTopArea
                    color: topArea.defs.colorTextDim
                    elide: Text.ElideRight
                }
                Label {
                    Layout.fillWidth: true
                    visible: !topArea.unassigned
                    text: topArea.patientLine()
                    font.family: topArea.defs.commonFont
                    font.pointSize: topArea.defs.fontSizeTopArea
                    color: topArea.defs.colorTextDim
                    wrapMode: Text.WordWrap
                    maximumLineCount: 2
                    elide: Text.ElideRight
                }
                // When, the telemedicine case and the ECG Storage mark: what
                // does not fit beside the others goes to the next line, a fact
                // wider than the room is cut short.
                Flow {
                    id: recordingFacts
                    Layout.fillWidth: true
                    visible: topArea.showsRecording && topArea.ui.fileDate.length > 0
                    // Between facts on a line; Flow's own spacing would part the lines too.
                    readonly property real gap: 18
                    Label {
                        id: recordedDate
                        width: Math.min(implicitWidth, recordingFacts.width)
                        rightPadding: recordingFacts.gap
                        text: "Recorded: " + topArea.ui.fileDate + " " + topArea.ui.fileTimeCurrent
                        font.family: topArea.defs.commonFont
                        font.pointSize: topArea.defs.fontSizeTopArea
                        color: topArea.defs.colorText
                        elide: Text.ElideRight
                    }
                    Label {
                        objectName: "topAreaCase"
                        width: Math.min(implicitWidth, recordingFacts.width)
                        rightPadding: recordingFacts.gap
                        visible: topArea.ui.fileQVLCaseId.length > 0
                        text: "Case " + topArea.ui.fileQVLCaseId + ": " + topArea.ui.fileQVLCaseStatus
                        font.family: topArea.defs.commonFont
                        font.pointSize: topArea.defs.fontSizeTopArea
                        color: topArea.defs.colorText
                        elide: Text.ElideRight
                    }
                    // As tall as a line of text, so every line of facts is.
                    Image {
                        visible: topArea.ui.filePacsStatus === 2
                        sourceSize.width: recordedDate.implicitHeight
                        sourceSize.height: recordedDate.implicitHeight
                        source: topArea.defs.imgUploadedPacs
                    }
                }
                // The recording's place in the ECG Storage queue, on a line of
                // its own; why a recording is not sent follows the mark in
                // short (the tip and the details say it in full).
                Label {
                    objectName: "pacsQueueMark"
                    Layout.fillWidth: true
                    visible: topArea.showsRecording && topArea.ui.filePacsQueue > 0
                    text: topArea.pacsQueueMark(false)
                    elide: Text.ElideRight
                    ToolTip.visible: markHover.hovered && (truncated || topArea.ui.filePacsQueue === 3)
                    ToolTip.text: topArea.pacsQueueMark(true)
                    ToolTip.delay: 500
                    HoverHandler { id: markHover }
                    font.family: topArea.defs.commonFont
                    font.pointSize: topArea.defs.fontSizeTopAreaSmall
                    color: topArea.ui.filePacsQueue === 3 ? topArea.defs.colorRecording : topArea.defs.colorText
                }
                Label {
                    visible: topArea.ui.displayState === 3
                    text: "No ECG recorded for this patient yet"
                    font.family: topArea.defs.commonFont
                    font.pointSize: topArea.defs.fontSizeTopArea
                    color: topArea.defs.colorText
                }
            }
        }

        // The controls with the viewer's description under them, where the
        // patient's lines leave it room.
        ColumnLayout {
            spacing: 4

            RowLayout {
                id: viewerControls
                spacing: 16

                // Paging through a shown recording.
                RowLayout {
                    visible: topArea.showsRecording
                    spacing: 2
                    IconButton {
                        iconSource: topArea.defs.imgPageBack
                        tip: "Previous page"
                        onClicked: topArea.pageBack()
                    }
                    IconButton {
                        iconSource: topArea.defs.imgPageForward
                        tip: "Next page"
                        onClicked: topArea.pageForward()
                    }
                }

                Rectangle { Layout.preferredWidth: 1; Layout.preferredHeight: 40; color: "#c9d3d4" }

                RowLayout {
                    spacing: 2
                    IconButton {
                        iconSource: topArea.defs.imgDecreaseGain
                        tip: "Decrease gain"
                        enabled: topArea.ui.ecgGainIdx > 0
                        onClicked: topArea.setGainIdx(topArea.ui.ecgGainIdx - 1)
                    }
                    IconButton {
                        iconSource: topArea.defs.imgIncreaseGain
                        tip: "Increase gain"
                        enabled: topArea.ui.ecgGainIdx < 5
                        onClicked: topArea.setGainIdx(topArea.ui.ecgGainIdx + 1)
                    }
                    IconButton {
                        iconSource: topArea.defs.imgDecreaseSpeed
                        tip: "Decrease paper speed"
                        enabled: topArea.ui.ecgSpeedIdx > 0
                        onClicked: topArea.setSpeedIdx(topArea.ui.ecgSpeedIdx - 1)
                    }
                    IconButton {
                        iconSource: topArea.defs.imgIncreaseSpeed
                        tip: "Increase paper speed"
                        enabled: topArea.ui.ecgSpeedIdx < 6
                        onClicked: topArea.setSpeedIdx(topArea.ui.ecgSpeedIdx + 1)
                    }
                }

                Rectangle { Layout.preferredWidth: 1; Layout.preferredHeight: 40; color: "#c9d3d4" }

                RowLayout {
                    spacing: 2
                    IconButton {
                        iconSource: topArea.defs.img1Lead
                        tip: "Single Lead"
                        checkedLook: topArea.ui.ecgDisplayModeIdx === 0
                        onClicked: topArea.setModeIdx(0)
                    }
                    IconButton {
                        iconSource: topArea.defs.img3Leads
                        tip: "Einthoven"
                        checkedLook: topArea.ui.ecgDisplayModeIdx === 1
                        onClicked: topArea.setModeIdx(1)
                    }
                    IconButton {
                        iconSource: topArea.defs.img6Leads
                        tip: "Goldberger"
                        checkedLook: topArea.ui.ecgDisplayModeIdx === 2
                        onClicked: topArea.setModeIdx(2)
                    }
                }

                Rectangle { Layout.preferredWidth: 1; Layout.preferredHeight: 40; color: "#c9d3d4" }

                IconButton {
                    iconSource: topArea.defs.imgHeartRate
                    tip: "Heart rate"
                    checkedLook: topArea.ui.showHeartRateActive
                    onClicked: {
                        topArea.ui.showHeartRateActive = !topArea.ui.showHeartRateActive;
                        topArea.ui.sendViewerParams(true);
                    }
                }
            }

            Label {
                Layout.preferredWidth: viewerControls.implicitWidth
                visible: topArea.ui.footerLineLeft.length > 0
                horizontalAlignment: Text.AlignHCenter
                text: topArea.ui.footerLineLeft
                font.family: topArea.defs.commonFont
                font.pointSize: topArea.defs.fontSizeTopAreaSmall
                color: topArea.defs.colorTextDim
                elide: Text.ElideRight
            }
        }
    }

    MadeOnUse {
        id: details
        owner: topArea
        dialog: AlertDialog {
            defs: topArea.defs
            title: "ECG Details"
            text: (topArea.unassigned ? "Patient: not assigned"
                   : "Patient: " + topArea.ui.patientName + " (ID " + topArea.ui.patientExtId + ")"
                     + "\nOwner: " + topArea.ui.patientFirstLast)
                  + "\nRecorded: " + topArea.ui.fileDate + " " + topArea.ui.fileTimeCurrent
            informativeText: "File: " + topArea.ui.fileName
                  + (topArea.ui.fileQVLCaseId.length > 0 ? "\nTelemedicine case: " + topArea.ui.fileQVLCaseId + " (" + topArea.ui.fileQVLCaseStatus + ")" : "")
                  + (topArea.ui.filePacsStatus === 2 ? "\nStored in the ECG Storage" : "")
                  + (topArea.ui.filePacsQueue > 0 ? "\n" + topArea.pacsQueueMark(true) : "")
        }
    }
}
