pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtCharts

// The ECG chart: nine line series that the bridge fills point by point on a
// 200 x 100 mm sheet mapped onto axes 0..1, a flickable whose scroll
// position picks the part of a shown recording, the lead labels, the heart
// rate and the connection hints.
Item {
    id: ecgView

    required property UiDefs defs
    required property UiData ui
    readonly property alias flickable: horizontalFlickable

    // The display mode really drawn (a stored mode 2 is not in the mode list).
    property int displayMode: -1
    readonly property real mmX: width / 200
    readonly property real mmY: height / 100
    readonly property bool showsRecording: ecgView.ui.displayState === 0 || ecgView.ui.displayState === 4
    // The traces that show leads I and II in the drawn mode (-1: not shown):
    // a fault the analysis finds on one of the two leads marks that trace.
    readonly property var modeLabels: displayMode >= 0 && displayMode < 4 ? defs.ecgModeLabels[displayMode] : []
    readonly property int leadITrace: modeLabels.indexOf("I")
    readonly property int leadIITrace: modeLabels.indexOf("II")
    function traceFaulty(trace) {
        return (ui.vectorError0 && trace === leadITrace) || (ui.vectorError1 && trace === leadIITrace)
    }

    // Invoked by the bridge.
    signal qmlInitEcgData()
    signal qmlRefreshEcgData()
    signal qmlHideEcg()
    // A newer installer exists; no newer one was found.
    signal updateDialog()
    signal noUpdates()
    // The installer could not be started; the program goes on.
    signal updateFailed(string message)

    onQmlInitEcgData: {
        displayMode = cQmlInterface.getUiDataEcgModeValue()
        cQmlInterface.initEcg(ecg0, ecg1, ecg2, ecg3, ecg4, ecg5, cursor, errorBars, markerBars)
    }
    onQmlRefreshEcgData: {
        displayMode = cQmlInterface.getUiDataEcgModeValue()
        if (showsRecording)
            cQmlInterface.updateStoredEcg(horizontalFlickable.contentX, ecg0, ecg1, ecg2, ecg3, ecg4,
                                          ecg5, cursor, errorBars, markerBars)
    }
    onQmlHideEcg: cQmlInterface.hideEcg(ecg0, ecg1, ecg2, ecg3, ecg4, ecg5, cursor, errorBars, markerBars)
    onUpdateDialog: updateDialogBox.open()
    onNoUpdates: noUpdatesBox.open()
    onUpdateFailed: (message) => {
        const note = updateFailedNote.made() as AlertDialog;
        if (!note)
            return;
        note.informativeText = message;
        note.open();
    }

    // Pinch steps: a value i of the list is chosen once the finger distance
    // ratio crosses 0.5 + 0.5 * value[i] / value[current] in its direction.
    function pinchChoice(values, current, ratio) {
        var chosen = current
        for (var i = 0; i < values.length; ++i) {
            var threshold = 0.5 + 0.5 * values[i] / values[current]
            if (threshold > 1 && ratio >= threshold && values[i] > values[chosen])
                chosen = i
            if (threshold < 1 && ratio <= threshold && values[i] < values[chosen])
                chosen = i
        }
        return chosen
    }
    function sendViewerParams() {
        cQmlInterface.setViewerParams(ecgView.defs.modelEcgModeValues[ecgView.ui.ecgDisplayModeIdx],
                                      ecgView.defs.modelEcgGainValues[ecgView.ui.ecgGainIdx],
                                      ecgView.defs.modelEcgSpeedValues[ecgView.ui.ecgSpeedIdx],
                                      ecgView.ui.powerFilterActive, ecgView.ui.artifactFilterActive,
                                      ecgView.ui.showHeartRateActive, ecgView.ui.playHeartBeatActive,
                                      ecgView.ui.showIndicatorHints)
    }

    onWidthChanged: if (width > 0 && height > 0) cQmlInterface.setSize(width, height)
    onHeightChanged: if (width > 0 && height > 0) cQmlInterface.setSize(width, height)

    ChartView {
        id: ecgChart
        anchors.fill: parent
        // The sheet covers the whole item, so the grid chart's millimetres
        // and these traces share one mapping.
        plotArea: Qt.rect(0, 0, width, height)
        margins.top: 0
        margins.bottom: 0
        margins.left: 0
        margins.right: 0
        backgroundColor: "transparent"
        plotAreaColor: "transparent"
        backgroundRoundness: 0
        dropShadowEnabled: false
        legend.visible: false
        animationOptions: ChartView.NoAnimation

        ValueAxis {
            id: axisX
            min: 0
            max: 1
            visible: false
        }
        ValueAxis {
            id: axisY
            min: 0
            max: 1
            visible: false
        }

        LineSeries {
            id: ecg0
            name: "ecg0"
            axisX: axisX
            axisY: axisY
            useOpenGL: true
            readonly property bool faulty: ecgView.traceFaulty(0)
            width: faulty && ecgView.ui.tmpSpecies !== 3 ? 3 : 2
            color: faulty ? "#e6bb48" : "black"
        }
        LineSeries {
            id: ecg1
            name: "ecg1"
            axisX: axisX
            axisY: axisY
            useOpenGL: true
            readonly property bool faulty: ecgView.traceFaulty(1)
            width: faulty && ecgView.ui.tmpSpecies !== 3 ? 3 : 2
            color: faulty ? "#e6bb48" : "black"
        }
        LineSeries {
            id: ecg2
            name: "ecg2"
            axisX: axisX
            axisY: axisY
            useOpenGL: true
            readonly property bool faulty: ecgView.traceFaulty(2)
            width: faulty && ecgView.ui.tmpSpecies !== 3 ? 3 : 2
            color: faulty ? "#e6bb48" : "black"
        }
        LineSeries {
            id: ecg3
            name: "ecg3"
            axisX: axisX
            axisY: axisY
            useOpenGL: true
            readonly property bool faulty: ecgView.traceFaulty(3)
            width: faulty && ecgView.ui.tmpSpecies !== 3 ? 3 : 2
            color: faulty ? "#e6bb48" : "black"
        }
        LineSeries { id: ecg4; name: "ecg4"; axisX: axisX; axisY: axisY; useOpenGL: true; width: 2; color: "black" }
        LineSeries { id: ecg5; name: "ecg5"; axisX: axisX; axisY: axisY; useOpenGL: true; width: 2; color: "black" }
        LineSeries {
            id: cursor
            name: "cursor"
            axisX: axisX
            axisY: axisY
            useOpenGL: true
            width: 5
            color: ecgView.ui.displayState === 2 ? "#d8292f" : "black"
        }
        LineSeries { id: errorBars; name: "error"; axisX: axisX; axisY: axisY; useOpenGL: true; width: 10; color: "#d8292f" }
        LineSeries { id: markerBars; name: "marker"; axisX: axisX; axisY: axisY; useOpenGL: true; width: 2; color: "green" }
    }

    Repeater {
        id: leadLabels
        model: 6
        Text {
            required property int index
            readonly property var layoutLabels: ecgView.displayMode >= 0 && ecgView.displayMode < 4
                                                ? ecgView.defs.ecgModeLabels[ecgView.displayMode] : []
            readonly property string label: index < layoutLabels.length ? layoutLabels[index] : ""
            visible: label !== "" && index < ecgView.defs.ecgModeNumVectors[ecgView.displayMode]
            x: 6 * ecgView.mmX
            // The letters stand a millimetre above their trace's zero line,
            // so the line does not run through them.
            y: visible ? ecgView.height * (1 - ecgView.defs.ecgModeOffsets[ecgView.displayMode][index]) - ecgView.mmY - baselineOffset : 0
            font.pixelSize: ecgView.defs.fontSizeEcgLabel
            color: "#3b5e61"
            text: ecgView.defs.isYarloVariant && label === "-aVR" ? "aVR" : label
        }
    }

    PinchArea {
        id: pinchArea
        anchors.fill: parent
        enabled: !ecgView.defs.usePinchZoom

        property real startDx: 0
        property real startDy: 0
        property int startSpeedIdx: 0
        property int startGainIdx: 0

        onPinchStarted: function(pinch) {
            startDx = Math.abs(pinch.startPoint1.x - pinch.startPoint2.x)
            startDy = Math.abs(pinch.startPoint1.y - pinch.startPoint2.y)
            startSpeedIdx = ecgView.ui.ecgSpeedIdx
            startGainIdx = ecgView.ui.ecgGainIdx
        }
        onPinchUpdated: function(pinch) {
            var dx = Math.abs(pinch.point1.x - pinch.point2.x)
            var dy = Math.abs(pinch.point1.y - pinch.point2.y)
            if (dx > 50 && startDx > 0) {
                var s = ecgView.pinchChoice(ecgView.defs.modelEcgSpeedValues, startSpeedIdx, dx / startDx)
                if (s !== ecgView.ui.ecgSpeedIdx) {
                    ecgView.ui.ecgSpeedIdx = s
                    ecgView.sendViewerParams()
                }
            }
            if (dy > 50 && startDy > 0) {
                var g = ecgView.pinchChoice(ecgView.defs.modelEcgGainValues, startGainIdx, dy / startDy)
                if (g !== ecgView.ui.ecgGainIdx) {
                    ecgView.ui.ecgGainIdx = g
                    ecgView.sendViewerParams()
                }
            }
        }

        Flickable {
            id: horizontalFlickable
            anchors.fill: parent
            contentHeight: height
            flickableDirection: Flickable.HorizontalFlick
            boundsBehavior: Flickable.StopAtBounds
            interactive: ecgView.showsRecording
            clip: true

            onContentXChanged: if (ecgView.showsRecording) ecgView.qmlRefreshEcgData()

            ScrollBar.horizontal: ScrollBar {
                policy: ecgView.showsRecording ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                contentItem: Rectangle {
                    implicitHeight: 6
                    radius: 3
                    color: "#C0C0C0"
                }
            }

            MouseArea {
                width: horizontalFlickable.contentWidth
                height: horizontalFlickable.height
                acceptedButtons: Qt.LeftButton | Qt.RightButton
                onClicked: function(mouse) {
                    if (mouse.button === Qt.RightButton) {
                        cQmlInterface.deleteBookmark()
                    } else if (ecgView.ui.displayState === 0) {
                        cQmlInterface.setBookmark(horizontalFlickable.contentX, mouse.x)
                    } else {
                        return
                    }
                    ecgView.qmlRefreshEcgData()
                }
            }
        }
    }

    // The box hugs the figures, not the font's full line, so that it hides
    // as little of the first trace as it can.
    Rectangle {
        id: heartRateBox
        objectName: "heartRateBox"
        x: 10 * ecgView.mmX
        y: 10 * ecgView.mmY
        width: rateUnit.x + rateUnit.width + padding
        height: figures.tightBoundingRect.height + 2 * padding
        color: Qt.rgba(1, 1, 1, 0.75)
        // Without a link no rate arrives: no empty "BPM" is left standing.
        visible: (ecgView.ui.displayState === 1 || ecgView.ui.displayState === 2) && ecgView.ui.showBeatsPerMinute
                 && ecgView.ui.isBtConnected
        readonly property real padding: 2

        TextMetrics {
            id: figures
            font: rate.font
            text: "0123456789"
        }
        Text {
            id: rate
            x: heartRateBox.padding
            // The figures' tops one padding below the box's top.
            y: heartRateBox.padding - baselineOffset - figures.tightBoundingRect.y
            text: ecgView.ui.beatsPerMinuteLabel
            font.pixelSize: ecgView.defs.fontSizeHeartRate
        }
        Text {
            id: rateUnit
            anchors.left: rate.right
            anchors.leftMargin: 4
            anchors.baseline: rate.baseline
            text: "BPM"
            font.pixelSize: ecgView.defs.fontSizeNormal
        }
    }

    Column {
        id: connectionHint
        anchors.centerIn: parent
        spacing: 8
        // Only the live view connects: a shown recording, also one waiting
        // for its patient, needs no device.
        visible: ecgView.ui.isStreamingView && !ecgView.showsRecording && !ecgView.ui.isBtConnected
        readonly property bool noDevice: ecgView.ui.inputDescriptiveName === "" || ecgView.ui.inputDescriptiveName === "---"
        // The stream is stopped (a search for devices stopped it): nothing
        // is being attempted, and the user may start it again.
        readonly property bool stopped: !ecgView.ui.streamRefreshTimerRunning && ecgView.ui.itsaRetry !== 1
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            font.pixelSize: 18
            text: ecgView.ui.itsaRetry === 1 ? "Connection Failed"
                  : connectionHint.noDevice ? "No Malvorant device selected"
                  : connectionHint.stopped ? "Not connected" : "Attempting Connection..."
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: ecgView.ui.itsaRetry === 1
            font.pixelSize: 13
            text: "(Make sure your Malvorant device is on)"
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: ecgView.ui.itsaRetry === 1 || (connectionHint.stopped && !connectionHint.noDevice)
            font.pixelSize: 13
            font.underline: true
            color: "#3b5e61"
            text: "Retry Connection"
            MouseArea {
                anchors.fill: parent
                onClicked: cQmlInterface.streamStartStop(true)
            }
        }
    }

    Timer {
        id: streamRefreshTimer
        interval: 50
        repeat: true
        running: ecgView.ui.streamRefreshTimerRunning
        onTriggered: {
            cQmlInterface.updateStreamedEcg(ecg0, ecg1, ecg2, ecg3, ecg4, ecg5, cursor, errorBars, markerBars)
            if (ecgView.ui.displayState === 2)
                ecgView.ui.recordingTime10th = Math.round((new Date().getTime() - ecgView.ui.startTime) / 100)
        }
    }

    MadeOnUse {
        id: updateDialogBox
        owner: ecgView
        dialog: Dialog {
            title: "New update"
            anchors.centerIn: parent
            modal: true
            standardButtons: Dialog.Yes | Dialog.No
            Label {
                text: "A new version of Malvorant is available.\nDo you want to install it now?"
            }
            onAccepted: cQmlInterface.doUpdate(true)
            onRejected: cQmlInterface.doUpdate(false)
        }
    }

    MadeOnUse {
        id: noUpdatesBox
        owner: ecgView
        dialog: Dialog {
            title: "No updates"
            anchors.centerIn: parent
            modal: true
            standardButtons: Dialog.Ok
            Label {
                text: "No updates available"
            }
        }
    }

    MadeOnUse {
        id: updateFailedNote
        owner: ecgView
        dialog: AlertDialog {
            defs: ecgView.defs
            title: "Update failed"
            text: "The installer could not be started. Malvorant keeps running."
        }
    }

    Component.onCompleted: {
        cQmlInterface.setEcgChartObject(ecgView)
        cQmlInterface.setHorizontalFlickableObject(horizontalFlickable)
        if (width > 0 && height > 0)
            cQmlInterface.setSize(width, height)
    }
}
