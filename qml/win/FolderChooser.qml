pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qt.labs.folderlistmodel

// Chooses the folder a file is written to: the folder the user has opened,
// or one of its folders picked with a click. A double click opens a folder,
// "Up" its parent. The button takes the folder the user is in even when it
// holds nothing.
Dialog {
    id: chooser

    required property UiDefs defs
    // The folder shown; it starts where the dialog is opened.
    property url currentFolder
    // A folder of the shown one picked with one click; empty for none.
    property url selectedFolder
    property string acceptText: "Save"

    readonly property url chosenFolder: chooser.isSet(selectedFolder) ? selectedFolder : currentFolder
    readonly property FolderListModel folders: FolderListModel {
        folder: chooser.currentFolder
        showFiles: false
        showDotAndDotDot: false
        sortCaseSensitive: false
    }

    signal folderChosen(url folder)

    function isSet(folder) {
        return String(folder).length > 0;
    }

    function goInto(folder) {
        selectedFolder = "";
        currentFolder = folder;
    }

    function up() {
        if (isSet(folders.parentFolder))
            goInto(folders.parentFolder);
    }

    // The folder as the user's system writes it (file:///C:/x is C:/x on Windows).
    function displayPath(folder) {
        var local = Qt.platform.os === "windows" ? String(folder).replace(/^file:\/\/\/?/, "")
                                                 : String(folder).replace(/^file:\/\//, "");
        var text = decodeURIComponent(local);
        return text.length > 0 ? text : "/";
    }

    // Over the whole window, whatever item holds the dialog.
    parent: Overlay.overlay
    modal: true
    closePolicy: Popup.CloseOnEscape
    anchors.centerIn: parent
    width: Math.min(640, (parent ? parent.width : 680) - 40)
    height: Math.min(520, (parent ? parent.height : 560) - 40)
    padding: 16
    font.family: defs.commonFont
    font.pointSize: defs.fontSizeDialog + 1

    onAccepted: folderChosen(chosenFolder)

    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#c9d3d4"
    }

    header: ColumnLayout {
        spacing: 8
        Label {
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.topMargin: 16
            text: chooser.title
            font.family: chooser.defs.commonFont
            font.pointSize: chooser.defs.fontSizeAlert + 2
            font.bold: true
            color: chooser.defs.colorText
            elide: Text.ElideRight
        }
        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            spacing: 8
            Button {
                objectName: "folderUp"
                text: "Up"
                enabled: chooser.isSet(chooser.folders.parentFolder)
                onClicked: chooser.up()
            }
            Label {
                objectName: "folderPath"
                Layout.fillWidth: true
                text: chooser.displayPath(chooser.currentFolder)
                elide: Text.ElideMiddle
                color: chooser.defs.colorText
            }
        }
    }

    contentItem: ColumnLayout {
        spacing: 6
        ListView {
            objectName: "folderList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            model: chooser.folders
            delegate: ItemDelegate {
                required property string fileName
                required property url fileUrl
                width: ListView.view.width
                height: 36
                text: fileName
                highlighted: String(chooser.selectedFolder) === String(fileUrl)
                icon.source: chooser.defs.imgFolder
                icon.width: 18
                icon.height: 18
                icon.color: "transparent"
                onClicked: chooser.selectedFolder = highlighted ? "" : fileUrl
                onDoubleClicked: chooser.goInto(fileUrl)
            }
        }
        Label {
            visible: chooser.folders.count === 0
            text: "No folders in this folder"
            color: chooser.defs.colorTextDim
        }
        Label {
            objectName: "folderTarget"
            Layout.fillWidth: true
            text: "Saved in: " + chooser.displayPath(chooser.chosenFolder)
            elide: Text.ElideMiddle
            color: chooser.defs.colorTextDim
        }
    }

    footer: Item {
        implicitHeight: buttons.implicitHeight + 28
        RowLayout {
            id: buttons
            anchors.right: parent.right
            anchors.rightMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            spacing: 12
            Button {
                text: "Cancel"
                onClicked: chooser.reject()
            }
            Button {
                objectName: "folderAccept"
                text: chooser.acceptText
                highlighted: true
                enabled: chooser.isSet(chooser.currentFolder)
                onClicked: chooser.accept()
            }
        }
    }
}
