import QtQuick
import QtQuick.Dialogs
import Qt.labs.platform as Platform

// The folder dialog of the exports and of the PDF report; the mode decides
// what the chosen folder is handed to.
Item {
    id: dialogs

    // "exportEcg", "exportDcm" or "pdf".
    property string mode: ""

    function openFolder(newMode) {
        mode = newMode;
        folderDialog.title = newMode === "pdf" ? "Save to PDF" : (newMode === "exportDcm" ? "Export Dicom" : "Export ECG");
        folderDialog.open();
    }

    FolderDialog {
        id: folderDialog
        objectName: "folderDialog"
        currentFolder: Platform.StandardPaths.writableLocation(Platform.StandardPaths.HomeLocation)
        onAccepted: {
            if (dialogs.mode === "pdf")
                cQmlInterface.saveAsPdf(folderDialog.selectedFolder);
            else if (dialogs.mode === "exportDcm")
                cQmlInterface.exportDcm(folderDialog.selectedFolder);
            else
                cQmlInterface.exportEcg(folderDialog.selectedFolder);
        }
    }
}
