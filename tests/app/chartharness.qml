import QtQuick
import "qrc:/qml/win"

// The two chart views of the program stacked as the main window stacks
// them, over small stand-ins of UiData and UiDefs with the properties they read.
Item {
    id: harness
    width: 1600
    height: 800

    property alias ecgView: ecgView
    property alias gridView: gridView

    QtObject {
        id: uiData
        objectName: "uiData"
        property int displayState: 0
        property bool isStreamingView: displayState === 1 || displayState === 2 || displayState === 4
        property bool isBtConnected: false
        property int itsaRetry: 0
        property string inputDescriptiveName: ""
        property int ecgGridIdx: 3
        property int ecgDisplayModeIdx: 1
        property int ecgGainIdx: 2
        property int ecgSpeedIdx: 3
        property bool powerFilterActive: false
        property bool artifactFilterActive: false
        property bool showHeartRateActive: false
        property bool playHeartBeatActive: false
        property bool showIndicatorHints: true
        property bool showBeatsPerMinute: false
        property string beatsPerMinuteLabel: ""
        property bool vectorError0: false
        property bool vectorError1: false
        property bool warningLeadPlacement: false
        property int tmpSpecies: 0
        property int selectedSpecies: 0
        property int recordingTime: 0
        property string footerLineLeft: ""
        property string fileTimeCurrent: ""
        property bool streamRefreshTimerRunning: false
        property int recordingTime10th: 0
        property real startTime: 0
    }

    QtObject {
        id: uiDefs
        property bool isYarloVariant: true
        property bool usePinchZoom: false
        property var ecgModeNumVectors: [1, 3, 6, 6]
        property var ecgModeOffsets: [[0.5], [0.8333, 0.5, 0.1666],
            [0.8766, 0.715, 0.55, 0.38, 0.2, 0.08], [0.8766, 0.715, 0.55, 0.38, 0.2, 0.08]]
        property var ecgModeLabels: [["II"], ["I", "II", "III"], ["aVL", "I", "-aVR", "II", "aVF", "III"],
            ["I", "II", "III", "-aVR", "aVL", "aVF"]]
        property var modelEcgModeValues: [0, 1, 3]
        property var modelEcgSpeedValues: [2.5, 5, 10, 25, 50, 100, 200]
        property var modelEcgGainValues: [2.5, 5, 10, 20, 30, 40]
    }

    Rectangle {
        anchors.fill: parent
        color: "white"
    }
    GridViewQd {
        id: gridView
        anchors.fill: parent
    }
    EcgView {
        id: ecgView
        anchors.fill: parent
    }

    Component.onCompleted: cQmlInterface.setUiDataObject(uiData)
}
