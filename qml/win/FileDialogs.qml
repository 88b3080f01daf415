import QtQuick
import QtQuick.Dialogs
import Qt.labs.platform as Platform

// The import dialog: a recording file, as data file or as DICOM file.
Item {
    id: dialogs

    function openImport() {
        importDialog.open();
    }

    FileDialog {
        id: importDialog
        objectName: "importDialog"
        title: "Import ECG"
        fileMode: FileDialog.OpenFile
        currentFolder: Platform.StandardPaths.writableLocation(Platform.StandardPaths.HomeLocation)
        nameFilters: ["Malvorant ECG files (*.ecg)", "Dicom files (*.dce *.dcm)"]
        onAccepted: {
            cQmlInterface.postLogMessage("import of " + importDialog.selectedFile);
            if (importDialog.selectedNameFilter.index === 1)
                cQmlInterface.importDcm(importDialog.selectedFile.toString());
            else
                cQmlInterface.importEcg(importDialog.selectedFile.toString());
        }
    }
}
