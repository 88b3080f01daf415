import QtQuick
import Qt.labs.platform as Platform

// The folder dialog of the exports and of the PDF report; the mode decides
// what the chosen folder is handed to. It opens where it was left, the home
// folder the first time.
Item {
    id: dialogs

    required property UiDefs defs

    // "exportEcg", "exportDcm" or "pdf".
    property string mode: ""

    function openFolder(newMode) {
        mode = newMode;
        folderDialog.title = newMode === "pdf" ? "Save to PDF" : (newMode === "exportDcm" ? "Export Dicom" : "Export ECG");
        folderDialog.acceptText = newMode === "pdf" ? "Save" : "Export";
        folderDialog.selectedFolder = "";
        folderDialog.open();
    }

    FolderChooser {
        id: folderDialog
        objectName: "folderDialog"
        defs: dialogs.defs
        currentFolder: Platform.StandardPaths.writableLocation(Platform.StandardPaths.HomeLocation)
        onFolderChosen: (folder) => {
            cQmlInterface.postLogMessage(dialogs.mode + " into " + folder);
            if (dialogs.mode === "pdf")
                cQmlInterface.saveAsPdf(folder);
            else if (dialogs.mode === "exportDcm")
                cQmlInterface.exportDcm(folder);
            else
                cQmlInterface.exportEcg(folder);
        }
    }
}
