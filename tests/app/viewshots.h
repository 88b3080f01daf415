#ifndef MALVORANT_TESTS_VIEWSHOTS_H
#define MALVORANT_TESTS_VIEWSHOTS_H

// The screenshot rows of the full views, their dialogs and the warning
// drawers; included by screenshots.cpp, which defines Context, Shot and
// showRecording before it.

#include "dbman.h"
#include "viewdata.h"

#include <QQuickItem>
#include <QSqlQuery>

namespace viewshots {

inline void closeViews(Context& c)
{
    const QVariantMap loaders = c.window->property("viewLoaders").toMap();
    for (const QVariant& v : loaders) {
        QObject* loader = v.value<QObject*>();
        if (QObject* item = loader ? loader->property("item").value<QObject*>() : nullptr)
            item->setProperty("visible", false);
    }
}

// Opens the view over the stored recording, or (overRecording false) over
// whatever is shown.
inline QObject* openView(Context& c, const char* name, bool overRecording = true)
{
    closeViews(c);
    if (overRecording)
        showRecording(c, 0);
    // A list worth looking at, once.
    static bool filled = false;
    if (!filled)
        filled = viewdata::fill(*c.bridge().dbMan()->database(), 60, 20, 14);
    QVariant opened;
    QMetaObject::invokeMethod(c.window, "openView", Q_RETURN_ARG(QVariant, opened),
                              Q_ARG(QVariant, QString::fromLatin1(name)));
    QObject* loader = c.window->property("viewLoaders").toMap().value(QLatin1String(name)).value<QObject*>();
    return loader ? loader->property("item").value<QObject*>() : nullptr;
}

inline QObject* child(Context& c, const char* objectName)
{
    return c.window->findChild<QObject*>(QLatin1String(objectName));
}

inline QObject* byType(Context& c, const char* typePrefix)
{
    for (QObject* o : c.window->findChildren<QObject*>()) {
        if (QString::fromLatin1(o->metaObject()->className()).startsWith(QLatin1String(typePrefix)))
            return o;
    }
    return nullptr;
}

// The device rows the Bluetooth pictures listed.
inline void removeListedDevices(Context& c)
{
    QSqlQuery q(*c.bridge().dbMan()->database());
    q.exec("delete from discoveryTable where source = 0");
}

inline void addRows(std::vector<Shot>& list)
{
    list.push_back({"view-patients", [](Context& c) { openView(c, "patients"); }});
    list.push_back({"view-patients-search", [](Context& c) {
        openView(c, "patients");
        child(c, "patientSearch")->setProperty("text", QStringLiteral("Mü"));
    }});
    list.push_back({"view-patient-form-errors", [](Context& c) {
        QObject* view = openView(c, "patients");
        child(c, "patientSearch")->setProperty("text", QString());
        QMetaObject::invokeMethod(view, "openNewPatient");
        child(c, "patientNameField")->setProperty("text", QStringLiteral("Rex"));
        child(c, "weightField")->setProperty("text", QStringLiteral("0"));
        QVariant result;
        QMetaObject::invokeMethod(view, "saveForm", Q_RETURN_ARG(QVariant, result));
    }});
    list.push_back({"view-patient-form-edit", [](Context& c) {
        QObject* view = openView(c, "patients");
        QMetaObject::invokeMethod(view, "openEditPatient", Q_ARG(QVariant, c.patientId));
        // What the bridge's patient flows fill in.
        const QList<std::pair<const char*, QVariant>> values{
            {"initializerPatId", c.patientId}, {"initializerPatientName", "Bella"},
            {"initializerExtId", "P-1042"}, {"initializerOFirst", "Anna"},
            {"initializerOLast", "Lindqvist"}, {"initializerSpeciesIdx", 2},
            {"initializerSpeciesValue", "Canine"}, {"initializerBreedListIdx", 3},
            {"initializerBreedValue", "Labrador Retriever"}, {"initializerGenderIndex", 4},
            {"initializerWeight", "23.5"}, {"initializerBirthdayTs", 1577836800.0},
            {"initializerBirthday", "01/2020"}, {"initializerAgeYear", "6"},
            {"initializerAgeMonth", "11"}, {"numberOfEcgsToPatient", 0}};
        for (const auto& [name, value] : values)
            view->setProperty(name, value);
        QMetaObject::invokeMethod(view, "loadForm");
    }});
    list.push_back({"view-patient-species-picker", [](Context& c) {
        QObject* view = openView(c, "patients");
        QMetaObject::invokeMethod(view, "openNewPatient");
        QMetaObject::invokeMethod(child(c, "speciesButton"), "clicked");
    }});
    list.push_back({"view-recordings", [](Context& c) {
        QObject* view = openView(c, "recordings");
        QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, 1));
    }});
    list.push_back({"view-recordings-delete", [](Context& c) {
        QObject* view = openView(c, "recordings");
        QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, 1));
        QVariantMap row{{"id", 1}, {"patientName", "O'Brien"}, {"studyDate", "2020-09-13 12:26:40"}};
        QMetaObject::invokeMethod(view, "askDelete", Q_ARG(QVariant, row));
    }});
    list.push_back({"view-pacs-list", [](Context& c) {
        c.items().set<qml::P::DicomPacsConfigStatus>(1);
        QObject* view = openView(c, "recordings");
        QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, 2));
    }});
    static const char* const sections[] = {"telemedicine", "bluetooth", "recording-time", "mains",
                                           "weight-unit", "species", "quality-indicator", "dicom",
                                           "about"};
    for (int i = 0; i < 9; ++i) {
        const std::string name = std::string("view-settings-") + sections[i];
        static std::vector<std::string> names;
        names.push_back(name);
        list.push_back({names.back().c_str(), [i](Context& c) {
            QObject* view = openView(c, "settings");
            view->setProperty("openedAccordion", i);
        }});
    }
    // The Bluetooth section while a recording runs and while it waits for
    // its patient: the device controls are off and say why.
    for (int state : {2, 4}) {
        list.push_back({state == 2 ? "view-settings-bluetooth-recording" : "view-settings-bluetooth-unassigned",
                        [state](Context& c) {
            QObject* view = openView(c, "settings");
            QSqlQuery q(*c.bridge().dbMan()->database());
            q.exec("delete from discoveryTable where source = 0");
            q.exec("insert into discoveryTable (idx, source, device, mac) values (0, 0, 'Kx-2041', '00:80:2a:4b:58:41')");
            q.exec("insert into discoveryTable (idx, source, device, mac) values (2, 0, 'Kx-2187', '00:80:2a:4b:58:87')");
            QMetaObject::invokeMethod(view, "qmlStreamsRetrieved", Q_ARG(int, 3), Q_ARG(int, 2));
            view->setProperty("openedAccordion", 1);
            c.bridge().setUiDataDisplayState(state);
        }});
    }
    list.push_back({"view-tools", [](Context& c) {
        removeListedDevices(c);
        openView(c, "tools");
    }});
    list.push_back({"view-export", [](Context& c) {
        QObject* view = openView(c, "export");
        // The names the bridge gives: those the files are written under.
        c.bridge().getExportFileName();
        view->setProperty("openedAccordion", 0);
    }});
    list.push_back({"dialog-import-file", [](Context& c) {
        closeViews(c);
        for (QObject* o : c.window->findChildren<QObject*>()) {
            if (QString::fromLatin1(o->metaObject()->className()).startsWith("TopHeader"))
                QMetaObject::invokeMethod(o, "importRequested");
        }
    }});
    list.push_back({"dialog-export-folder", [](Context& c) {
        closeViews(c);
        QMetaObject::invokeMethod(c.window, "openFolderDialog", Q_ARG(QVariant, QStringLiteral("exportEcg")));
    }});
    // During the monitor no saved ECG is shown: "Save to PDF" is off.
    list.push_back({"view-tools-monitor", [](Context& c) {
        openView(c, "tools");
        c.bridge().setUiDataDisplayState(1);
    }});
    list.push_back({"dialog-confirm-patient", [](Context& c) {
        closeViews(c);
        showRecording(c, 4);
        c.items().invoke<qml::C::QmlOpenPopup>(
            QStringLiteral("Bella"), QStringLiteral("P-1042"), QStringLiteral("Anna Lindqvist"),
            QStringLiteral("Canine"), QStringLiteral("Labrador Retriever"),
            QStringLiteral("Female, Spayed"), QStringLiteral("6Y11M"), QStringLiteral("23.5 Kg"),
            QStringLiteral("14-Jan-2026 09:30:12"));
    }});
    list.push_back({"drawer-interference", [](Context& c) {
        closeViews(c);
        showRecording(c, 1);
        c.items().invoke<qml::C::QmlInterferenceWarning>();
    }});
    list.push_back({"drawer-lead-warning", [](Context& c) {
        closeViews(c);
        showRecording(c, 1);
        c.items().invoke<qml::C::QmlLeadWarning>();
    }});
    list.push_back({"help-interference", [](Context& c) {
        closeViews(c);
        QMetaObject::invokeMethod(byType(c, "InterferenceDialog"), "open");
    }});
    list.push_back({"help-lead-placement", [](Context& c) {
        closeViews(c);
        QMetaObject::invokeMethod(byType(c, "LeadPlacement"), "open");
    }});
    list.push_back({"view-closed-again", [](Context& c) {
        closeViews(c);
        c.items().set<qml::P::DicomPacsConfigStatus>(0);
        showRecording(c, 0);
    }});
}

} // namespace viewshots

#endif
