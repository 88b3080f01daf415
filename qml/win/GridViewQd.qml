import QtQuick

// The grid chart behind the ECG: the millimetre raster.
Item {
    id: gridChart

    required property UiDefs defs
    required property UiData ui

    // Invoked by the bridge: draw the raster of grid index 0 fine, 1 medium,
    // 2 coarse, 3 none.
    signal qmlInitGrid(int gridIdx)

    onQmlInitGrid: (gridIdx) => { ui.ecgGridIdx = gridIdx; }

    Component.onCompleted: cQmlInterface.setGridChartObject(gridChart)
}
