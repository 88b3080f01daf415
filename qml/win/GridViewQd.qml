import QtQuick
import QtCharts

// The millimetre paper behind the ECG: three rasters that the bridge draws
// as one polyline each on a 200 x 100 mm sheet mapped onto axes 0..1.
Item {
    id: gridView

    required property UiDefs defs
    required property UiData ui

    // Grid "none" draws nothing: the chart is left out of every frame. A
    // shown recording (state 0, or 4 waiting for its patient) lies on its
    // paper whatever the device does; the live view only while connected.
    visible: gridView.ui.ecgGridIdx !== 3
             && (gridView.ui.displayState === 0 || gridView.ui.displayState === 4
                 || (gridView.ui.isBtConnected && gridView.ui.isStreamingView))
    // The raster changes only with the grid index and the size: drawn once
    // into a texture, not again for every frame of the trace above it.
    layer.enabled: true

    // Invoked by the bridge: draw the raster of grid index 0 fine, 1 medium,
    // 2 coarse, 3 none.
    signal qmlInitGrid(int gridIdx)

    onQmlInitGrid: (gridIdx) => gridView.chooseGrid(gridIdx)

    function chooseGrid(gridIdx) {
        const chartBefore = gridChart.item;
        gridView.ui.ecgGridIdx = gridIdx; // makes or drops the chart
        // A chart made just now has drawn itself; without one only the choice is kept.
        if (!gridChart.item || gridChart.item === chartBefore)
            gridView.drawGrid(gridIdx);
    }

    function drawGrid(gridIdx) {
        const chart = gridChart.item;
        cQmlInterface.initGrid(gridIdx, chart ? chart.fine : null, chart ? chart.medium : null,
                               chart ? chart.coarse : null);
    }

    // A chart view keeps its scene, images and buffers even while hidden: it
    // exists only while a grid is chosen.
    Loader {
        id: gridChart
        anchors.fill: parent
        active: gridView.ui.ecgGridIdx !== 3
        sourceComponent: gridChartComponent
        onLoaded: gridView.drawGrid(gridView.ui.ecgGridIdx)
    }

    Component {
        id: gridChartComponent

        ChartView {
            readonly property LineSeries fine: gridFine
            readonly property LineSeries medium: gridMed
            readonly property LineSeries coarse: gridCoarse

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
    }

    Component.onCompleted: cQmlInterface.setGridChartObject(gridView)
}
