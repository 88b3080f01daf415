import QtQuick

// The shared state of the screens. The bridge writes most of it; the
// screens bind to it.
QtObject {
    id: uiData

    required property UiDefs defs

    // Current patient.
    property string patientName: ""
    property string patientExtId: ""
    property string patientFirstLast: ""
    property string patientSpecies: ""
    property string patientBreed: ""
    property string patientAge: ""
    property string patientWeight: ""
    property string patientGender: ""
    property int patientId: 0

    // Current recording.
    property string fileName: ""
    property string fileDate: ""
    property string fileTimeCurrent: ""
    property string fileQVLCaseId: ""
    property string fileQVLCaseUrl: ""
    property string fileQVLCaseStatus: ""
    property int fileCount: 0
    property int filePacsStatus: 0
    // Its place in the ECG Storage queue: 0 none, 1 waiting, 2 being sent,
    // 3 set aside (why in filePacsQueueText, in short in filePacsQueueReason).
    property int filePacsQueue: 0
    property string filePacsQueueText: ""
    property string filePacsQueueReason: ""

    // Viewer.
    property string footerLineLeft: ""
    property bool powerFilterActive: false
    property bool artifactFilterActive: false
    property int ecgDisplayModeIdx: 0
    property int ecgGainIdx: 0
    property int ecgSpeedIdx: 0
    property int ecgGridIdx: 3

    // In-application browser.
    property url browserUrl: ""
    property string browserTitle: ""
    property bool browserShowForwardBackwardButton: false

    // DICOM.
    property bool dicomEnabled: false
    property int dicomMwlConfigStatus: 0
    property int dicomPacsConfigStatus: 0
    property bool dicomDisableLocalPatients: false
    property bool dicomDisableLocalFiles: false
    property bool forceLocal: false

    // Live signal and indicators.
    property bool warningLeadPlacement: false
    property bool warningInterference: false
    property bool showHeartRateActive: false
    property bool playHeartBeatActive: false
    property bool showIndicatorHints: true
    property bool qvlAccountVerified: false
    property bool vectorError0: false
    property bool vectorError1: false
    property bool abortConnecting: false

    // 0 showing an assigned recording, 1 streaming, 2 recording,
    // 3 no recording, 4 showing an unassigned recording.
    property int displayState: 0
    readonly property bool isStreamingView: displayState === 1 || displayState === 2 || displayState === 4
    property bool isBtConnected: false
    property bool isLeadInComplete: false
    property int recordingTime: 0
    property string beatsPerMinuteLabel: ""
    property bool showBeatsPerMinute: false
    property bool busyIndicatorRunning: false
    property bool streamRefreshTimerRunning: false
    property bool batteryLowIndicator: false
    // 0 always ask, 1 canine, 2 feline.
    property int selectedSpecies: 0
    // Species of the next recording: 0 undefined, 1 canine, 2 feline, 3 other.
    property int tmpSpecies: 0
    property bool saveToPdfEnabled: false
    property int itsaRetry: 0

    // Acquisition input.
    property int inputType: 0
    property int inputChannelListIndex: 0
    property string inputDescriptiveName: ""
    property bool validStreamInputDeviceSelected: false
    property bool fromImport: false

    // The screens' own state.
    property bool shaderVisible: false
    property bool dialogAborted: false
    property int recordingTime10th: 0
    property double startTime: 0
    property bool recordingNow: false
    property int inputSourceTypeModelSelector: 0
    property int inputSourceTypeIdx: 0
    property var modelInputSourceTypeList: ["Bluetooth"]
    property var modelInputSourceTypeListValues: [0]
    property bool cameraVisible: false
    property string photoFile: ""
    property real windowsScaling: 1.0

    // Index of value in list; a value the list lacks gives its middle entry.
    function indexOfValue(list, value) {
        for (var i = 0; i < list.length; ++i) {
            if (list[i] === value)
                return i;
        }
        return Math.floor(list.length / 2);
    }

    // Sends all eight viewer values; callers set their own index first.
    function sendViewerParams(asUpdate) {
        var mode = defs.modelEcgModeValues[ecgDisplayModeIdx];
        var gain = defs.modelEcgGainValues[ecgGainIdx];
        var speed = defs.modelEcgSpeedValues[ecgSpeedIdx];
        if (asUpdate)
            cQmlInterface.updateViewerParams(mode, gain, speed, powerFilterActive, artifactFilterActive,
                                             showHeartRateActive, playHeartBeatActive, showIndicatorHints);
        else
            cQmlInterface.setViewerParams(mode, gain, speed, powerFilterActive, artifactFilterActive,
                                          showHeartRateActive, playHeartBeatActive, showIndicatorHints);
    }

    // A species preset decides the animal of every recording: the species
    // shown for the next one follows it.
    onSelectedSpeciesChanged: {
        if (selectedSpecies === 1 || selectedSpecies === 2)
            tmpSpecies = selectedSpecies;
    }

    Component.onCompleted: {
        cQmlInterface.setUiDataObject(uiData);
        ecgDisplayModeIdx = indexOfValue(defs.modelEcgModeValues, cQmlInterface.getUiDataEcgModeValue());
        ecgGainIdx = indexOfValue(defs.modelEcgGainValues, cQmlInterface.getUiDataGainValue());
        ecgSpeedIdx = indexOfValue(defs.modelEcgSpeedValues, cQmlInterface.getUiDataSpeedValue());
    }
}
