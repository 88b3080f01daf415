// A recording whose file became random bytes of a size an old file without
// header could have, met by a user through the real main.qml on every road:
// opened from "Saved ECGs", exported as .ecg and as DICOM, sent to the PACS
// (from the screen and by the background), uploaded for telemedicine (from
// the screen and from the queue), imported, and found without its row at a
// start. Each road refuses it with the reason, nothing reaches storescp or
// the telemedicine stand-in, and the database and the data folder stay as
// they were but for the file set aside from the start. A sound recording
// through the same rig lands on the PACS, so the empty store means something.

#include "appharness.h"
#include "dcmcomm.h"
#include "dcmnetconfig.h"
#include "dcmscheduler.h"
#include "dicomrig.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "qvlcomm.h"
#include "qvlreplies.h"
#include "qvlscheduler.h"
#include "qvlstandin.h"
#include "screenclicks.h"
#include "settingsman.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QQmlProperty>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <map>
#include <memory>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;
using qml::Prop;

namespace {

const int kWaitMs = 20000;
// The size of the damaged file the clinic met: 12,794 records of 16 bytes.
const int kRandomRecords = 12794;
const char kNoHeader[] = "It has no header and is not laid out as an ECG recording: its record ";

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray out(size, '\0');
    for (char& c : out)
        c = char(rng.bounded(256));
    out[0] = 0x21; // never the first sync byte
    return out;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file below a folder with its content's hash, relative paths sorted.
QStringList snapshot(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out << QDir(folder).relativeFilePath(path) + " "
                   + QCryptographicHash::hash(bytesOf(path), QCryptographicHash::Sha1).toHex();
    }
    out.sort();
    return out;
}

} // namespace

class TstDamagedRecording : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QTemporaryDir m_work;
    dicomrig::ToolPeer m_store;
    QvlStandIn* m_qvl = nullptr;
    QList<QByteArray> m_qvlOps;
    int m_patientId = -1;
    int m_damagedId = -1;
    QString m_damagedPath;
    QByteArray m_damagedBytes;
    std::map<QByteArray, std::unique_ptr<QSignalSpy>> m_alerts;

    CQmlInterface& bridge() { return m_app.bridge(); }
    CSettingsMan& settings() { return *bridge().settingsMan(); }
    QVariant ui(Prop prop) { return bridge().items().read(prop); }
    QString dataFolder() { return bridge().fileMan()->dataFolder(); }
    QObject* find(const QString& name) { return screen::find(m_window, name); }

    // A visible button by its text or its spoken name.
    QObject* namedButton(const QString& name)
    {
        for (QObject* o : m_window->findChildren<QObject*>()) {
            auto* item = qobject_cast<QQuickItem*>(o);
            if (!item || !item->inherits("QQuickAbstractButton") || !item->isVisible())
                continue;
            const QVariant spoken = QQmlProperty::read(item, QStringLiteral("Accessible.name"), qmlContext(item));
            if (item->property("text").toString() == name || spoken.toString() == name)
                return item;
        }
        return nullptr;
    }

    QStringList fired(const QByteArray& name)
    {
        QStringList texts;
        for (const QVariantList& args : *m_alerts[name])
            texts << (args.isEmpty() ? QString() : args.first().toString());
        m_alerts[name]->clear();
        return texts;
    }

    void clearAlerts()
    {
        for (auto& [name, spy] : m_alerts)
            spy->clear();
        closeVisibleDialogs(m_window);
    }

    // The read alert on screen for the damaged recording, then closed.
    void expectRefusalShown()
    {
        QVERIFY(AppHarness::waitFor([&] { return visibleDialog(m_window, "File Read Error") != nullptr; }));
        const QStringList said = screen::takeAlert(m_window, QStringLiteral("File Read Error"));
        QCOMPARE(said.value(0), QStringLiteral("Unable to read the ECG file"));
        QVERIFY2(said.value(1).startsWith(QLatin1String(kNoHeader)), qPrintable(said.value(1)));
        QVERIFY2(said.value(1).endsWith(QLatin1String("This ECG can't be shown, exported or sent.")),
                 qPrintable(said.value(1)));
    }

    // Nothing of the damaged recording went anywhere, and its row and file
    // are as they were.
    void nothingSentNothingChanged()
    {
        QVERIFY(QDir(m_store.incomingFolder()).entryList(QDir::Files).isEmpty());
        QVERIFY2(!m_qvlOps.contains("InitiateCase") && !m_qvlOps.contains("AddFile"),
                 qPrintable(QString::fromLatin1(m_qvlOps.join(' '))));
        QCOMPARE(bytesOf(m_damagedPath), m_damagedBytes);
        QCOMPARE(m_app.dbValue("select count(*) from ecgTable where ecgId=? and patientId=? and pacsStatus=0 "
                               "and pacsTs=0 and qvlCaseId='' and qvlCaseUrl=''",
                               {m_damagedId, m_patientId}).toInt(), 1);
        QVERIFY(QDir(dataFolder() + "tmp").entryList(QDir::Files).isEmpty());
        QVERIFY2(AppHarness::qmlWarnings().isEmpty(), qPrintable(AppHarness::qmlWarnings().join('\n')));
    }

    void showDamaged()
    {
        bridge().selectNShowPatient(m_patientId, m_damagedId);
        closeVisibleDialogs(m_window);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid() && m_work.isValid());
        QCOMPARE(DcmNetConfig::applyTimeout(3), 3);
        m_window = m_app.loadReturningUser();
        QVERIFY(m_window);
        // The background work is driven by calling its ticks.
        bridge().qvlScheduler()->modifiedServicesTimer()->stop();
        bridge().qvlScheduler()->backgroundUploadTimer()->stop();

        QObject* bottom = bridge().items().object(Item::BottomArea);
        QVERIFY(bottom);
        for (const char* signal : {"qmlAlertBoxFileReadError(QString)", "qmlAlertBoxExportError(QString)",
                                   "qmlAlertBoxFileSaved(QString,QString)", "qmlAlertBoxDcmCommError(QString)",
                                   "qmlAlertBoxDcmUploadCompleted()", "qmlAlertBoxQvlCommError(QString)",
                                   "qmlAlertBoxQvlUploadFailed(int,QString,QString,QString,bool)",
                                   "qmlAlertBoxQvlAskUpload(int)", "qmlAlertBoxNoNetwork(int,bool)"}) {
            const QByteArray s(signal);
            auto spy = std::make_unique<QSignalSpy>(bottom, QByteArray("2" + s).constData());
            QVERIFY2(spy->isValid(), signal);
            m_alerts[s.left(s.indexOf('('))] = std::move(spy);
        }

        // The PACS: storescp, configured and tested as the settings leave it.
        QVERIFY(m_store.startStoreScp(m_work.filePath("pacs")));
        settings().dcmModalityName = QStringLiteral("MALVORANT");
        settings().dcmModalityPort = dicomrig::freePort();
        settings().dcmPacsIp = QStringLiteral("127.0.0.1");
        settings().dcmPacsTitle = m_store.aeTitle();
        settings().dcmPacsPort = m_store.port();
        settings().dicomPacsConfigStatus = 1;
        QVERIFY(settings().saveSettings(SettingsDicom));
        bridge().dcmComm()->updateConfig();
        bridge().dcmScheduler()->updateConfig();

        // The telemedicine service: answers every request, keeps what it saw.
        m_qvl = new QvlStandIn(46, this);
        QVERIFY2(m_qvl->start(), qPrintable(m_qvl->errorText()));
        m_qvl->trust();
        m_qvl->setKeepRequests(false);
        m_qvl->setOnRequest([this](const StandInRequest& r) {
            const QByteArray op = operationOf(r.body);
            m_qvlOps << op;
            m_qvl->setAction(QvlStandIn::Action::Reply);
            if (op == "InitiateCase")
                m_qvl->setReply(200, okReply(op, "<return>C-1</return>"));
            else if (op == "AddFile")
                m_qvl->setReply(200, okReply(op, "<return>true</return>"));
            else if (op == "GetCaseURL")
                m_qvl->setReply(200, okReply(op, "<return>http://127.0.0.1:9/case?id=C-1</return>"));
            else
                m_qvl->setReply(200, okReply("Test", "<return>true</return>"));
        });
        settings().qvlUrl = m_qvl->url(true, QLatin1String(kPath));
        settings().qvlUserName = "clinic";
        settings().qvlPwd = "secret";
        QVERIFY(settings().saveSettings(SettingsQvlService));
        bridge().qvlRespCheckUser(false, false, true);

        // Bella's recording of 30 s, given to her; then its file turns into
        // random bytes of a size a file without header could have.
        m_patientId = m_app.makePatient();
        QVERIFY(m_patientId > 0);
        m_damagedId = m_app.makeRecording(0, 30);
        QVERIFY(m_damagedId > 0);
        QVERIFY(bridge().fileMan()->assignPendingEcg(m_patientId, false));
        m_damagedPath = dataFolder() + bridge().fileMan()->currentFileName();
        m_damagedBytes = randomBytes(kRandomRecords * 16, 44);
        QVERIFY(writeBytes(m_damagedPath, m_damagedBytes));
        bridge().selectNShowPatient(m_patientId, -1);
        clearAlerts();
        AppHarness::warnings().clear();
    }

    void init() { clearAlerts(); }

    // "Saved ECGs", the row: the read alert with the reason, no trace.
    void openedFromSavedEcgs()
    {
        bridge().selectNShowPatient(m_patientId, -1);
        closeVisibleDialogs(m_window);
        QVERIFY(screen::click(namedButton("Saved ECGs")));
        QObject* list = screen::waitFor(m_window, "ecgList");
        QVERIFY(list);
        QQuickItem* row = screen::rowWhere(list, [](QQuickItem*) { return true; });
        QVERIFY(row);
        QCOMPARE(list->property("count").toInt(), 1);
        QVERIFY(screen::click(row));
        QCOMPARE(bridge().fileMan()->currentEcgId(), m_damagedId);
        QVERIFY(!bridge().fileMan()->isStoredFileOpen());
        QCOMPARE(bridge().fileMan()->ecgBuffer().getRecordCount() > 0 && bridge().fileMan()->isStoredFileOpen(), false);
        expectRefusalShown();
        nothingSentNothingChanged();
    }

    // "Export ECGs", as .ecg and as DICOM, into a folder: refused, the folder
    // stays empty.
    void exportedAsFileAndDicom()
    {
        showDamaged();
        const QString target = m_work.filePath("exports");
        QVERIFY(QDir().mkpath(target));
        QVERIFY(screen::click(namedButton("Export ECGs")));
        QObject* exportView = bridge().items().object(Item::ExportView);
        QVERIFY(exportView && exportView->property("visible").toBool());
        QVERIFY(screen::clickText(m_window, QStringLiteral("Export ECG")));
        QVERIFY(screen::chooseFolder(m_window, target));
        expectRefusalShown();
        QMetaObject::invokeMethod(find(QStringLiteral("exportDicomSection")), "toggled", Q_ARG(int, 1));
        QVERIFY(screen::clickText(m_window, QStringLiteral("Export Dicom")));
        QVERIFY(screen::chooseFolder(m_window, target));
        expectRefusalShown();
        QVERIFY(fired("qmlAlertBoxFileSaved").isEmpty() && fired("qmlAlertBoxExportError").isEmpty());
        QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));
        nothingSentNothingChanged();
    }

    // The ECG Storage from the screen and from the background queue: the
    // send fails with the reason, the recording is set aside and the top
    // area says why beside "not sent"; storescp receives nothing.
    void sentToThePacs()
    {
        showDamaged();
        CDcmScheduler& scheduler = *bridge().dcmScheduler();
        bridge().dcmContinueFileUpload(0);
        QVERIFY(AppHarness::waitFor([&] { return !bridge().dcmComm()->isBusy() && !ui(Prop::BusyIndicatorRunning).toBool(); },
                                    kWaitMs));
        const QStringList shown = fired("qmlAlertBoxDcmCommError");
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().startsWith("The ECG file can't be read or converted. " + QLatin1String(kNoHeader)),
                 qPrintable(shown.first()));
        QVERIFY(shown.first().endsWith("This ECG is not sent again until it or its patient changes."));
        QVERIFY(fired("qmlAlertBoxDcmUploadCompleted").isEmpty());
        QCOMPARE(scheduler.setAsideIds(), QList<int>{m_damagedId});

        // A new run's background meets it again and sets it aside again.
        scheduler.updateConfig();
        QCOMPARE(scheduler.setAsideIds(), QList<int>{});
        scheduler.backgroundUploadTimerExpired();
        QVERIFY(AppHarness::waitFor([&] { return !scheduler.isUploadInProgress(); }, kWaitMs));
        QCOMPARE(scheduler.setAsideIds(), QList<int>{m_damagedId});
        QCOMPARE(ui(Prop::FilePacsQueue).toInt(), 3);
        const QString why = ui(Prop::FilePacsQueueText).toString();
        QVERIFY2(why.startsWith("The ECG file can't be read or converted. " + QLatin1String(kNoHeader)), qPrintable(why));
        QObject* mark = find(QStringLiteral("pacsQueueMark"));
        QVERIFY(mark);
        QCOMPARE(mark->property("text").toString(), QStringLiteral("ECG Storage: not sent \u2014 the ECG file can't be read"));
        // The recording's facts clicked: the details say why in full.
        closeVisibleDialogs(m_window);
        auto* facts = qobject_cast<QQuickItem*>(find(QStringLiteral("recordingDetails")));
        QVERIFY(facts);
        QTest::mouseClick(m_window, Qt::LeftButton, {}, facts->mapToScene(QPointF(20, facts->height() / 2)).toPoint());
        QVERIFY(AppHarness::waitFor([&] { return visibleDialog(m_window, "ECG Details") != nullptr; }));
        const QStringList details = screen::takeAlert(m_window, QStringLiteral("ECG Details"));
        QVERIFY2(details.value(1).endsWith("\nECG Storage: not sent \u2014 " + why), qPrintable(details.value(1)));
        QVERIFY(fired("qmlAlertBoxDcmUploadCompleted").isEmpty());
        nothingSentNothingChanged();
    }

    // The upload button and the upload confirmed: refused with the reason
    // before any case is opened; queued, the background takes it out of the
    // queue with its reason.
    void uploadedForTelemedicine()
    {
        showDamaged();
        QCOMPARE(ui(Prop::DisplayState).toInt(), 0);
        QVERIFY(screen::click(namedButton("Upload to Quorvale")));
        expectRefusalShown();
        QVERIFY(fired("qmlAlertBoxQvlAskUpload").isEmpty());

        // Confirmed all the same (the ask of an earlier look at it).
        bridge().continueQvlUpload(m_damagedId, false);
        QVERIFY(AppHarness::waitFor([&] { return !m_alerts["qmlAlertBoxQvlUploadFailed"]->isEmpty(); }, kWaitMs));
        // (fileId, title, text, informative text, whether OK queues it)
        QVariantList shown = m_alerts["qmlAlertBoxQvlUploadFailed"]->takeFirst();
        QVERIFY2(shown.value(2).toString().endsWith("its file is not an ECG recording this program can read."),
                 qPrintable(shown.value(2).toString()));
        QVERIFY2(shown.value(3).toString().startsWith(QLatin1String(kNoHeader)), qPrintable(shown.value(3).toString()));
        QVERIFY(!shown.value(4).toBool());
        m_alerts["qmlAlertBoxQvlUploadFailed"]->clear();

        bridge().queueFileUpload(m_damagedId, true);
        QCOMPARE(m_app.dbValue("select qvlCaseStatus from ecgTable where ecgId=?", {m_damagedId}).toInt(), 9);
        bridge().qvlScheduler()->backgroundUploadTimerExpired();
        QVERIFY(AppHarness::waitFor([&] { return !m_alerts["qmlAlertBoxQvlUploadFailed"]->isEmpty(); }, kWaitMs));
        shown = m_alerts["qmlAlertBoxQvlUploadFailed"]->takeFirst();
        QVERIFY2(shown.value(3).toString().startsWith(QLatin1String(kNoHeader)), qPrintable(shown.value(3).toString()));
        m_alerts["qmlAlertBoxQvlUploadFailed"]->clear();
        QCOMPARE(m_app.dbValue("select qvlCaseStatus from ecgTable where ecgId=?", {m_damagedId}).toInt(), 0);
        bridge().qvlScheduler()->backgroundUploadTimerExpired();
        QVERIFY(AppHarness::waitFor([&] { return !bridge().qvlScheduler()->client()->requestInProgress(); }));
        QVERIFY(fired("qmlAlertBoxQvlUploadFailed").isEmpty());
        nothingSentNothingChanged();
    }

    // "Import ECGs" with a copy of the damaged file: refused, nothing stored.
    void imported()
    {
        showDamaged();
        const QString copy = m_work.filePath("incoming/Bella.ecg");
        QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()));
        QVERIFY(writeBytes(copy, m_damagedBytes));
        const int recordings = m_app.dbValue("select count(*) from ecgTable").toInt();
        const QStringList folder = snapshot(dataFolder());
        QVERIFY(screen::clickText(m_window, QStringLiteral("Import ECGs")));
        QObject* dialog = screen::waitFor(m_window, QStringLiteral("importDialog"));
        QVERIFY(dialog);
        dialog->setProperty("currentFolder", QUrl::fromLocalFile(QFileInfo(copy).absolutePath()));
        QQuickItem* file = screen::rowWhere(screen::waitFor(m_window, QStringLiteral("fileDialogListView")),
                                            [&](QQuickItem* row) {
                                                return row->property("file").toUrl() == QUrl::fromLocalFile(copy);
                                            });
        QVERIFY(screen::click(file));
        QMetaObject::invokeMethod(dialog, "accept");
        QVERIFY(AppHarness::waitFor([&] { return visibleDialog(m_window, "File Read Error") != nullptr; }));
        QCOMPARE(screen::takeAlert(m_window, QStringLiteral("File Read Error")).value(0),
                 QStringLiteral("Unable to read the ECG file"));
        QCOMPARE(m_app.dbValue("select count(*) from ecgTable").toInt(), recordings);
        QCOMPARE(snapshot(dataFolder()), folder);
        QCOMPARE(bytesOf(copy), m_damagedBytes);
        nothingSentNothingChanged();
    }

    // Such a file without its row, as a start finds it: set aside, not
    // offered as a recording; the recordings with rows stay.
    void foundWithoutItsRow()
    {
        const QString orphan = QStringLiteral("0_977_20261211_101500.ecg");
        const QByteArray bytes = randomBytes(8000 * 16, 977);
        QVERIFY(writeBytes(dataFolder() + orphan, bytes));
        const int recordings = m_app.dbValue("select count(*) from ecgTable").toInt();
        QCOMPARE(bridge().fileMan()->reconcileDataFolder(), 1);
        QCOMPARE(bridge().fileMan()->recoveredRecordings(), 0);
        QCOMPARE(m_app.dbValue("select count(*) from ecgTable").toInt(), recordings);
        QVERIFY(!QFile::exists(dataFolder() + orphan));
        QCOMPARE(bytesOf(dataFolder() + CFileMan::kSetAsideFolder + "/" + orphan), bytes);
        nothingSentNothingChanged();
    }

    // The same rig carries a sound recording to the PACS: the store above
    // was empty because nothing was sent, not because nothing could be.
    void soundRecordingReachesThePacs()
    {
        const int sound = m_app.makeRecording(0, 3, 100);
        QVERIFY(sound > 0);
        QVERIFY(bridge().fileMan()->assignPendingEcg(m_patientId, false));
        CDcmScheduler& scheduler = *bridge().dcmScheduler();
        // Its patient changed with the assignment: the damaged one is tried
        // again first and set aside again, the sound one goes at a later tick.
        for (int tick = 0; tick < 3 && m_app.dbValue("select pacsStatus from ecgTable where ecgId=?", {sound}).toInt() != 2;
             ++tick) {
            scheduler.backgroundUploadTimerExpired();
            QVERIFY(AppHarness::waitFor([&] { return !scheduler.isUploadInProgress(); }, kWaitMs));
        }
        QCOMPARE(m_app.dbValue("select pacsStatus from ecgTable where ecgId=?", {sound}).toInt(), 2);
        QCOMPARE(QDir(m_store.incomingFolder()).entryList(QDir::Files).size(), 1);
        QCOMPARE(scheduler.setAsideIds(), QList<int>{m_damagedId});
        QCOMPARE(bytesOf(m_damagedPath), m_damagedBytes);
    }
};

QTEST_MAIN(TstDamagedRecording)
#include "tst_damagedrecording.moc"
