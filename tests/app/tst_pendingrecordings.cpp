// Recordings that wait for their patient, as the user meets them through the
// real main.qml: a run that ended abruptly left two recording files without a
// row and one with its lead-in only, and a stopped recording was never
// assigned. The start finds the first two again, keeps the third aside, opens
// in state 4 with the newest found on its grid, says so once with advice the
// user can follow from there, and lists every waiting recording in "All ECGs"
// as not assigned, from where it is deleted or given to a patient. The
// database is the previous release's, whose rows hold no count of their
// samples: the start counts them, so every duration listed is that of the
// samples recorded. The journey ends in the database and the data folder.

#include "appharness.h"
#include "dbman.h"
#include "dbschema.h"
#include "fileecg.h"
#include "fileman.h"
#include "isolatedhome.h"
#include "patientman.h"
#include "qmlmodule.h"
#include "screenclicks.h"
#include "settingsman.h"
#include "sqlquerymodel.h"
#include "updateandterms.h"

#include <QDir>
#include <QFileInfo>
#include <QQmlProperty>
#include <QQuickItem>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <cmath>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

namespace {

EcgStreamSample sampleAt(int i, int type)
{
    EcgStreamSample s{};
    const double t = (i % 400) / 400.0;
    s.leadII = float(900.0 * std::exp(-std::pow((t - 0.3) / 0.012, 2)));
    s.leadI = s.leadII * 0.6f;
    s.type = type;
    return s;
}

// A live recording as the stop leaves it: lead-in, samples, trailer.
bool record(CFileMan& files, int patientId, int samples)
{
    if (!files.ecgFileCreate(patientId, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()))
        return false;
    for (int i = 0; i < 2499 + samples; ++i) {
        if (!files.addEntry(sampleAt(i, i < 2499 ? ECG_SAMPLE_LEADIN : ECG_SAMPLE)))
            return false;
    }
    return files.markRecordingTrailer(CFileEcg::kTrailerRecords) && files.ecgFileCreateEnd();
}

// What a run killed while recording leaves: the header and records, no row.
bool writeOrphan(const QString& path, int leadIn, int samples)
{
    CFileEcg file;
    file.patientName = "dummy";
    file.recordingTime = 1717236000; // 2024-06-01 10:00:00
    if (!file.createFile(path.toStdString()))
        return false;
    for (int i = 0; i < leadIn + samples; ++i) {
        const EcgStreamSample s = sampleAt(i, i < leadIn ? ECG_SAMPLE_LEADIN : ECG_SAMPLE);
        const EcgFileRecord r = fileRecordFromStream(s);
        if (!file.addData(&r, 1))
            return false;
    }
    return file.close();
}

// Texts of the items below an item as they are drawn (list delegates are
// not its children as objects, only as items).
void textsBelow(QQuickItem* item, QStringList& out)
{
    if (!item)
        return;
    if (item->inherits("QQuickText") && item->isVisible())
        out << item->property("text").toString();
    for (QQuickItem* child : item->childItems())
        textsBelow(child, out);
}

} // namespace

class TstPendingRecordings : public QObject
{
    Q_OBJECT

    mutable AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QString m_data;
    int m_bella = -1;
    int m_bellaRecording = -1;
    int m_stopped = -1;             // stopped, never assigned
    QString m_stoppedFile;
    const QString m_orphan = QStringLiteral("0_40_20240601_100000.ecg");
    const QString m_olderOrphan = QStringLiteral("0_39_20240601_090000.ecg");
    const QString m_leadInOnly = QStringLiteral("0_41_20240601_101500.ecg");

    QVariant ui(const char* name) const
    {
        return m_app.bridge().items().object(qml::Item::UiData)->property(name);
    }

    QVariant value(const QString& sql, const QVariantList& values = {}) { return m_app.dbValue(sql, values); }

    bool textShown(const QString& text) const
    {
        for (QObject* o : m_window->findChildren<QObject*>()) {
            if (o->inherits("QQuickText") && o->property("text").toString() == text
                && qobject_cast<QQuickItem*>(o)->isVisible())
                return true;
        }
        return false;
    }

    QQuickItem* openRecordings(int mode)
    {
        QVariant opened;
        QMetaObject::invokeMethod(m_window, "openView", Q_RETURN_ARG(QVariant, opened),
                                  Q_ARG(QVariant, QString("recordings")));
        QObject* loader = m_window->property("viewLoaders").toMap().value("recordings").value<QObject*>();
        auto* view = loader ? qobject_cast<QQuickItem*>(loader->property("item").value<QObject*>()) : nullptr;
        if (view)
            QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, mode));
        return view;
    }

    // The rows the list shows: model row per ecgId.
    static QMap<int, QVariantMap> rowsOf(QQuickItem* view)
    {
        auto* model = qobject_cast<CSqlQueryModel*>(view->property("listModel").value<QObject*>());
        QMap<int, QVariantMap> rows;
        while (model->canFetchMore())
            model->fetchMore();
        const QHash<int, QByteArray> roles = model->roleNames();
        for (int r = 0; r < model->rowCount(); ++r) {
            QVariantMap row;
            for (auto it = roles.cbegin(); it != roles.cend(); ++it)
                row[QString::fromUtf8(it.value())] = model->data(model->index(r, 0), it.key());
            row["row"] = r;
            rows[row["id"].toInt()] = row;
        }
        return rows;
    }

    // The texts between double quotes, in order.
    static QStringList quoted(const QString& text)
    {
        QStringList out;
        static const QRegularExpression quote(QStringLiteral("\"([^\"]+)\""));
        for (auto it = quote.globalMatch(text); it.hasNext();)
            out << it.next().captured(1);
        return out;
    }

    // A visible button the user knows by that name: its text or, for an
    // icon, the name it is read out by.
    QObject* namedButton(const QString& name) const
    {
        for (QObject* o : m_window->findChildren<QObject*>()) {
            auto* item = qobject_cast<QQuickItem*>(o);
            if (!item || !item->inherits("QQuickAbstractButton") || !item->isVisible())
                continue;
            const QVariant accessible = QQmlProperty::read(item, QStringLiteral("Accessible.name"), qmlContext(item));
            if (item->property("text").toString() == name || accessible.toString() == name)
                return item;
        }
        return nullptr;
    }

    void noWarnings()
    {
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid());
        // The data folder as the last run left it, made before the program starts.
        m_data = QString::fromLocal8Bit(qgetenv("MALVORANT_PUBLIC_DOCUMENTS")) + "/MalvorantData/";
        QVERIFY(QDir().mkpath(m_data));
        {
            int from = -1, to = -1;
            CDbMan db(m_data, from, to);
            QVERIFY(db.isOk());
            CSettingsMan settings("MalvorantQml", db.database(), from, to);
            CPatientMan patients(db.database(), &settings, from, to, 1);
            m_bella = patients.createPatient("Bella", "P-1042", "Anna", "Lindqvist", 2, 4, 23.5f, 0,
                                             "Labrador Retriever", 1577836800, QString(), QString());
            QVERIFY(m_bella > 0);
            CFileMan files(m_data, db.database(), &settings, from, to);
            QVERIFY(record(files, m_bella, 3000));
            m_bellaRecording = files.currentEcgId();
            QVERIFY(record(files, 0, 3000));
            m_stopped = files.currentEcgId();
            m_stoppedFile = files.currentFileName();
            QCOMPARE(settings.fileId, m_stopped);
            // The clinic's paper: the medium grid.
            settings.ecgGridIdx = 1;
            QVERIFY(settings.saveSettings(SettingsDisplay));
            // The previous release's schema: no count of the samples.
            QSqlQuery q(*db.database());
            for (const QString& sql : {QStringLiteral("drop view ecgViewQmlKx"),
                                       QStringLiteral("alter table ecgTable drop column sampleCount"),
                                       DbSchema::createView(QStringLiteral("ecgViewQmlKx"), 17),
                                       QStringLiteral("update systemTable set value=17 where oid=1")})
                QVERIFY2(q.exec(sql), qPrintable(sql));
        }
        QVERIFY(writeOrphan(m_data + m_orphan, 2499, 4000));
        QVERIFY(writeOrphan(m_data + m_olderOrphan, 2499, 3000));
        QVERIFY(writeOrphan(m_data + m_leadInOnly, 2499, 0));

        m_window = m_app.load();
        QVERIFY(m_window);
        QVERIFY(AppHarness::waitFor([&] { return m_app.bridge().updateAndTerms().setupCount() > 0; }));
    }

    void init() { AppHarness::warnings().clear(); }

    // The recording found again is shown, waiting for its patient, and the
    // user is told once, after the terms, how many were found and where.
    void startShowsTheRecordingFoundAgain()
    {
        CQmlInterface& bridge = m_app.bridge();
        CFileMan& files = *bridge.fileMan();
        const int found = value("select ecgId from ecgTable where fileName=?", {m_orphan}).toInt();
        QVERIFY(found > 0);
        QCOMPARE(value("select patientId from ecgTable where ecgId=?", {found}).toInt(), 0);
        QCOMPARE(value("select fileSize from ecgTable where ecgId=?", {found}).toInt(), 2499 + 4000);
        QCOMPARE(files.currentEcgId(), found);
        QCOMPARE(ui("displayState").toInt(), 4);
        QVERIFY(textShown("Not assigned to a patient"));
        QVERIFY(!textShown("Bella  (ID P-1042)"));
        QVERIFY(textShown("Select Patient & Save"));
        QVERIFY(files.isStoredFileOpen());

        // The recording lies on its paper; nothing connects, and nothing says so.
        QQuickItem* grid = qobject_cast<QQuickItem*>(bridge.items().object(qml::Item::GridChart));
        QVERIFY(grid);
        QVERIFY(grid->isVisible());
        QCOMPARE(ui("ecgGridIdx").toInt(), 1);
        for (const char* hint : {"Attempting Connection...", "No Malvorant device selected", "Connection Failed",
                                 "Retry Connection"})
            QVERIFY2(!textShown(hint), hint);

        // The terms come first; the word comes once they are accepted.
        QVERIFY(!visibleDialog(m_window, "ECGs Recovered"));
        bridge.splashScreenTucAction(1);
        QObject* dialog = visibleDialog(m_window, "ECGs Recovered");
        QVERIFY(dialog);
        QCOMPARE(dialog->property("text").toString(),
                 QStringLiteral("2 ECGs that were not saved when the program last ended have been recovered."));
        // The buttons its advice names for now are there to be clicked; the
        // lists it names for later are not, until the one shown is dealt with.
        const QString advice = dialog->property("informativeText").toString();
        const QString now = advice.section(QStringLiteral(" Then "), 0, 0);
        const QString later = advice.section(QStringLiteral(" Then "), 1);
        QCOMPARE(quoted(now), (QStringList{"Select Patient & Save", "Cancel"}));
        QCOMPARE(quoted(later), (QStringList{"Saved ECGs", "All ECGs", "Not assigned"}));
        closeVisibleDialogs(m_window);
        for (const QString& name : quoted(now))
            QVERIFY2(namedButton(name), qPrintable(name));
        QVERIFY(!namedButton("Saved ECGs"));
        QCOMPARE(ui("displayState").toInt(), 4);
        bridge.splashScreenTucAction(1);
        QVERIFY(!visibleDialog(m_window, "ECGs Recovered"));

        // "Select Patient & Save" leads to the patients.
        QVERIFY(screen::click(namedButton("Select Patient & Save")));
        QObject* patients = screen::waitFor(m_window, "patientList");
        QVERIFY(patients);
        QVERIFY(screen::click(screen::find(m_window, "viewClose")));
        QCOMPARE(ui("displayState").toInt(), 4);
        QCOMPARE(files.currentEcgId(), found);

        // The lead-in alone is no recording: kept aside, not offered.
        QVERIFY(!QFileInfo::exists(m_data + m_leadInOnly));
        QVERIFY(QFileInfo::exists(m_data + CFileMan::kSetAsideFolder + "/" + m_leadInOnly));
        QVERIFY(!value("select count(*) from ecgTable where fileName=?", {m_leadInOnly}).toInt());
        noWarnings();
    }

    // "All ECGs" lists the waiting recordings as not assigned; a patient's
    // own list does not; the one chosen is shown in state 4.
    void allEcgsListsTheWaitingRecordings()
    {
        CQmlInterface& bridge = m_app.bridge();
        const int found = value("select ecgId from ecgTable where fileName=?", {m_orphan}).toInt();
        const int older = value("select ecgId from ecgTable where fileName=?", {m_olderOrphan}).toInt();
        QVERIFY(older > 0 && older < found);
        QQuickItem* view = openRecordings(1);
        QVERIFY(view);
        QVERIFY(AppHarness::waitFor([&] { return rowsOf(view).size() == 4; }));
        QMap<int, QVariantMap> rows = rowsOf(view);
        for (int id : {found, older, m_stopped}) {
            QVERIFY(rows.contains(id));
            QCOMPARE(rows[id]["patientId"].toInt(), 0);
            QCOMPARE(rows[id]["patientName"].toString(), QString());
        }
        QCOMPARE(rows[m_bellaRecording]["patientName"].toString(), QStringLiteral("Bella"));
        // The samples alone, without the lead-in and trailer: the stopped
        // recordings hold 1,750 (of the 3,000 added, the last 1,250 became
        // their trailer), the killed runs 3,000 and 4,000.
        QCOMPARE(value("select value from systemTable where oid=1").toInt(), DbSchema::kVersion);
        for (int id : {m_bellaRecording, m_stopped})
            QCOMPARE(rows[id]["duration"].toInt(), 4);
        QCOMPARE(rows[older]["duration"].toInt(), 6);
        QCOMPARE(rows[found]["duration"].toInt(), 8);
        QCOMPARE(value("select sampleCount from ecgTable where ecgId=?", {m_stopped}).toInt(), 1750);
        QCOMPARE(value("select sampleCount from ecgTable where ecgId=?", {found}).toInt(), 4000);
        QVERIFY(AppHarness::waitFor([&] {
            QStringList texts;
            textsBelow(view, texts);
            return texts.filter(QRegularExpression("^Not assigned  \u00B7  ")).size() == 3;
        }));

        // Chosen from the list: state 4 with that recording, the shown
        // patient unchanged and not named.
        const int patientBefore = bridge.patientMan()->patientId;
        QMetaObject::invokeMethod(view, "rowChosen", Q_ARG(QVariant, rows[m_stopped]["row"]),
                                  Q_ARG(QVariant, rows[m_stopped]));
        QCOMPARE(ui("displayState").toInt(), 4);
        QCOMPARE(bridge.fileMan()->currentEcgId(), m_stopped);
        QCOMPARE(bridge.patientMan()->patientId, patientBefore);
        QVERIFY(textShown("Not assigned to a patient"));
        QVERIFY(bridge.fileMan()->isStoredFileOpen());

        // A patient's own list holds only its recordings.
        bridge.setUiDataDisplayState(0);
        bridge.fileSelectedLocal(m_bella, m_bellaRecording);
        view = openRecordings(0);
        QVERIFY(AppHarness::waitFor([&] { return rowsOf(view).size() == 1; }));
        QVERIFY(rowsOf(view).contains(m_bellaRecording));
        view->setProperty("visible", false);
        noWarnings();
    }

    // Deleted from the list after the question; given to a patient after
    // being chosen there.
    void deletedOrAssignedFromTheList()
    {
        CQmlInterface& bridge = m_app.bridge();
        const int found = value("select ecgId from ecgTable where fileName=?", {m_orphan}).toInt();
        QQuickItem* view = openRecordings(1);
        QVERIFY(AppHarness::waitFor([&] { return rowsOf(view).size() == 4; }));
        QMap<int, QVariantMap> rows = rowsOf(view);
        QMetaObject::invokeMethod(view, "askDelete", Q_ARG(QVariant, rows[m_stopped]));
        QObject* ask = m_window->findChild<QObject*>("deleteEcgDialog");
        QVERIFY(ask && ask->property("visible").toBool());
        QCOMPARE(ask->property("text").toString(),
                 "You have requested that the ECG recorded on " + rows[m_stopped]["studyDate"].toString()
                     + ", not assigned to a patient, gets deleted.");
        QMetaObject::invokeMethod(ask, "accept");
        QVERIFY(AppHarness::waitFor([&] { return rowsOf(view).size() == 3; }));
        QVERIFY(!value("select count(*) from ecgTable where ecgId=?", {m_stopped}).toInt());
        QVERIFY(!QFileInfo::exists(m_data + m_stoppedFile));

        rows = rowsOf(view);
        QMetaObject::invokeMethod(view, "rowChosen", Q_ARG(QVariant, rows[found]["row"]), Q_ARG(QVariant, rows[found]));
        QCOMPARE(ui("displayState").toInt(), 4);
        QCOMPARE(bridge.fileMan()->currentEcgId(), found);
        // The patient chosen and confirmed in the patient view.
        bridge.ecgPatientAssignment(m_bella);
        QCOMPARE(ui("displayState").toInt(), 0);
        QCOMPARE(bridge.patientMan()->patientId, m_bella);
        QVERIFY(textShown("Bella  (ID P-1042)"));
        QVERIFY(!textShown("Not assigned to a patient"));

        // The database and the data folder: the recording is Bella's, under
        // her name, with her header; the older one found still waits.
        const QString assigned = QString::number(m_bella) + CFileMan::nameAfterPatient(m_orphan);
        QCOMPARE(value("select patientId from ecgTable where ecgId=?", {found}).toInt(), m_bella);
        QCOMPARE(value("select fileName from ecgTable where ecgId=?", {found}).toString(), assigned);
        QCOMPARE(value("select count(*) from ecgTable where patientId=0").toInt(), 1);
        CFileEcg header;
        QVERIFY(header.openFileReadOnly((m_data + assigned).toStdString()));
        QCOMPARE(QString::fromStdString(header.patientName), QStringLiteral("Bella"));
        header.close();
        QStringList files = QDir(m_data).entryList({"*.ecg"}, QDir::Files);
        files.sort();
        QStringList named;
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec("select fileName from ecgTable order by fileName"));
        while (q.next())
            named << q.value(0).toString();
        QCOMPARE(files, named);
        noWarnings();
    }

    // The rest of the start's advice, followed as a user would from the
    // screen the assignment leaves: "Saved ECGs", "All ECGs", the row "Not
    // assigned", "Select Patient & Save", a patient and "OK". Ends in the
    // database and the data folder: nothing waits any more.
    void theOthersAreWhereTheAdviceSays()
    {
        CQmlInterface& bridge = m_app.bridge();
        const int older = value("select ecgId from ecgTable where fileName=?", {m_olderOrphan}).toInt();
        QCOMPARE(ui("displayState").toInt(), 0);
        QVERIFY(screen::click(namedButton("Saved ECGs")));
        QVERIFY(screen::waitFor(m_window, "ecgList"));
        QVERIFY(screen::clickText(m_window, "All ECGs"));
        QQuickItem* row = screen::rowWhere(screen::find(m_window, "ecgList"), [](QQuickItem* r) {
            QStringList texts;
            textsBelow(r, texts);
            return !texts.filter(QRegularExpression("^Not assigned  \u00B7  ")).isEmpty();
        });
        QVERIFY(screen::click(row));
        QCOMPARE(ui("displayState").toInt(), 4);
        QCOMPARE(bridge.fileMan()->currentEcgId(), older);

        QVERIFY(screen::click(namedButton("Select Patient & Save")));
        QQuickItem* bella = screen::rowWhere(screen::waitFor(m_window, "patientList"), [](QQuickItem* r) {
            QStringList texts;
            textsBelow(r, texts);
            return texts.contains("Bella");
        });
        QVERIFY(screen::confirmRow(m_window, bella));
        QCOMPARE(ui("displayState").toInt(), 0);
        QCOMPARE(bridge.patientMan()->patientId, m_bella);

        const QString assigned = QString::number(m_bella) + CFileMan::nameAfterPatient(m_olderOrphan);
        QCOMPARE(value("select patientId from ecgTable where ecgId=?", {older}).toInt(), m_bella);
        QCOMPARE(value("select fileName from ecgTable where ecgId=?", {older}).toString(), assigned);
        QCOMPARE(value("select count(*) from ecgTable where patientId=0").toInt(), 0);
        QVERIFY(QFileInfo::exists(m_data + assigned));
        QVERIFY(!QFileInfo::exists(m_data + m_olderOrphan));
        noWarnings();
    }
};

QTEST_MAIN(TstPendingRecordings)
#include "tst_pendingrecordings.moc"
