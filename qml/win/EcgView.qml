import QtQuick

// The ECG chart with its horizontal flickable.
Item {
    id: ecgChart

    required property UiDefs defs
    required property UiData ui
    readonly property alias flickable: flick

    // Invoked by the bridge.
    signal qmlInitEcgData()
    signal qmlRefreshEcgData()
    signal qmlHideEcg()
    // A newer installer exists; no newer one was found.
    signal updateDialog()
    signal noUpdates()
    // The installer could not be started; the program goes on.
    signal updateFailed(string message)

    onUpdateDialog: updateQuestion.open()
    onNoUpdates: noUpdatesNote.open()
    onUpdateFailed: (message) => {
        updateFailedNote.informativeText = message;
        updateFailedNote.open();
    }

    Flickable {
        id: flick
        anchors.fill: parent
        contentWidth: width
        contentHeight: height
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        Component.onCompleted: cQmlInterface.setHorizontalFlickableObject(flick)
    }

    AlertDialog {
        id: updateQuestion
        defs: ecgChart.defs
        title: "New update"
        text: "A new version of Malvorant is available.\nDo you want to install it now?"
        acceptText: "Yes"
        rejectText: "No"
        onAccepted: cQmlInterface.doUpdate(true)
        onRejected: cQmlInterface.doUpdate(false)
    }

    AlertDialog {
        id: noUpdatesNote
        defs: ecgChart.defs
        title: "No updates"
        text: "No updates available"
    }

    AlertDialog {
        id: updateFailedNote
        defs: ecgChart.defs
        title: "Update failed"
        text: "The installer could not be started. Malvorant keeps running."
    }

    Component.onCompleted: {
        cQmlInterface.setEcgChartObject(ecgChart);
        cQmlInterface.setSize(width, height);
    }
}
