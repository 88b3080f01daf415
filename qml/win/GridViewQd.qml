import QtQuick
import QtCharts

// The millimetre paper behind the ECG: three rasters that the bridge draws
// as one polyline each on a 200 x 100 mm sheet mapped onto axes 0..1.
Item {
    id: gridView

    required property UiDefs defs
    required property UiData ui

    // Grid "none" draws nothing: the chart is left out of every frame.
    visible: gridView.ui.ecgGridIdx !== 3
             && ((gridView.ui.isBtConnected && gridView.ui.isStreamingView) || gridView.ui.displayState === 0)
    // The raster changes only with the grid index and the size: drawn once
    // into a texture, not again for every frame of the trace above it.
    layer.enabled: true

    // Invoked by the bridge: draw the raster of grid index 0 fine, 1 medium,
    // 2 coarse, 3 none.
    signal qmlInitGrid(int gridIdx)

    onQmlInitGrid: (gridIdx) => { gridView.ui.ecgGridIdx = gridIdx; cQmlInterface.initGrid(gridIdx, gridFine, gridMed, gridCoarse); }

    ChartView {
        id: gridChart
        anchors.fill: parent
        // The sheet covers the whole item, exactly as in the ECG chart above it.
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
        antialiasing: false

        ValueAxis {
            id: gridAxisX
            min: 0
            max: 1
            visible: false
        }
        ValueAxis {
            id: gridAxisY
            min: 0
            max: 1
            visible: false
        }

        LineSeries {
            id: gridFine
            name: "grid fine"
            axisX: gridAxisX
            axisY: gridAxisY
            useOpenGL: true
            width: 1
            color: "#e6e8ea"
        }
        LineSeries {
            id: gridMed
            name: "grid med"
            axisX: gridAxisX
            axisY: gridAxisY
            useOpenGL: true
            width: 1
            color: "#cccfd1"
        }
        LineSeries {
            id: gridCoarse
            name: "grid coarse"
            axisX: gridAxisX
            axisY: gridAxisY
            useOpenGL: true
            width: 1
            color: "#97999b"
        }
    }

    Component.onCompleted: cQmlInterface.setGridChartObject(gridView)
}
