import QtQuick

// Two screens sharing dataModel1, as the patient and recording viewers do,
// and a picker on dataModel2.
Item {
    id: root
    width: 400
    height: 1200
    property int screen: 0

    function setQuery1(text) { dataModel1.setQuery(text) }
    function setQuery2(text) { dataModel2.setQuery(text) }
    function searchPatients(text) {
        dataModel1.setBoundQuery("SELECT * FROM patientViewQmlKx where patientName like ? or extId like ? "
                                 + "order by patientName COLLATE NOCASE asc, extId asc",
                                 ["%" + text + "%", "%" + text + "%"])
    }
    function texts(list) {
        list.forceLayout()
        var out = []
        for (var i = 0; i < list.count; ++i) {
            var item = list.itemAtIndex(i)
            out.push(item ? item.text : "<not created>")
        }
        return out
    }
    function listTexts() { return loader.item ? texts(loader.item) : ["<no list>"] }
    function pickerTexts() { return texts(picker) }

    Component {
        id: patientList
        ListView {
            model: dataModel1
            delegate: Text { height: 10; text: model.patientName + "/" + model.extId + "/" + model.sex }
        }
    }
    Component {
        id: recordingList
        ListView {
            model: dataModel1
            delegate: Text { height: 10; text: model.patientName + "/" + model.studyDate + "/" + model.fileName }
        }
    }
    Loader {
        id: loader
        width: 200
        height: 600
        sourceComponent: root.screen === 0 ? patientList : recordingList
    }
    ListView {
        id: picker
        y: 600
        width: 200
        height: 600
        model: dataModel2
        delegate: Text { height: 10; text: model.dataText + ":" + model.supplementalData }
    }
}
