import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The species of the next recording, asked when streaming starts.
Popup {
    id: selector

    required property UiDefs defs
    required property UiData ui

    readonly property var choices: [
        { label: "Canine", img: defs.imgCanine, tmp: 1, sent: 1 },
        { label: "Feline", img: defs.imgFeline, tmp: 2, sent: 2 },
        { label: "Other", img: defs.imgOtherAnimal, tmp: 3, sent: 0 }
    ]

    // "Other" reaches the analysis as 0: no species preset.
    function choose(index) {
        var choice = choices[index];
        ui.tmpSpecies = choice.tmp;
        cQmlInterface.onRecordSpeciesSelector(choice.sent);
        close();
    }

    modal: true
    anchors.centerIn: Overlay.overlay
    width: 560
    padding: 28
    closePolicy: Popup.NoAutoClose

    background: Rectangle {
        radius: 8
        color: "white"
    }

    contentItem: ColumnLayout {
        spacing: 14
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: "Select Species"
            font.family: selector.defs.commonFont
            font.pointSize: selector.defs.fontSizeSpecies
            font.bold: true
        }
        Label {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: "This selection allows Malvorant the best ECG recording possible."
            font.family: selector.defs.commonFont
            font.pointSize: selector.defs.fontSizeSpeciesSmall
            color: selector.defs.colorTextDim
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 24
            SpeciesButton {
                defs: selector.defs
                text: "Canine"
                image: selector.defs.imgCanine
                onClicked: selector.choose(0)
            }
            SpeciesButton {
                defs: selector.defs
                text: "Feline"
                image: selector.defs.imgFeline
                onClicked: selector.choose(1)
            }
            SpeciesButton {
                defs: selector.defs
                text: "Other"
                image: selector.defs.imgOtherAnimal
                onClicked: selector.choose(2)
            }
        }
    }
}
