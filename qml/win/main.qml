import QtQuick
import QtQuick.Controls

ApplicationWindow {
    id: mainWindow
    title: "Malvorant"
    width: 1280
    height: 800
    minimumWidth: 1024
    minimumHeight: 768
    visibility: Window.Maximized
    visible: true

    UiData {
        id: uiData
    }
}
