#ifndef MALVORANT_TESTS_IMPORTSHOTS_H
#define MALVORANT_TESTS_IMPORTSHOTS_H

// The screenshot rows of the import road, step by step as a vet walks it,
// and of the folder dialog and its answer; included by screenshots.cpp after
// viewshots.h.

#include "screenclicks.h"
#include "synthecg.h"

#include <QDir>

namespace importshots {

// A recording of "Rex" that another practice sent, in the user's Documents.
inline QString clinicFile(Context& c)
{
    static QString path;
    if (!path.isEmpty())
        return path;
    const QString documents = QDir::home().filePath(QStringLiteral("Documents"));
    QDir().mkpath(documents + "/From other clinics");
    QDir().mkpath(QDir::home().filePath(QStringLiteral("Reports")));
    CFileMan& f = *c.bridge().fileMan();
    if (!f.ecgFileCreate(0, "Rex", "Jana", "Novak", "R-77", 1422748800, 2, 1, QString()))
        return QString();
    SynthEcgParams p;
    p.heartRate = 96;
    p.amplitude = 1.4 * 1000.0 / 5.2;
    CSynthEcg ecg(p);
    for (int i = 0; i < 30 * CSynthEcg::kSampleRate; ++i) {
        const SynthEcgSample v = ecg.next();
        EcgStreamSample s{};
        s.leadI = static_cast<float>(v.leadI);
        s.leadII = static_cast<float>(v.leadII);
        s.type = i < 2499 ? 45 : 0;
        f.addEntry(s);
    }
    if (!f.ecgFileCreateEnd())
        return QString();
    path = documents + "/Rex_Novak_2024-05-02.ecg";
    QFile::copy(f.dataFolder() + f.currentFileName(), path);
    f.deleteFile(0, f.currentEcgId());
    return path;
}

inline QObject* patientView(Context& c) { return c.item(qml::Item::PatientView); }

// The pictures close every popup by itself, the import dialog's too, which
// its dialog object does not learn: it is told, so that it opens again.
inline void forgetImportDialog(Context& c)
{
    for (QObject* o : c.window->findChildren<QObject*>(QStringLiteral("importDialog")))
        QMetaObject::invokeMethod(o, "close");
}

// The import dialog in the folder of the file, the file clicked.
inline QObject* openImportDialog(Context& c)
{
    const QString file = clinicFile(c);
    viewshots::closeViews(c);
    showRecording(c, 0);
    forgetImportDialog(c);
    screen::clickText(c.window, QStringLiteral("Import ECGs"));
    QObject* dialog = screen::waitFor(c.window, QStringLiteral("importDialog"));
    if (!dialog)
        return nullptr;
    dialog->setProperty("currentFolder", QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
    screen::click(screen::rowWhere(screen::waitFor(c.window, QStringLiteral("fileDialogListView")),
                                   [&](QQuickItem* row) {
                                       return row->property("file").toUrl() == QUrl::fromLocalFile(file);
                                   }));
    return dialog;
}

inline void addRows(std::vector<Shot>& list)
{
    list.push_back({"import-1-file-dialog", [](Context& c) { openImportDialog(c); }});
    list.push_back({"import-2-new-patient-form", [](Context& c) {
        viewshots::closeViews(c);
        forgetImportDialog(c);
        screen::importThroughTheDialog(c.window, clinicFile(c), [&c] { return patientView(c); });
    }});
    list.push_back({"import-3-choose-existing-patient", [](Context& c) {
        screen::click(screen::find(c.window, QStringLiteral("existingPatientButton")));
        screen::find(c.window, QStringLiteral("patientSearch"))->setProperty("text", QString());
    }});
    list.push_back({"import-4-confirm-patient", [](Context& c) {
        screen::click(screen::searchedRow(c.window, QStringLiteral("patientSearch"),
                                          QStringLiteral("patientList"), QStringLiteral("Milo")));
    }});
    list.push_back({"import-5-cancelled", [](Context& c) {
        // Closing the view cancels the import: the screen is as it was.
        screen::click(screen::find(c.window, QStringLiteral("viewClose")));
    }});
    list.push_back({"import-6-form-completed", [](Context& c) {
        forgetImportDialog(c);
        screen::importThroughTheDialog(c.window, clinicFile(c), [&c] { return patientView(c); });
        screen::find(c.window, QStringLiteral("weightField"))->setProperty("text", QStringLiteral("31.5"));
    }});
    list.push_back({"import-7-saved-and-shown", [](Context& c) {
        screen::click(screen::find(c.window, QStringLiteral("savePatientButton")));
    }});
    list.push_back({"view-recordings-open-case", [](Context& c) {
        // A case finished later: its page opens again from the row.
        c.bridge().fileMan()->setQvlCaseId(c.ecgId, QStringLiteral("QV-20931"));
        c.bridge().fileMan()->setQvlCaseUrl(c.ecgId, QStringLiteral("https://cases.example/QV-20931"));
        QObject* view = viewshots::openView(c, "recordings");
        QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, 0));
    }});
    list.push_back({"dialog-pdf-folder", [](Context& c) {
        viewshots::openView(c, "tools");
        screen::click(screen::find(c.window, QStringLiteral("saveToPdf")));
        QObject* dialog = screen::waitFor(c.window, QStringLiteral("folderDialog"));
        dialog->setProperty("currentFolder", QUrl::fromLocalFile(QDir::homePath()));
        screen::click(screen::rowWhere(screen::find(c.window, QStringLiteral("folderList")),
                                       [](QQuickItem* row) { return row->property("text").toString() == QStringLiteral("Reports"); }));
    }});
    // The answer over the recording; the rows after it find the main screen.
    list.push_back({"alert-file-saved", [](Context& c) {
        viewshots::openView(c, "tools");
        screen::click(screen::find(c.window, QStringLiteral("saveToPdf")));
        viewshots::closeViews(c);
        screen::chooseFolder(c.window, QDir::home().filePath(QStringLiteral("Reports")));
    }});
}

} // namespace importshots

#endif
