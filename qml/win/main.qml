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

    // Invoked by the bridge: a telemedicine case page to show.
    signal qmlOpenBrowser(url targetUrl, string headline, bool showForwardBackwardButton)

    // The full views, loaded on first use.
    readonly property var viewLoaders: ({
        "patients": patientsLoader, "recordings": recordingsLoader, "settings": settingsLoader,
        "tools": toolsLoader, "export": exportLoader
    })
    readonly property bool anyViewVisible: patientsLoader.shown || recordingsLoader.shown
        || settingsLoader.shown || toolsLoader.shown || exportLoader.shown

    // Every screen loaded on demand gets the constants and the state as its
    // initial properties "defs" and "ui" (declare them required).
    function loadScreen(loader, file) {
        if (loader.status === Loader.Null)
            loader.setSource(file, { "defs": uiDefs, "ui": uiData });
    }

    // Opens a full view when no other is open.
    function openView(name) {
        if (anyViewVisible)
            return false;
        var loader = viewLoaders[name];
        loadScreen(loader, loader.file);
        var view = loader.item as Item;
        if (view)
            view.visible = true;
        return true;
    }

    function openBrowser(targetUrl, headline, showForwardBackwardButton) {
        uiData.browserUrl = targetUrl;
        uiData.browserTitle = headline;
        uiData.browserShowForwardBackwardButton = showForwardBackwardButton;
        loadScreen(browserLoader, "DrawerBrowser.qml");
        var browser = browserLoader.item as DrawerBrowser;
        if (browser)
            browser.open();
    }

    onQmlOpenBrowser: (targetUrl, headline, showForwardBackwardButton) => {
        openBrowser(targetUrl, headline, showForwardBackwardButton);
    }

    UiDefs {
        id: uiDefs
        windowsScaling: uiData.windowsScaling
    }

    UiData {
        id: uiData
        defs: uiDefs
    }

    Rectangle {
        id: background
        z: 1
        anchors.fill: parent
        color: uiDefs.colorBackground
    }

    TopHeader {
        id: topHeader
        z: 10
        defs: uiDefs
        ui: uiData
        viewOpen: mainWindow.anyViewVisible
        onMenuRequested: leftDrawer.open()
        onViewRequested: (name) => mainWindow.openView(name)
        onImportRequested: mainWindow.loadScreen(fileDialogsLoader, "FileDialogs.qml")
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        height: uiDefs.topHeaderHeight
    }

    TopArea {
        id: topArea
        z: 10
        defs: uiDefs
        ui: uiData
        ecgFlickable: ecgView.flickable
        anchors.top: topHeader.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        height: uiDefs.topAreaHeight
    }

    GridViewQd {
        id: gridView
        z: 4
        defs: uiDefs
        ui: uiData
        anchors.top: topArea.bottom
        anchors.bottom: bottomArea.top
        anchors.left: parent.left
        anchors.right: parent.right
    }

    EcgView {
        id: ecgView
        z: 7
        defs: uiDefs
        ui: uiData
        anchors.top: topArea.bottom
        anchors.bottom: bottomArea.top
        anchors.left: parent.left
        anchors.right: parent.right
    }

    BottomArea {
        id: bottomArea
        z: 10
        defs: uiDefs
        ui: uiData
        viewOpen: mainWindow.anyViewVisible
        onPatientViewRequested: mainWindow.openView("patients")
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        height: uiDefs.bottomAreaHeight
    }

    Rectangle {
        id: shader
        z: 25
        anchors.fill: parent
        color: "#80000000"
        visible: uiData.shaderVisible
    }

    LeftDrawer {
        id: leftDrawer
        z: 30
        defs: uiDefs
        height: mainWindow.height
        onAboutRequested: aboutDialog.open()
        onPageRequested: (url, title) => mainWindow.openBrowser(url, title, false)
    }

    // The in-application browser (a web view) costs its engine: it loads on first use.
    Loader {
        id: browserLoader
        z: 31
    }

    // The full views; their screens load on first use.
    component ViewLoader: Loader {
        required property string file
        readonly property bool shown: status === Loader.Ready && item !== null && (item as Item).visible
        z: 40
        anchors.fill: parent
    }

    ViewLoader { id: patientsLoader; file: "ViewerPatients.qml" }
    ViewLoader { id: recordingsLoader; file: "ViewerEcgList.qml" }
    ViewLoader { id: settingsLoader; file: "ViewerSettings.qml" }
    ViewLoader { id: toolsLoader; file: "ToolsSettings.qml" }
    ViewLoader { id: exportLoader; file: "ViewerExport.qml" }

    // File and folder dialogs of import, export and the PDF report.
    Loader {
        id: fileDialogsLoader
    }

    AboutDialog {
        id: aboutDialog
        z: 45
        defs: uiDefs
    }

    SplashScreen {
        id: splashScreen
        z: 60
        defs: uiDefs
        anchors.fill: parent
        onPageRequested: (url, title) => mainWindow.openBrowser(url, title, false)
    }

    BusyIndicator {
        id: busyIndicator
        z: 70
        anchors.centerIn: parent
        width: 30 * uiDefs.pixelsPerMm
        height: width
        running: uiData.busyIndicatorRunning
        visible: running
    }

    Component.onCompleted: cQmlInterface.setMainWindowObject(mainWindow)
}
