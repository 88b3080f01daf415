pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The settings, one accordion section per subject.
ViewFrame {
    id: view

    required property UiData ui
    required property var pickerModel

    // Written by the bridge.
    property string initializerQvlUserName: ""
    property string initializerQvlUserPwd: ""
    property string initializerQvlUrl: ""
    property int initializerQvlAccountVerified: 0
    // Why the account is not verified: 0 not checked in this run, 1 checking,
    // 2 fields missing, 3 credentials refused, 4 unreachable, 5 clock, 6 refused.
    property int initializerQvlAccountProblem: 0
    property int initializerPowerIs60Hz: 0
    property int initializerRecordingSeconds: 30
    property int initializerWeightUnitIsPound: 0
    property string initializerDcmLocalAe: ""
    property int initializerDcmLocalPort: 0
    property string initializerDcmMwlAe: ""
    property string initializerDcmMwlIp: ""
    property int initializerDcmMwlPort: 0
    property string initializerDcmPacsAe: ""
    property string initializerDcmPacsIp: ""
    property int initializerDcmPacsPort: 0
    property string initializerDcmInstName: ""
    property string initializerDcmLocalIpAddress: ""
    // Each DICOM server's last connection test: 0 not configured, 1 passed,
    // 2 running, 3 failed, with its line.
    property int dcmMwlTestState: 0
    property string dcmMwlTestText: ""
    property int dcmPacsTestState: 0
    property string dcmPacsTestText: ""

    signal qmlStreamsRetrieved(int maxIdx, int currentIdx)
    signal pageRequested(url url, string title)

    // 0 telemedicine, 1 Bluetooth, 2 recording time, 3 mains, 4 weight unit,
    // 5 species, 6 quality indicator, 7 DICOM, 8 about; -1 none.
    property int openedAccordion: -1
    readonly property var recordingSecondsChoices: [30, 60]

    title: "Malvorant Settings"
    visible: false

    function reloadDevices() {
        // Taken again after the query: the model serves lists of other columns too.
        devices.model = null;
        pickerModel.setBoundQuery("SELECT idx, device, '' as supplementalData FROM discoveryTable "
                                  + "where source=0 order by idx asc", []);
        devices.model = pickerModel;
    }

    // The list row of a device by its idx (the position the search gave
    // it); -1 when it is not listed.
    function deviceRow(idx) {
        const idxRole = Qt.UserRole + 1; // column 0 of the device query
        for (let row = 0; row < pickerModel.rowCount(); ++row) {
            if (Number(pickerModel.data(pickerModel.index(row, 0), idxRole)) === idx)
                return row;
        }
        return -1;
    }

    // While a recording runs or waits for its patient, nothing here may stop
    // or restart the stream.
    readonly property bool deviceLocked: ui.displayState === 2 || ui.displayState === 4

    function restartStream() {
        cQmlInterface.streamStartStop(false);
        cQmlInterface.streamStartStop(true);
    }

    function saveUnclassified() {
        cQmlInterface.updateUnclassifiedSettings(mains.currentIndex === 1,
                                                 recordingSecondsChoices[Math.max(0, recordingTime.currentIndex)],
                                                 weightUnit.currentIndex === 1);
    }

    function resetQvlFields() {
        qvlUser.text = initializerQvlUserName;
        qvlPwd.text = initializerQvlUserPwd;
        qvlUrl.text = initializerQvlUrl;
        // Long values show from their start.
        qvlUser.cursorPosition = 0;
        qvlUrl.cursorPosition = 0;
    }

    function qvlAccountSummary() {
        if (initializerQvlAccountProblem === 1)
            return "Checking\u2026";
        return initializerQvlAccountVerified === 1 ? "Verified" : "Not verified";
    }

    function qvlAccountText() {
        if (initializerQvlAccountProblem === 1)
            return "Checking the account with Quorvale\u2026";
        if (initializerQvlAccountVerified === 1)
            return "Account verified.";
        switch (initializerQvlAccountProblem) {
        case 2: return "Not verified: fill in user name, password and URL.";
        case 3: return "Not verified: user name or password refused. Correct them and save again.";
        case 4: return "Not verified: service unreachable. Check the URL and the network, then save again.";
        case 5: return "Not verified: this computer's clock is out of step. Correct the date and time, then save again.";
        case 6: return "Not verified: the service refused the check. Save again later.";
        default: return "Not verified. Save to check the account.";
        }
    }

    function resetDcmFields() {
        localAe.text = initializerDcmLocalAe;
        localPort.text = initializerDcmLocalPort > 0 ? String(initializerDcmLocalPort) : "";
        instName.text = initializerDcmInstName;
        mwlAe.text = initializerDcmMwlAe;
        mwlIp.text = initializerDcmMwlIp;
        mwlPort.text = initializerDcmMwlPort > 0 ? String(initializerDcmMwlPort) : "";
        pacsAe.text = initializerDcmPacsAe;
        pacsIp.text = initializerDcmPacsIp;
        pacsPort.text = initializerDcmPacsPort > 0 ? String(initializerDcmPacsPort) : "";
    }

    function updateIndicator(on) {
        ui.showIndicatorHints = on;
        cQmlInterface.updateViewerParams(defs.modelEcgModeValues[ui.ecgDisplayModeIdx],
                                         defs.modelEcgGainValues[ui.ecgGainIdx],
                                         defs.modelEcgSpeedValues[ui.ecgSpeedIdx],
                                         ui.powerFilterActive, ui.artifactFilterActive,
                                         ui.showHeartRateActive, ui.playHeartBeatActive,
                                         ui.showIndicatorHints);
    }

    function loadFromInitializers() {
        resetQvlFields();
        resetDcmFields();
        mains.currentIndex = initializerPowerIs60Hz !== 0 ? 1 : 0;
        // The first offered length decides: anything else is the second.
        recordingTime.currentIndex = initializerRecordingSeconds === recordingSecondsChoices[0] ? 0 : 1;
        weightUnit.currentIndex = initializerWeightUnitIsPound !== 0 ? 1 : 0;
    }

    onQmlStreamsRetrieved: (maxIdx, currentIdx) => {
        reloadDevices();
        devices.currentIndex = currentIdx >= 0 ? deviceRow(currentIdx) : -1;
    }
    onVisibleChanged: {
        if (!visible)
            return;
        cQmlInterface.getCurrentIpAddress();
        cQmlInterface.setSettingsDrawerObject(view);
        loadFromInitializers();
        reloadDevices();
    }
    onCloseRequested: visible = false

    Component.onCompleted: {
        cQmlInterface.setSettingsDrawerObject(view);
        loadFromInitializers();
    }

    component SettingLabel: Label {
        required property UiDefs defs
        Layout.minimumWidth: 90
        color: defs.colorText
        font.family: defs.commonFont
        font.pointSize: defs.fontSizeNormal
    }
    component SettingField: TextField {
        required property UiDefs defs
        Layout.preferredWidth: 240
        selectByMouse: true
        font.family: defs.commonFont
        font.pointSize: defs.fontSizeNormal
    }
    component AboutText: Label {
        required property UiDefs defs
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        color: defs.colorText
        font.family: defs.commonFont
        font.pointSize: defs.fontSizeNormal
    }
    component TestLine: Label {
        required property UiDefs defs
        required property int testState
        Layout.columnSpan: 2
        Layout.preferredWidth: 340
        Layout.topMargin: 4
        wrapMode: Text.Wrap
        font.family: defs.commonFont
        font.pointSize: defs.fontSizeNormal
        color: testState === 3 ? defs.colorRecording : testState === 1 ? defs.colorAccent : defs.colorTextDim
    }
    component Heading: Label {
        required property UiDefs defs
        Layout.columnSpan: 2
        Layout.topMargin: 6
        color: defs.colorAccent
        font.family: defs.commonFont
        font.pointSize: defs.fontSizeNormal
        font.bold: true
    }

    ScrollView {
        id: scroll
        anchors.fill: parent
        anchors.topMargin: 8
        contentWidth: availableWidth

        ColumnLayout {
            width: scroll.availableWidth
            spacing: 0

            AccordionSection {
                defs: view.defs
                index: 0
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "Telemedicine"
                summary: view.qvlAccountSummary()
                GridLayout {
                    columns: 2
                    columnSpacing: 16
                    SettingLabel { defs: view.defs; text: "Quorvale User Name *" }
                    SettingField { defs: view.defs; id: qvlUser; objectName: "qvlUser"; Layout.preferredWidth: 440 }
                    SettingLabel { defs: view.defs; text: "Quorvale Password *" }
                    SettingField { defs: view.defs; id: qvlPwd; objectName: "qvlPwd"; echoMode: TextInput.Password; Layout.preferredWidth: 440 }
                    SettingLabel { defs: view.defs; text: "Quorvale URL *" }
                    SettingField { defs: view.defs; id: qvlUrl; objectName: "qvlUrl"; Layout.preferredWidth: 440 }
                }
                RowLayout {
                    spacing: 12
                    Button {
                        objectName: "qvlSave"
                        text: "Save"
                        highlighted: true
                        onClicked: cQmlInterface.updateQvlSettings(qvlUser.text, qvlPwd.text, qvlUrl.text)
                    }
                    Button { text: "Cancel"; onClicked: view.resetQvlFields() }
                }
                Label {
                    objectName: "qvlAccountState"
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    text: view.qvlAccountText()
                    color: view.initializerQvlAccountProblem === 1 ? view.defs.colorText
                         : view.initializerQvlAccountVerified === 1 ? view.defs.colorAccent
                         : view.initializerQvlAccountProblem >= 2 ? view.defs.colorErrorBar
                         : view.defs.colorText
                    font.family: view.defs.commonFont
                    font.pointSize: view.defs.fontSizeNormal
                }
            }

            AccordionSection {
                defs: view.defs
                index: 1
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "Bluetooth"
                summary: view.ui.inputDescriptiveName
                Label {
                    objectName: "deviceLockedNote"
                    Layout.fillWidth: true
                    visible: view.deviceLocked
                    wrapMode: Text.Wrap
                    text: view.ui.displayState === 2
                          ? "A recording is running. The device can be changed or searched for when it has ended."
                          : "The new recording has no patient yet. The device can be changed or searched for once it is saved or discarded."
                    color: view.defs.colorTextDim
                    font.family: view.defs.commonFont
                    font.pointSize: view.defs.fontSizeNormal
                }
                RowLayout {
                    spacing: 12
                    enabled: !view.deviceLocked
                    Button {
                        objectName: "deviceRefresh"
                        text: "Refresh"
                        onClicked: {
                            cQmlInterface.stopRefreshInputList(0);
                            cQmlInterface.streamStartStop(false);
                            cQmlInterface.refreshInputList(0);
                        }
                    }
                    Label {
                        objectName: "deviceRetry"
                        text: "<a href=\"retry\">Retry Connection</a>"
                        textFormat: Text.RichText
                        opacity: enabled ? 1 : 0.4
                        font.family: view.defs.linkFont
                        font.pointSize: view.defs.fontSizeNormal
                        onLinkActivated: view.restartStream()
                    }
                }
                Label {
                    visible: devices.count === 0
                    text: "No Connections Available"
                    color: view.defs.colorTextDim
                    font.family: view.defs.commonFont
                    font.pointSize: view.defs.fontSizeNormal
                }
                ListView {
                    id: devices
                    objectName: "deviceList"
                    enabled: !view.deviceLocked
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.min(count, 5) * 44
                    interactive: count > 5
                    clip: true
                    currentIndex: -1
                    delegate: RadioDelegate {
                        id: device
                        required property int index
                        required property var model
                        width: ListView.view.width
                        height: 44
                        text: String(device.model.device ?? "")
                        checked: ListView.isCurrentItem
                        onClicked: {
                            devices.currentIndex = device.index;
                            cQmlInterface.setInputType(0);
                            cQmlInterface.stopRefreshInputList(0);
                            cQmlInterface.setInputChannel(0, Number(device.model.idx));
                            view.restartStream();
                        }
                    }
                }
            }

            AccordionSection {
                defs: view.defs
                index: 2
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "Recording Time"
                ChoiceList {
                    id: recordingTime
                    defs: view.defs
                    horizontal: true
                    model: ["30 sec", "60 sec"]
                    onChosen: (i) => {
                        recordingTime.currentIndex = i;
                        view.saveUnclassified();
                    }
                }
            }

            AccordionSection {
                defs: view.defs
                index: 3
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "Mains Frequency"
                ChoiceList {
                    id: mains
                    defs: view.defs
                    horizontal: true
                    model: ["50 Hz", "60 Hz"]
                    onChosen: (i) => {
                        mains.currentIndex = i;
                        view.saveUnclassified();
                    }
                }
            }

            AccordionSection {
                defs: view.defs
                index: 4
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "Weight Unit"
                ChoiceList {
                    id: weightUnit
                    defs: view.defs
                    horizontal: true
                    model: ["Kg", "Lb"]
                    onChosen: (i) => {
                        weightUnit.currentIndex = i;
                        view.saveUnclassified();
                    }
                }
            }

            AccordionSection {
                objectName: "speciesSection"
                defs: view.defs
                index: 5
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "Species"
                ChoiceList {
                    id: species
                    objectName: "speciesChoice"
                    defs: view.defs
                    horizontal: true
                    model: view.defs.speciesSelection
                    currentIndex: view.ui.selectedSpecies
                    onChosen: (i) => {
                        if (i === 0)
                            cQmlInterface.setFirstUpdate(true);
                        cQmlInterface.setSpeciesPicker(i);
                    }
                }
            }

            AccordionSection {
                defs: view.defs
                index: 6
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "Quality Indicator"
                Switch {
                    text: "Show signal quality hints"
                    checked: view.ui.showIndicatorHints
                    font.family: view.defs.commonFont
                    font.pointSize: view.defs.fontSizeNormal
                    onToggled: view.updateIndicator(checked)
                }
            }

            AccordionSection {
                defs: view.defs
                index: 7
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "DICOM"
                // The three groups side by side where the window is wide
                // enough, else the next one under them.
                Flow {
                    Layout.fillWidth: true
                    spacing: 40
                    GridLayout {
                        columns: 2
                        columnSpacing: 12
                        Heading { defs: view.defs; text: "Local Settings" }
                        SettingLabel { defs: view.defs; text: "AE Title" }
                        SettingField { defs: view.defs; id: localAe; objectName: "dcmLocalAe" }
                        SettingLabel { defs: view.defs; text: "IP Address" }
                        Label {
                            Layout.preferredWidth: 240
                            text: view.initializerDcmLocalIpAddress
                            elide: Text.ElideRight
                            font.family: view.defs.commonFont
                            font.pointSize: view.defs.fontSizeNormal
                        }
                        SettingLabel { defs: view.defs; text: "Port" }
                        SettingField { defs: view.defs; id: localPort; objectName: "dcmLocalPort"; inputMethodHints: Qt.ImhDigitsOnly }
                        SettingLabel { defs: view.defs; text: "Institution" }
                        SettingField { defs: view.defs; id: instName; objectName: "dcmInstName" }
                    }
                    GridLayout {
                        columns: 2
                        columnSpacing: 12
                        Heading { defs: view.defs; text: "Worklist Server Settings" }
                        SettingLabel { defs: view.defs; text: "AE Title" }
                        SettingField { defs: view.defs; id: mwlAe; objectName: "dcmMwlAe" }
                        SettingLabel { defs: view.defs; text: "IP Address" }
                        SettingField { defs: view.defs; id: mwlIp; objectName: "dcmMwlIp" }
                        SettingLabel { defs: view.defs; text: "Port" }
                        SettingField { defs: view.defs; id: mwlPort; objectName: "dcmMwlPort"; inputMethodHints: Qt.ImhDigitsOnly }
                        TestLine {
                            objectName: "dcmMwlTestLine"
                            defs: view.defs
                            testState: view.dcmMwlTestState
                            text: view.dcmMwlTestText
                        }
                    }
                    GridLayout {
                        columns: 2
                        columnSpacing: 12
                        Heading { defs: view.defs; text: "Destination Server Settings" }
                        SettingLabel { defs: view.defs; text: "AE Title" }
                        SettingField { defs: view.defs; id: pacsAe; objectName: "dcmPacsAe" }
                        SettingLabel { defs: view.defs; text: "IP Address" }
                        SettingField { defs: view.defs; id: pacsIp; objectName: "dcmPacsIp" }
                        SettingLabel { defs: view.defs; text: "Port" }
                        SettingField { defs: view.defs; id: pacsPort; objectName: "dcmPacsPort"; inputMethodHints: Qt.ImhDigitsOnly }
                        TestLine {
                            objectName: "dcmPacsTestLine"
                            defs: view.defs
                            testState: view.dcmPacsTestState
                            text: view.dcmPacsTestText
                        }
                    }
                }
                RowLayout {
                    spacing: 12
                    Button {
                        objectName: "dcmSave"
                        text: "Save"
                        highlighted: true
                        onClicked: {
                            cQmlInterface.updateDcmSettingsGeneral(localAe.text, localPort.text, instName.text);
                            cQmlInterface.updateDcmSettingsPacs(pacsAe.text, pacsIp.text, pacsPort.text);
                            cQmlInterface.updateDcmSettingsMwl(mwlAe.text, mwlIp.text, mwlPort.text);
                        }
                    }
                    Button { text: "Cancel"; onClicked: view.resetDcmFields() }
                }
            }

            AccordionSection {
                defs: view.defs
                index: 8
                openedIndex: view.openedAccordion
                onToggled: (i) => view.openedAccordion = i
                title: "About"
                AboutText { defs: view.defs; text: view.defs.productName + " Version " + view.defs.versionStr + ", build " + view.defs.buildStr }
                AboutText { defs: view.defs; text: "Electrocardiography for veterinary practices: live ECG, recordings, reports, telemedicine and DICOM." }
                AboutText { defs: view.defs; text: "Made by Yarlo for veterinarians and their patients." }
                AboutText { defs: view.defs; text: "This software uses the DCMTK toolkit, licensed by OFFIS e.V., Oldenburg, Germany." }
                AboutText {
                    defs: view.defs
                    textFormat: Text.RichText
                    text: "<a href=\"tuc\">Malvorant Terms of Use</a> &nbsp; <a href=\"privacy\">Malvorant Privacy Policy</a>"
                    onLinkActivated: (link) => link === "tuc"
                        ? view.pageRequested("qrc:/qml/win/html/tuc.html", "Malvorant Terms of Use")
                        : view.pageRequested("qrc:/qml/win/html/privacy.html", "Malvorant Privacy Policy")
                }
                Button {
                    text: "Check for update"
                    onClicked: cQmlInterface.onCheckUpdate(true)
                }
            }
        }
    }
}
