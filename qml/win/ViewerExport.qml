import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Export of the open recording as a data file or as a DICOM file.
ViewFrame {
    id: view

    required property UiData ui

    // Written by the bridge.
    property string exportDataFileName: ""
    property string exportDicomFileName: ""
    property int openedAccordion: 0

    // mode: "exportEcg" or "exportDcm".
    signal folderRequested(string mode)

    title: "Export ECGs"
    visible: false

    onCloseRequested: visible = false
    onVisibleChanged: {
        if (!visible)
            return;
        cQmlInterface.setExportObject(view);
        cQmlInterface.getExportFileName();
    }
    Component.onCompleted: {
        cQmlInterface.setExportObject(view);
        cQmlInterface.getExportFileName();
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: 8
        spacing: 0

        AccordionSection {
            objectName: "exportDataSection"
            Layout.fillWidth: true
            defs: view.defs
            index: 0
            openedIndex: view.openedAccordion
            onToggled: (i) => {
                view.openedAccordion = i;
                cQmlInterface.getExportFileName();
            }
            title: "Export ECG"
            Label {
                text: "ECG filename"
                color: view.defs.colorTextDim
                font.family: view.defs.commonFont
                font.pointSize: view.defs.fontSizeNormal
            }
            Label {
                objectName: "exportDataName"
                Layout.fillWidth: true
                text: view.exportDataFileName
                elide: Text.ElideMiddle
                font.family: view.defs.commonFont
                font.pointSize: view.defs.fontSizeListEntry
            }
            Button {
                text: "Export ECG"
                enabled: view.exportDataFileName.length > 0
                onClicked: view.folderRequested("exportEcg")
            }
        }

        AccordionSection {
            objectName: "exportDicomSection"
            Layout.fillWidth: true
            defs: view.defs
            index: 1
            openedIndex: view.openedAccordion
            onToggled: (i) => {
                view.openedAccordion = i;
                cQmlInterface.getExportFileName();
            }
            title: "Export Dicom"
            Label {
                text: "Dicom filename"
                color: view.defs.colorTextDim
                font.family: view.defs.commonFont
                font.pointSize: view.defs.fontSizeNormal
            }
            Label {
                objectName: "exportDicomName"
                Layout.fillWidth: true
                text: view.exportDicomFileName
                elide: Text.ElideMiddle
                font.family: view.defs.commonFont
                font.pointSize: view.defs.fontSizeListEntry
            }
            Button {
                text: "Export Dicom"
                enabled: view.exportDicomFileName.length > 0
                onClicked: view.folderRequested("exportDcm")
            }
        }

        Item { Layout.fillHeight: true }
    }
}
