import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The viewer's tools: display type, paper speed, gain, grid and the PDF report.
ViewFrame {
    id: view

    required property UiData ui

    // Written by the bridge.
    property int openedAccordion: 0

    signal gridRequested(int gridIdx)
    signal pdfRequested()

    title: "ECG Tools"
    visible: false

    // Sets the changed index first, then hands all eight current values over.
    function apply() {
        cQmlInterface.updateViewerParams(defs.modelEcgModeValues[ui.ecgDisplayModeIdx],
                                         defs.modelEcgGainValues[ui.ecgGainIdx],
                                         defs.modelEcgSpeedValues[ui.ecgSpeedIdx],
                                         ui.powerFilterActive, ui.artifactFilterActive,
                                         ui.showHeartRateActive, ui.playHeartBeatActive,
                                         ui.showIndicatorHints);
    }

    onCloseRequested: visible = false
    onVisibleChanged: if (visible) cQmlInterface.setToolsSettingsObject(view)
    Component.onCompleted: cQmlInterface.setToolsSettingsObject(view)

    ScrollView {
        id: scroll
        anchors.fill: parent
        anchors.margins: view.defs.greenPadding
        contentWidth: availableWidth

        GridLayout {
            width: scroll.availableWidth
            columns: 4
            columnSpacing: 40
            rowSpacing: 24

            ChoiceList {
                Layout.alignment: Qt.AlignTop
                objectName: "displayTypeChoice"
                defs: view.defs
                title: "Display Type"
                model: view.defs.modelEcgModes
                currentIndex: view.ui.ecgDisplayModeIdx
                onChosen: (i) => {
                    view.ui.ecgDisplayModeIdx = i;
                    view.apply();
                }
            }
            ChoiceList {
                Layout.alignment: Qt.AlignTop
                objectName: "paperSpeedChoice"
                defs: view.defs
                title: "Paper Speed"
                model: view.defs.modelEcgSpeeds
                currentIndex: view.ui.ecgSpeedIdx
                onChosen: (i) => {
                    view.ui.ecgSpeedIdx = i;
                    view.apply();
                }
            }
            ChoiceList {
                Layout.alignment: Qt.AlignTop
                objectName: "gainChoice"
                defs: view.defs
                title: "Gain"
                model: view.defs.modelEcgGains
                currentIndex: view.ui.ecgGainIdx
                onChosen: (i) => {
                    view.ui.ecgGainIdx = i;
                    view.apply();
                }
            }
            ChoiceList {
                Layout.alignment: Qt.AlignTop
                objectName: "gridChoice"
                defs: view.defs
                title: "Grid"
                model: view.defs.modelEcgGrids
                currentIndex: view.ui.ecgGridIdx
                onChosen: (i) => view.gridRequested(i)
            }

            RowLayout {
                Layout.columnSpan: 4
                spacing: 16
                Button {
                    objectName: "saveToPdf"
                    text: "Save to PDF"
                    font.family: view.defs.commonFont
                    font.pointSize: view.defs.fontSizeNormal
                    // Off while no saved ECG is shown (the live monitor, no
                    // recording): there is nothing on the screen to print.
                    enabled: view.ui.saveToPdfEnabled
                    onClicked: view.pdfRequested()
                }
                Label {
                    objectName: "saveToPdfHint"
                    visible: !view.ui.saveToPdfEnabled
                    text: "Available while a saved ECG is shown."
                    color: view.defs.colorTextDim
                    font.family: view.defs.commonFont
                    font.pointSize: view.defs.fontSizeNormal
                }
            }
        }
    }
}
