pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The title bar: the product name and the buttons that open the views.
Rectangle {
    id: header

    required property UiDefs defs
    required property UiData ui
    // A full view is open: the buttons open nothing else.
    property bool viewOpen: false

    signal menuRequested()
    signal viewRequested(string name)
    signal importRequested()

    // Recording, or a new recording waiting for its patient.
    readonly property bool busyWithRecording: ui.displayState === 2 || ui.displayState === 4

    color: defs.colorHeader

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        spacing: 4

        HeaderButton {
            defs: header.defs
            text: "Menu"
            iconSource: header.defs.imgMenu
            onClicked: header.menuRequested()
        }

        Image {
            Layout.preferredWidth: 64
            Layout.preferredHeight: 64
            sourceSize.width: 64
            sourceSize.height: 64
            source: header.defs.imgIcon
        }

        // The name steps aside when the buttons need the room.
        Label {
            visible: header.width >= 1180
            text: header.defs.productName
            color: header.defs.colorHeaderText
            font.family: header.defs.commonFont
            font.pointSize: header.defs.fontSizeHeaderArea
            font.bold: true
        }

        Item { Layout.fillWidth: true }

        Rectangle {
            visible: header.ui.isStreamingView && header.ui.batteryLowIndicator
            Layout.preferredHeight: 36
            Layout.preferredWidth: lowBattery.implicitWidth + 48
            radius: 18
            color: header.defs.colorRecording
            Row {
                anchors.centerIn: parent
                spacing: 6
                Image {
                    width: 24
                    height: 24
                    sourceSize.width: 24
                    sourceSize.height: 24
                    source: header.defs.imgBattery
                    anchors.verticalCenter: parent.verticalCenter
                }
                Label {
                    id: lowBattery
                    text: "Low Battery"
                    color: "white"
                    font.family: header.defs.commonFont
                    font.pointSize: header.defs.fontSizeNormal
                    font.bold: true
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
        }

        HeaderButton {
            defs: header.defs
            text: "Settings"
            iconSource: header.defs.imgSettings
            onClicked: header.viewRequested("settings")
        }

        HeaderButton {
            defs: header.defs
            text: header.ui.isStreamingView ? "Stop Monitor" : "New ECG"
            iconSource: header.ui.isStreamingView ? header.defs.imgStop : header.defs.imgNewEcg
            visible: header.ui.displayState !== 4
            onClicked: {
                if (header.viewOpen)
                    return;
                if (header.ui.isStreamingView) {
                    cQmlInterface.setUiDataDisplayState(0);
                    cQmlInterface.streamStartStop(false);
                } else {
                    cQmlInterface.streamStartStop(true);
                }
            }
        }

        HeaderButton {
            defs: header.defs
            text: "ECG Tools"
            iconSource: header.defs.imgTools
            onClicked: header.viewRequested("tools")
        }

        HeaderButton {
            defs: header.defs
            text: "Saved ECGs"
            iconSource: header.defs.imgSavedEcgs
            visible: !header.busyWithRecording
            onClicked: header.viewRequested("recordings")
        }

        HeaderButton {
            defs: header.defs
            text: "Import ECGs"
            iconSource: header.defs.imgImport
            visible: !header.busyWithRecording
            onClicked: header.importRequested()
        }

        HeaderButton {
            defs: header.defs
            text: "Export ECGs"
            iconSource: header.defs.imgExport
            visible: !header.busyWithRecording
            onClicked: {
                if (header.viewOpen)
                    return;
                header.viewRequested("export");
                cQmlInterface.getExportFileName();
            }
        }

        HeaderButton {
            defs: header.defs
            text: "Cancel"
            iconSource: header.defs.imgCancel
            visible: header.ui.displayState === 4
            onClicked: {
                if (!header.viewOpen)
                    cancelAssignment.open();
            }
        }
    }

    MadeOnUse {
        id: cancelAssignment
        owner: header
        dialog: AlertDialog {
            defs: header.defs
            title: "Close Without Saving"
            text: "You have requested to cancel assignment and delete this recording."
            informativeText: "Click 'OK' to delete this recording."
            rejectText: "Cancel"
            onAccepted: {
                cQmlInterface.ecgPatientAssignmentAborted();
                cQmlInterface.streamStartStop(true);
            }
        }
    }
}
