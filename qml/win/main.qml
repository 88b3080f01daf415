pragma ComponentBehavior: Bound
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
    // Invoked by the bridge before it talks to a view not yet built.
    signal qmlLoadView(string name)

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
        cQmlInterface.postLogMessage("view opened: " + name);
        var loader = viewLoaders[name];
        loader.load();
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

    onQmlLoadView: name => {
        var loader = viewLoaders[name];
        if (loader)
            loader.load();
        else if (screensOnDemand[name])
            screensOnDemand[name]();
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

    // The window's own colour is the background: cleared, not drawn, every frame.
    color: uiDefs.colorBackground

    TopHeader {
        id: topHeader
        z: 10
        defs: uiDefs
        ui: uiData
        viewOpen: mainWindow.anyViewVisible
        onMenuRequested: mainWindow.openMenu()
        onViewRequested: (name) => mainWindow.openView(name)
        onImportRequested: {
            fileDialogsLoader.active = true;
            (fileDialogsLoader.item as FileDialogs).openImport();
        }
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

    // The in-application browser (a web view) costs its engine: it loads on first use.
    Loader {
        id: browserLoader
        z: 31
    }

    // The full views; their screens load on first use.
    component ViewLoader: Loader {
        property url url
        property var initial: ({})
        readonly property bool shown: status === Loader.Ready && item !== null && (item as Item).visible
        function load() {
            if (status !== Loader.Ready)
                setSource(url, initial);
        }
        z: 40
        anchors.fill: parent
    }

    ViewLoader {
        id: patientsLoader
        url: "ViewerPatients.qml"
        initial: ({defs: uiDefs, ui: uiData, listModel: dataModel1, pickerModel: dataModel2})
    }
    ViewLoader {
        id: recordingsLoader
        url: "ViewerEcgList.qml"
        initial: ({defs: uiDefs, ui: uiData, listModel: dataModel1})
    }
    ViewLoader {
        id: settingsLoader
        url: "ViewerSettings.qml"
        initial: ({defs: uiDefs, ui: uiData, pickerModel: dataModel2})
        onLoaded: (item as ViewerSettings).pageRequested.connect(mainWindow.openBrowser)
    }
    ViewLoader {
        id: toolsLoader
        url: "ToolsSettings.qml"
        initial: ({defs: uiDefs, ui: uiData})
        onLoaded: {
            var tools = item as ToolsSettings;
            tools.gridRequested.connect(gridView.qmlInitGrid);
            tools.pdfRequested.connect(() => mainWindow.openFolderDialog("pdf"));
        }
    }
    ViewLoader {
        id: exportLoader
        url: "ViewerExport.qml"
        initial: ({defs: uiDefs, ui: uiData})
        onLoaded: (item as ViewerExport).folderRequested.connect(mainWindow.openFolderDialog)
    }

    // File and folder dialogs of import, export and the PDF report.
    Loader {
        id: fileDialogsLoader
        active: false
        source: "FileDialogs.qml"
    }
    Loader {
        id: folderDialogLoader
    }

    function openFolderDialog(mode) {
        if (folderDialogLoader.status === Loader.Null)
            folderDialogLoader.setSource("FileDialogsExport.qml", { "defs": uiDefs });
        (folderDialogLoader.item as FileDialogsExport).openFolder(mode);
    }

    // The menu, the warning drawers, the help and about boxes, the terms and
    // the patient confirmation are not part of the live view: each is made
    // from its file when first opened, by the user or (the last two) by the
    // bridge, so that not even its type is loaded before.
    function openAbout() { aboutBox.open(); }
    function openMenu() { menuBox.open(); }
    MadeOnUse {
        id: aboutBox
        owner: mainWindow
        file: "AboutDialog.qml"
        initial: ({ "defs": uiDefs, "z": 45 })
    }
    MadeOnUse {
        id: menuBox
        owner: mainWindow
        file: "LeftDrawer.qml"
        initial: ({ "defs": uiDefs, "z": 30 })
        onCreated: drawer => {
            drawer.height = Qt.binding(() => mainWindow.height);
            drawer.aboutRequested.connect(mainWindow.openAbout);
            drawer.pageRequested.connect((url, title) => mainWindow.openBrowser(url, title, false));
        }
    }
    // The live signal warnings at the right edge, between the top area and
    // the bottom bar, and their help boxes.
    function placeWarning(drawer, help: MadeOnUse) {
        drawer.y = Qt.binding(() => topHeader.height + topArea.height);
        drawer.height = Qt.binding(() => mainWindow.height - topHeader.height - topArea.height
                                   - bottomArea.height);
        drawer.helpRequested.connect(() => help.open());
    }
    MadeOnUse {
        id: interferenceWarning
        owner: mainWindow
        file: "DrawerInterference.qml"
        initial: ({ "defs": uiDefs, "z": 31 })
        onCreated: drawer => mainWindow.placeWarning(drawer, interferenceHelp)
    }
    MadeOnUse {
        id: interferenceHelp
        owner: mainWindow
        file: "InterferenceDialog.qml"
        initial: ({ "defs": uiDefs, "z": 46 })
    }
    MadeOnUse {
        id: leadWarning
        owner: mainWindow
        file: "DrawerLeadWarning.qml"
        initial: ({ "defs": uiDefs, "z": 32 })
        onCreated: drawer => mainWindow.placeWarning(drawer, leadHelp)
    }
    MadeOnUse {
        id: leadHelp
        owner: mainWindow
        file: "LeadPlacement.qml"
        initial: ({ "defs": uiDefs, "z": 46 })
    }
    Connections {
        target: bottomArea
        function onQmlInterferenceWarning() { interferenceWarning.open(); }
        function onQmlInterferenceWarningClose() { interferenceWarning.close(); }
        function onQmlLeadWarning() { leadWarning.open(); }
        function onQmlLeadWarningClose() { leadWarning.close(); }
    }
    // What the bridge makes before it talks to it.
    readonly property var screensOnDemand: ({
        "patientPopup": () => patientPopupBox.object(),
        "splash": () => splashBox.object()
    })
    MadeOnUse {
        id: patientPopupBox
        owner: mainWindow
        file: "PatientSelectionPopup.qml"
        initial: ({ "defs": uiDefs, "ui": uiData, "z": 45 })
    }
    MadeOnUse {
        id: splashBox
        owner: mainWindow
        file: "SplashScreen.qml"
        initial: ({ "defs": uiDefs, "z": 60 })
        onCreated: splash => {
            splash.anchors.fill = splash.parent;
            splash.pageRequested.connect((url, title) => mainWindow.openBrowser(url, title, false));
        }
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
