import QtQuick

// Constants of the screens: sizes, fonts, value lists, colours, images.
// Its completion ends the start-up of the screens.
QtObject {
    id: uiDefs

    // Published by the bridge.
    property string versionStr: ""
    property string buildStr: ""
    property bool isYarloVariant: false
    // 0 Windows, 1 iOS, 2 Android, 3 MacOS, 4 Linux, -1 other.
    property int osType: -1

    property string productName: "Malvorant"
    property bool usePinchZoom: false
    property bool useTouch: true

    // Point sizes.
    property int fontSizeHeading: 12
    property int fontSizeMenuItem: 18
    property int fontSizeHeaderArea: 36
    property int fontSizeTopArea: 12
    property int fontSizeTopAreaSmall: 10
    property int fontSizeNormal: 13
    property int fontSizeListEntry: 18
    property int fontSizeListEntrySmall: 13
    property int fontSizeEcgLabel: 13
    property int fontSizeHeartRate: 28
    property int fontSizeAlert: 14
    property int fontSizeDialog: 12
    property int fontSizeSpecies: 18
    property int fontSizeSpeciesSmall: 11

    property int greenPadding: 24
    property int orangePadding: 32

    // Heights in millimetres, scaled by the window's scaling.
    property real windowsScaling: 1.0
    property int pixelsPerMm: 4
    property real topHeaderHeightMm: 42
    property real topAreaHeightMm: 38
    property real bottomAreaHeightMm: 11
    property real topHeaderHeight: 0
    property real topAreaHeight: 0
    property real bottomAreaHeight: 0
    property int mainWidth: 1000
    property int mainHeight: 800
    property int switchHeight: 26
    property int switchWidth: 48
    property int radioOuterRadius: 22
    property int radioInnerRadius: 10

    property var speciesSelection: ["Always Ask Species", "Canine Only", "Feline Only"]

    // Viewer value lists.
    property var modelEcgModes: ["Single Lead", "Einthoven", "Goldberger"]
    property var modelEcgModeValues: [0, 1, 3]
    property var modelEcgSpeeds: ["2.5 mm/sec", "5 mm/sec", "10 mm/sec", "25 mm/sec", "50 mm/sec", "100 mm/sec", "200 mm/sec"]
    property var modelEcgSpeedValues: [2.5, 5, 10, 25, 50, 100, 200]
    property var modelEcgGains: ["2.5 mm/mV", "5 mm/mV", "10 mm/mV", "20 mm/mV", "30 mm/mV", "40 mm/mV"]
    property var modelEcgGainValues: [2.5, 5, 10, 20, 30, 40]
    property var modelEcgGrids: ["fine", "medium", "coarse", "none"]

    // Lead layout per display mode (0 Single Lead, 1 Einthoven, 2 Goldberger I, 3 Goldberger).
    property var ecgModeNumVectors: [1, 3, 6, 6]
    property var ecgModeOffsets: [[0.5], [0.8333, 0.5, 0.1666],
        [0.8766, 0.715, 0.55, 0.38, 0.2, 0.08], [0.8766, 0.715, 0.55, 0.38, 0.2, 0.08]]
    property var ecgModeLabels: [["II"], ["I", "II", "III"],
        ["aVL", "I", "-aVR", "II", "aVF", "III"], ["I", "II", "III", "-aVR", "aVL", "aVF"]]

    // Colours.
    property color colorEcgTrace: "black"
    property color colorRecording: "#d8292f"
    property color colorErrorBar: "#d8292f"
    property color colorVectorError: "#e6bb48"
    property color colorMarker: "green"
    property color colorEcgLabel: "#3b5e61"
    property color colorScrollBar: "#C0C0C0"
    property color colorHeader: "#2c4a4d"
    property color colorHeaderText: "white"
    property color colorTopArea: "#eef3f3"
    property color colorBottomArea: "#3b5e61"
    property color colorAccent: "#2a8c8f"
    property color colorText: "#1d2b2c"
    property color colorTextDim: "#5b6b6c"
    property color colorDisabled: "#9aa5a6"
    property color colorBackground: "white"

    // Images.
    property string imgPath: "qrc:/qml/win/img/"
    property url imgBluetooth: imgPath + "Bluetooth.svg"
    property url imgSettings: imgPath + "Settings.svg"
    property url imgTools: imgPath + "ToolsBlack.svg"
    property url imgTrash: imgPath + "Trash.svg"
    property url imgIncreaseGain: imgPath + "increase-gain.svg"
    property url imgDecreaseGain: imgPath + "decrease-gain.svg"
    property url imgIncreaseSpeed: imgPath + "increase-paperspeed.svg"
    property url imgDecreaseSpeed: imgPath + "decrease-paperspeed.svg"
    property url img1Lead: imgPath + "1-lead.svg"
    property url img3Leads: imgPath + "3-leads.svg"
    property url img6Leads: imgPath + "6-leads.svg"
    property url imgCanine: imgPath + "CanineButton.svg"
    property url imgFeline: imgPath + "FelineButton.svg"
    property url imgOtherAnimal: imgPath + "OtherAnimalButton.svg"
    property url imgTelemedicineActive: imgPath + "TelemedicineActive.svg"
    property url imgTelemedicineInactive: imgPath + "TelemedicineInactive.svg"
    property url imgUploadedPacs: imgPath + "Uploaded-PACS.svg"
    property url imgSplash: imgPath + "Splash-Screen.png"
    property url imgIcon: imgPath + "yarloMalvorantIcon.png"
    property url imgNewEcg: imgPath + "NewEcg.svg"
    property url imgStop: imgPath + "Stop.svg"
    property url imgSavedEcgs: imgPath + "SavedEcgs.svg"
    property url imgImport: imgPath + "Import.svg"
    property url imgExport: imgPath + "Export.svg"
    property url imgMenu: imgPath + "Menu.svg"
    property url imgRecord: imgPath + "Record.svg"
    property url imgAssign: imgPath + "Assign.svg"
    property url imgCancel: imgPath + "Cancel.svg"
    property url imgBattery: imgPath + "BatteryLow.svg"
    property url imgHeartRate: imgPath + "HeartRate.svg"
    property url imgPageBack: imgPath + "PageBack.svg"
    property url imgPageForward: imgPath + "PageForward.svg"
    property url imgFolder: imgPath + "Folder.svg"

    property string commonFont: "Arial"
    property string linkFont: "Arial"
    // The typeface the program carries and loads at start: metric-compatible
    // with Arial, it stands in for it on every machine.
    readonly property string carriedFont: "Liberation Sans"

    function pickFont() {
        var installed = Qt.fontFamilies();
        var families = {};
        for (var f = 0; f < installed.length; ++f)
            families[installed[f]] = true;
        var wanted = ["Open Sans", ".SF NS Display", ".SF UI Text", "Helvetica Neue", "Helvetica", "Arial", "MS Sans Serif"];
        for (var i = 0; i < wanted.length; ++i) {
            if (families[wanted[i]]) {
                commonFont = wanted[i];
                break;
            }
        }
        if (families[carriedFont]) {
            commonFont = carriedFont;
            linkFont = carriedFont;
        } else if (families["Arial"]) {
            commonFont = "Arial";
            linkFont = "Arial";
        } else {
            linkFont = commonFont;
        }
    }

    function computeSizes() {
        topHeaderHeight = Math.round(topHeaderHeightMm * pixelsPerMm * windowsScaling);
        topAreaHeight = Math.round(topAreaHeightMm * pixelsPerMm * windowsScaling);
        bottomAreaHeight = Math.round(bottomAreaHeightMm * pixelsPerMm * windowsScaling);
    }

    onWindowsScalingChanged: computeSizes()

    Component.onCompleted: {
        cQmlInterface.setUiDefsObject(uiDefs);
        osType = cQmlInterface.getOsType();
        computeSizes();
        pickFont();
        // After every item of the window has completed and bound itself.
        Qt.callLater(function() { cQmlInterface.setupCompleted(); });
    }
}
