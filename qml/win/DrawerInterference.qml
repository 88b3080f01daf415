import QtQuick

WarningDrawer {
    title: "ECG Interference"
    text: "The signal shows interference. Tap ? for help."
    onClosedByUser: cQmlInterface.onCloseInterferenceDrawer()
}
