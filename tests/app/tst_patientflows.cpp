// Patients and recordings through the bridge, against the real database and
// data folder, in three time zones: create, update, delete, selection,
// assignment of a live and of an imported recording, the birthday and age
// converters, and the PDF report of the shown recording.

#include "appharness.h"
#include "dbman.h"
#include "fileecg.h"
#include "fileman.h"
#include "filebytes.h"
#include "isolatedhome.h"
#include "localtime.h"
#include "patientflows.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <csignal>
#include <ctime>

#include <sys/resource.h>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

namespace {

// A stand-in for a view that is not part of main.qml: an item with exactly
// the properties and signals the bridge's tables give it.
QString standInQml(Item item)
{
    QString text = QStringLiteral("import QtQuick\nItem {\n");
    for (const auto& [id, info] : qml::propTable()) {
        if (info.item != item || qstrcmp(info.name, "visible") == 0)
            continue;
        const QMetaType t = info.type;
        const char* type = t == QMetaType::fromType<QString>() ? "string"
                           : t == QMetaType::fromType<int>()   ? "int"
                           : t == QMetaType::fromType<bool>()  ? "bool"
                                                               : "real";
        text += QStringLiteral("    property %1 %2\n").arg(QLatin1String(type), QLatin1String(info.name));
    }
    for (const auto& [id, info] : qml::callTable()) {
        if (info.item != item)
            continue;
        QStringList params;
        for (int i = 0; i < info.types.size(); ++i) {
            const QMetaType t = info.types[i];
            const char* type = t == QMetaType::fromType<QString>() ? "string"
                               : t == QMetaType::fromType<int>()   ? "int"
                                                                   : "bool";
            params << QStringLiteral("%1 %2").arg(QLatin1String(type), QString::fromLatin1(info.params[i]));
        }
        text += QStringLiteral("    signal %1(%2)\n").arg(QLatin1String(info.name), params.join(", "));
    }
    return text + "}\n";
}

// Writes past the limit fail (EFBIG) instead of ending the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

std::int64_t utc(int y, int m, int d, int h)
{
    return QDateTime(QDate(y, m, d), QTime(h, 0), Qt::UTC).toSecsSinceEpoch();
}

std::int64_t offsetAt(std::int64_t t)
{
    return localTimeStamp(static_cast<std::time_t>(t)) - t;
}

std::int64_t offsetNow()
{
    return offsetAt(std::time(nullptr));
}

void addZones()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("UTC") << QByteArray("UTC");
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
    QTest::newRow("New York") << QByteArray("America/New_York");
}

} // namespace

class TstPatientFlows : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    std::unique_ptr<QObject> m_patientView;
    std::unique_ptr<QObject> m_fileList;
    std::unique_ptr<QObject> m_popup;
    QTemporaryDir m_tmp;

    CQmlInterface& bridge() { return m_app.bridge(); }
    QVariant ui(const char* name) { return bridge().items().object(Item::UiData)->property(name); }
    QVariant pat(const char* name) { return m_patientView->property(name); }
    QObject* bottom() { return bridge().items().object(Item::BottomArea); }

    std::unique_ptr<QObject> standIn(Item item)
    {
        QQmlComponent component(m_app.engine());
        component.setData(standInQml(item).toUtf8(), QUrl());
        std::unique_ptr<QObject> object(component.create());
        if (!object)
            qWarning().noquote() << component.errorString();
        return object;
    }

    int scalar(const QString& sql, const QVariantList& values = {})
    {
        const QVariant value = m_app.dbValue(sql, values);
        return value.isValid() ? value.toInt() : -1;
    }

    QString fileOf(int ecgId)
    {
        QSqlQuery q(*bridge().dbMan()->database());
        q.prepare("select fileName from ecgTable where ecgId=?");
        q.addBindValue(ecgId);
        return q.exec() && q.next() ? q.value(0).toString() : QString();
    }

    QString dataPath(const QString& name) { return bridge().folders().dataFolder + name; }

    int createPatient(const QString& name, quint32 birth = 0)
    {
        bridge().patientUpdated(-1, name, "X-" + name, "Jana", "Novak", 2, "Beagle", 2, "12.5",
                                false, birth);
        return bridge().patientMan()->patientId;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_tmp.isValid());
        m_window = m_app.load();
        QVERIFY(m_window);
        QVERIFY(AppHarness::waitFor([&] { return m_app.bridge().updateAndTerms().setupCount() > 0; }));
        m_patientView = standIn(Item::PatientView);
        m_fileList = standIn(Item::FileList);
        m_popup = standIn(Item::PatientPopup);
        QVERIFY(m_patientView && m_fileList && m_popup);
        bridge().setPatientListDrawerObject(m_patientView.get());
        bridge().setFileListDrawerObject(m_fileList.get());
        bridge().setPatientSelectionPopupObject(m_popup.get());
        QVERIFY(bottom());
    }

    void cleanup()
    {
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }

    void birthdayInput_data() { addZones(); }
    void birthdayInput()
    {
        QFETCH(QByteArray, zone);
        inTimeZone(zone, [&] {
            const int year = QDateTime::currentDateTimeUtc().date().year();
            for (const QString& refused : {QString("3/2020"), QString("13/2020"), QString("00/2020"),
                                           QString("12/1968"), QString("ab/cdef"),
                                           QString("03/2020/1"), QString("01/%1").arg(year + 1)}) {
                m_patientView->setProperty("initializerBirthdayTs", 99.0);
                m_patientView->setProperty("initializerAgeYear", "x");
                bridge().checkBirthdayInput(refused);
                QCOMPARE(pat("initializerBirthdayTs").toDouble(), 0.0);
                QCOMPARE(pat("initializerAgeYear").toString(), QString("x"));
            }

            // 1 March 2020, 01:00 local standard time shifted by today's offset.
            const std::int64_t march = utc(2020, 3, 1, 1);
            const std::int64_t want = march + offsetNow() - offsetAt(utc(2020, 1, 15, 12));
            bridge().checkBirthdayInput("03/2020");
            QCOMPARE(static_cast<std::int64_t>(pat("initializerBirthdayTs").toDouble()), want);
            const std::int64_t days = (std::time(nullptr) - want) / 86400;
            QCOMPARE(pat("initializerAgeYear").toString(), QString::number(days / 365));

            // This year's January is still a birthday.
            bridge().checkBirthdayInput(QString("01/%1").arg(year));
            QVERIFY(pat("initializerBirthdayTs").toDouble() > 0);

            // 12/1969 is accepted: the age fields follow, the stamp is at most the offset.
            m_patientView->setProperty("initializerAgeYear", "x");
            bridge().checkBirthdayInput("12/1969");
            QVERIFY(pat("initializerAgeYear").toString() != "x");
            QVERIFY(std::abs(pat("initializerBirthdayTs").toDouble()) <= 14 * 3600);
        });
    }

    void ageInput_data() { addZones(); }
    void ageInput()
    {
        QFETCH(QByteArray, zone);
        inTimeZone(zone, [&] {
            for (const auto& [y, m] : {std::pair{"0", "12"}, {"1", "-1"}, {"-1", "0"}, {"200", "0"}}) {
                m_patientView->setProperty("initializerBirthdayTs", 99.0);
                m_patientView->setProperty("initializerBirthday", "x");
                bridge().checkAgeInput(y, m);
                QCOMPARE(pat("initializerBirthdayTs").toDouble(), 0.0);
                QCOMPARE(pat("initializerBirthday").toString(), QString("x"));
            }
            const QDate today = QDateTime::currentDateTimeUtc().date();
            const QDate first = QDate(today.year(), today.month(), 1).addMonths(-(2 * 12 + 3));
            bridge().checkAgeInput("2", "3");
            QCOMPARE(pat("initializerBirthday").toString(),
                     QString("%1/%2").arg(first.month(), 2, 10, QChar('0')).arg(first.year()));
            const std::int64_t at = utc(first.year(), first.month(), 1, 1);
            const auto ts = static_cast<std::int64_t>(pat("initializerBirthdayTs").toDouble());
            // mktime of 01:00 standard time: 01:00 UTC whenever today's offset is the standard one.
            QCOMPARE(ts, at + offsetNow() - offsetAt(utc(first.year(), 1, 15, 12)));
        });
    }

    void ageAndBirthdayTexts_data() { addZones(); }
    void ageAndBirthdayTexts()
    {
        QFETCH(QByteArray, zone);
        inTimeZone(zone, [&] {
            const std::int64_t now = std::time(nullptr);
            struct Case { std::int64_t daysAgo; const char* years; const char* months; };
            for (const Case& c : {Case{400, "1", "1"}, Case{364, "0", "11"}, Case{729, "1", "11"},
                                  Case{0, "0", "0"}, Case{-40, "0", "-1"}}) {
                bridge().patientDrawerPopulateAge(now - c.daysAgo * 86400 - 60);
                QCOMPARE(pat("initializerAgeYear").toString(), QString(c.years));
                QCOMPARE(pat("initializerAgeMonth").toString(), QString(c.months));
            }
            bridge().patientDrawerPopulateBirthday(0);
            QCOMPARE(pat("initializerBirthday").toString(), QString());
            bridge().patientDrawerPopulateBirthday(-5);
            QCOMPARE(pat("initializerBirthday").toString(), QString());
            bridge().patientDrawerPopulateBirthday(utc(2020, 3, 1, 1));
            QCOMPARE(pat("initializerBirthday").toString(), QString("03/2020"));
            // Past 2038: 64-bit time all the way.
            bridge().patientDrawerPopulateBirthday(utc(2040, 11, 15, 12));
            QCOMPARE(pat("initializerBirthday").toString(), QString("11/2040"));
        });
    }

    void createUpdateSelectDelete_data() { addZones(); }
    void createUpdateSelectDelete()
    {
        QFETCH(QByteArray, zone);
        inTimeZone(zone, [&] {
            CFileMan& files = *bridge().fileMan();
            const quint32 birth = static_cast<quint32>(utc(2019, 6, 1, 1));
            const int other = createPatient("Bello-" + zone);
            QVERIFY(other > 0);
            const int id = createPatient("Müller " + zone, birth);
            QVERIFY(id > 0 && id != other);
            QCOMPARE(ui("patientId").toInt(), id);
            QCOMPARE(ui("patientName").toString(), "Müller " + zone);
            QCOMPARE(scalar("select birthdate from patientTable where patientId=?", {id}),
                     static_cast<int>(birth));

            // Update: stored as typed, published.
            bridge().patientUpdated(id, "Müller 'Rex' " + zone, "E-7", "Jana", "Nováková", 3,
                                    "Beagle", 1, "7,5", true, birth);
            QCOMPARE(bridge().patientMan()->patientName, "Müller 'Rex' " + zone);
            QCOMPARE(ui("patientName").toString(), "Müller 'Rex' " + zone);
            QCOMPARE(scalar("select weightUnit from patientTable where patientId=?", {id}), 1);

            // The drawer: an existing patient, then a new one.
            QSignalSpy setValues(m_patientView.get(), SIGNAL(doSetValues()));
            bridge().setPatientCreatingNew(false);
            bridge().patientSelected(other);
            QCOMPARE(bridge().patientMan()->patientId, other);
            bridge().patientSelected(id);
            bridge().patientDrawerPopulateObject();
            QCOMPARE(pat("initializerPatId").toInt(), id);
            QCOMPARE(pat("initializerOLast").toString(), QString("Nováková"));
            QCOMPARE(pat("initializerGenderIndex").toInt(), 1);
            QCOMPARE(pat("initializerWeightUnitIsPound").toInt(), 1);
            QCOMPARE(pat("initializerBirthdayTs").toDouble(), double(birth));
            QCOMPARE(pat("initializerBirthday").toString(), QString("06/2019"));
            QCOMPARE(pat("initializerCurrentYear").toInt(), QDateTime::currentDateTimeUtc().date().year());
            QCOMPARE(setValues.count(), 1);
            bridge().patientSelected(-1);
            bridge().patientDrawerPopulateObject();
            QCOMPARE(pat("initializerPatId").toInt(), -1);
            QCOMPARE(pat("initializerSpeciesValue").toString(), QString("Unknown"));
            QCOMPARE(pat("initializerBirthdayTs").toDouble(), 0.0);
            QCOMPARE(setValues.count(), 1);
            bridge().setPatientCreatingNew(false);

            // Two recordings, then the patient goes with rows and files.
            const int ecg1 = m_app.makeRecording(id, 2);
            const int ecg2 = m_app.makeRecording(id, 2);
            QVERIFY(ecg1 > 0 && ecg2 > 0);
            const QString file1 = dataPath(fileOf(ecg1)), file2 = dataPath(fileOf(ecg2));
            QVERIFY(QFile::exists(file1) && QFile::exists(file2));
            bridge().selectNShowPatient(id, -1);
            QCOMPARE(files.currentEcgId(), ecg2);
            bridge().testPatientsForEcgs(id);
            QCOMPARE(pat("numberOfEcgsToPatient").toInt(), 2);
            QCOMPARE(bridge().fileGetCurrentModelIndex(), 0);
            QCOMPARE(m_fileList->property("dialogFileId").toInt(), ecg2);

            // The successor: the most recently changed of the others.
            const int successor = scalar("select patientId from patientTable where patientId<>? "
                                         "order by tsLastChanged desc, patientId desc limit 1", {id});
            QSignalSpy alert(bottom(), SIGNAL(qmlAlertBoxFileWriteError(bool)));
            bridge().patientDeleted(id);
            QCOMPARE(alert.count(), 0);
            QCOMPARE(scalar("select count(*) from patientTable where patientId=?", {id}), 0);
            QCOMPARE(scalar("select count(*) from ecgTable where patientId=?", {id}), 0);
            QVERIFY(!QFile::exists(file1) && !QFile::exists(file2));
            QCOMPARE(bridge().patientMan()->patientId, successor);
            QCOMPARE(ui("patientId").toInt(), successor);
            bridge().testPatientsForEcgs(id);
            QCOMPARE(pat("numberOfEcgsToPatient").toInt(), 0);
        });
    }

    void deletionReportsAFileThatStays()
    {
        const int id = createPatient("Stubborn");
        const int ecg = m_app.makeRecording(id, 1);
        const QString path = dataPath(fileOf(ecg));
        bridge().selectNShowPatient(id, -1);
        // A non-empty folder in the recording's place can't be removed as a file.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path + "/inside"));
        QSignalSpy alert(bottom(), SIGNAL(qmlAlertBoxFileWriteError(bool)));
        bridge().patientDeleted(id);
        QCOMPARE(alert.count(), 1);
        QCOMPARE(scalar("select count(*) from ecgTable where patientId=?", {id}), 0);
        QCOMPARE(scalar("select count(*) from patientTable where patientId=?", {id}), 0);
        QVERIFY(QDir(path).removeRecursively());
    }

    void creatingWhileAPendingRecordingIsShownKeepsIt()
    {
        const int keep = createPatient("Keeper");
        bridge().setUiDataDisplayState(4);
        createPatient("Newcomer");
        QCOMPARE(ui("patientId").toInt(), keep);
        bridge().setUiDataDisplayState(0);
    }

    void assignLiveRecording_data() { addZones(); }
    void assignLiveRecording()
    {
        QFETCH(QByteArray, zone);
        inTimeZone(zone, [&] {
            CFileMan& files = *bridge().fileMan();
            const int owner = createPatient("Owner " + zone);
            // The recording as the live view writes it: patient 0 until assigned.
            const int pending = m_app.makeRecording(0, 2);
            QVERIFY(pending > 0);
            QCOMPARE(files.currentPatientId(), 0);
            bridge().setUiDataDisplayState(4);
            const QString before = fileOf(pending);

            bridge().ecgPatientAssignment(owner);
            QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {pending}), owner);
            const QString after = fileOf(pending);
            QVERIFY(after.startsWith(QString::number(owner) + "_"));
            QVERIFY(QFile::exists(dataPath(after)) && !QFile::exists(dataPath(before)));
            QCOMPARE(ui("displayState").toInt(), 0);
            QCOMPARE(ui("fileName").toString(), after);
            QCOMPARE(files.currentEcgId(), pending);

            // An assigned recording is never given away again.
            QSignalSpy alert(bottom(), SIGNAL(qmlAlertBoxFileWriteError(bool)));
            const int thief = createPatient("Thief " + zone);
            bridge().selectNShowPatient(owner, pending);
            bridge().ecgPatientAssignment(thief);
            QCOMPARE(alert.count(), 1);
            QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {pending}), owner);

            // Discarding a pending recording removes row and file.
            const int discard = m_app.makeRecording(0, 1);
            const QString discardFile = dataPath(fileOf(discard));
            bridge().ecgPatientAssignmentAborted();
            QCOMPARE(scalar("select count(*) from ecgTable where ecgId=?", {discard}), 0);
            QVERIFY(!QFile::exists(discardFile));
            // An assigned one is not discarded.
            bridge().selectNShowPatient(owner, pending);
            bridge().ecgPatientAssignmentAborted();
            QCOMPARE(scalar("select count(*) from ecgTable where ecgId=?", {pending}), 1);
        });
    }

    void assignImport_data() { addZones(); }
    void assignImport()
    {
        QFETCH(QByteArray, zone);
        inTimeZone(zone, [&] {
            CFileMan& files = *bridge().fileMan();
            const int donor = createPatient("Donor " + zone);
            const int donorEcg = m_app.makeRecording(donor, 20);
            const QString source = m_tmp.filePath("import-" + zone.replace('/', '-') + ".ecg");
            QFile::remove(source);
            QVERIFY(QFile::copy(dataPath(fileOf(donorEcg)), source));
            const qint64 size = QFileInfo(source).size();
            const int target = createPatient("Target " + zone);
            const std::int64_t start = utc(2025, 7, 4, 10);
            QSignalSpy alert(bottom(), SIGNAL(qmlAlertBoxFileWriteError(bool)));

            // The copy stops short (the file size limit cuts the output): no
            // row, no partial output, the input kept, the alert.
            ImportHandOver& hand = bridge().patientFlows().importHandOver();
            hand = {source, source, start, {}};
            const int rowsBefore = scalar("select count(*) from ecgTable");
            const QStringList filesBefore = QDir(bridge().folders().dataFolder).entryList(QDir::Files);
            {
                FileSizeLimit limit(size / 2);
                bridge().ecgPatientAssignmentFromImport(target);
            }
            QCOMPARE(alert.count(), 1);
            QCOMPARE(scalar("select count(*) from ecgTable"), rowsBefore);
            QCOMPARE(QDir(bridge().folders().dataFolder).entryList(QDir::Files), filesBefore);
            QVERIFY(QFile::exists(source));
            QVERIFY(!files.hasPendingReservation());

            // The real thing: a whole copy, given to the patient, shown.
            bridge().ecgPatientAssignmentFromImport(target);
            QCOMPARE(alert.count(), 1);
            const int ecg = files.currentEcgId();
            QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {ecg}), target);
            QCOMPARE(scalar("select count(*) from ecgTable"), rowsBefore + 1);
            const QString copy = dataPath(fileOf(ecg));
            QVERIFY(fileOf(ecg).startsWith(QString::number(target) + "_"));
            QCOMPARE(QFileInfo(copy).size(), size);
            QCOMPARE(ui("displayState").toInt(), 0);
            QCOMPARE(ui("patientId").toInt(), target);
            // The temporary source is gone, the hand-over empty.
            QVERIFY(!QFile::exists(source));
            QVERIFY(hand.sourcePath.isEmpty() && hand.temporaryPath.isEmpty());

            // Nothing handed over: the read alert, nothing stored.
            QSignalSpy readAlert(bottom(), SIGNAL(qmlAlertBoxFileReadError(QString)));
            bridge().ecgPatientAssignmentFromImport(target);
            QCOMPARE(readAlert.count(), 1);
            QCOMPARE(scalar("select count(*) from ecgTable"), rowsBefore + 1);
        });
    }

    // A worklist entry chosen for an import: the patient comes from the entry,
    // the copy carries the entry's study UID and study time; an entry that
    // can't be read stops the flow with nothing made or assigned.
    void worklistEntryTakesTheImport()
    {
        CFileMan& files = *bridge().fileMan();
        const int donor = createPatient("Worklist donor");
        const int donorEcg = m_app.makeRecording(donor, 20);
        const QString source = m_tmp.filePath("worklist-import.ecg");
        QFile::remove(source);
        QVERIFY(QFile::copy(dataPath(fileOf(donorEcg)), source));
        const qint64 size = QFileInfo(source).size();
        const std::int64_t studyTime = utc(2024, 11, 2, 9);
        const QString study = QStringLiteral("1.2.826.0.1.3680043.10.543.901");
        {
            QSqlQuery q(*bridge().dbMan()->database());
            QVERIFY(q.exec("delete from worklistTable"));
            q.prepare("insert into worklistTable (idx, extId, patientName, ownerFirst, ownerLast, "
                      "species, sex, tsStudy, sUuid) values (?, ?, ?, ?, ?, ?, ?, ?, ?)");
            for (const QVariant& v : QVariantList{3, "WL-77", "Pünktchen", "Ola", "Berg", 1, 2,
                                                  qint64(studyTime), study})
                q.addBindValue(v);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        }
        QSignalSpy readAlert(bottom(), SIGNAL(qmlAlertBoxFileReadError(QString)));
        ImportHandOver& hand = bridge().patientFlows().importHandOver();
        const int patientsBefore = scalar("select count(*) from patientTable");
        const int rowsBefore = scalar("select count(*) from ecgTable");

        // No entry 4: the read alert, no patient, nothing stored, the import kept.
        hand = {source, source, utc(2025, 1, 1, 1), {}};
        bridge().dcmMwlItemSelectedForImport(4);
        QCOMPARE(readAlert.count(), 1);
        QCOMPARE(scalar("select count(*) from patientTable"), patientsBefore);
        QCOMPARE(scalar("select count(*) from ecgTable"), rowsBefore);
        QCOMPARE(hand.sourcePath, source);
        QVERIFY(!files.hasPendingReservation());

        bridge().dcmMwlItemSelectedForImport(3);
        QCOMPARE(readAlert.count(), 1);
        const int patient = bridge().patientMan()->patientId;
        QVERIFY(patient > 0 && patient != donor);
        QCOMPARE(scalar("select count(*) from patientTable where patientId=? and extId='WL-77'",
                        {patient}),
                 1);
        const int ecg = files.currentEcgId();
        QCOMPARE(scalar("select count(*) from ecgTable"), rowsBefore + 1);
        QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {ecg}), patient);
        QSqlQuery row(*bridge().dbMan()->database());
        row.prepare("select pacsStudyUuid, ecgTime from ecgTable where ecgId=?");
        // ecgTime: the study time, as every time column, in local time.
        row.addBindValue(ecg);
        QVERIFY(row.exec() && row.next());
        QCOMPARE(row.value(0).toString(), study);
        QCOMPARE(row.value(1).toLongLong(), qint64(studyTime));
        const QString copy = dataPath(fileOf(ecg));
        QCOMPARE(QFileInfo(copy).size(), size);
        CFileEcg header;
        QVERIFY(header.openFileReadOnly(QFile::encodeName(copy).toStdString()));
        QCOMPARE(header.recordingTime, studyTime);
        QCOMPARE(QString::fromStdString(header.extPatientId), QStringLiteral("WL-77"));
        header.close();
        QCOMPARE(ui("patientId").toInt(), patient);
        QVERIFY(!QFile::exists(source));
        QVERIFY(hand.sourcePath.isEmpty() && hand.temporaryPath.isEmpty());

        // Nothing handed over any more: the read alert, no second patient.
        const int patientsAfter = scalar("select count(*) from patientTable");
        bridge().dcmMwlItemSelectedForImport(3);
        QCOMPARE(readAlert.count(), 2);
        QCOMPARE(scalar("select count(*) from patientTable"), patientsAfter);
        QCOMPARE(scalar("select count(*) from ecgTable"), rowsBefore + 1);
    }

    // A worklist entry whose patient can't take the pending recording (a file
    // of the name it would get is in the way): the alert, and the pending
    // recording stays current and shown, waiting, with the patient shown
    // before it; nothing else is put on the screen.
    void worklistFailureKeepsThePendingRecording()
    {
        CFileMan& files = *bridge().fileMan();
        const int shown = createPatient("Shown before");
        const int entryPatient = bridge().patientMan()->createPatient(
            "Lotte", "WL-9", "Ina", "Roth", 2, 2, 8.0f, 0, QString(), 0, QString(), QString());
        QVERIFY(entryPatient > 0);
        {
            QSqlQuery q(*bridge().dbMan()->database());
            QVERIFY(q.exec("delete from worklistTable"));
            q.prepare("insert into worklistTable (idx, extId, patientName, ownerFirst, ownerLast, species, "
                      "sex, tsStudy, sUuid) values (7, 'WL-9', 'Lotte', 'Ina', 'Roth', 2, 2, 0, '1.2.3.4.9')");
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        }
        bridge().selectNShowPatient(shown, -1);
        const int pending = m_app.makeRecording(0, 2, 100);
        QVERIFY(pending > 0);
        bridge().setUiDataDisplayState(4);
        bridge().showFile();
        const QString pendingName = fileOf(pending);
        const QString blocking = dataPath(QString::number(entryPatient) + CFileMan::nameAfterPatient(pendingName));
        QVERIFY(writeFileBytes(blocking, "in the way"));
        QSignalSpy writeAlert(bottom(), SIGNAL(qmlAlertBoxFileWriteError(bool)));
        QSignalSpy refresh(bridge().items().object(Item::EcgChart), SIGNAL(qmlRefreshEcgData()));

        bridge().dcmMwlItemSelected(7);
        QCOMPARE(writeAlert.count(), 1);
        QCOMPARE(files.currentEcgId(), pending);
        QVERIFY(files.isStoredFileOpen());
        QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {pending}), 0);
        QCOMPARE(fileOf(pending), pendingName);
        QVERIFY(QFile::exists(dataPath(pendingName)));
        QCOMPARE(ui("displayState").toInt(), 4);
        QCOMPARE(ui("fileName").toString(), pendingName);
        QCOMPARE(refresh.count(), 0);
        QCOMPARE(bridge().patientMan()->patientId, shown);

        // The way cleared, the same entry takes it.
        QVERIFY(QFile::remove(blocking));
        bridge().dcmMwlItemSelected(7);
        QCOMPARE(writeAlert.count(), 1);
        QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {pending}), entryPatient);
        QCOMPARE(ui("displayState").toInt(), 0);
        QCOMPARE(ui("patientId").toInt(), entryPatient);
    }

    void popupAndConfirmation()
    {
        QSignalSpy open(m_popup.get(), SIGNAL(qmlOpenPopup(QString, QString, QString, QString, QString,
                                                          QString, QString, QString, QString)));
        bridge().patientSelectionPending("Rex", "E1", "Jana Novak", "Dog", "Beagle", "Male", "2Y3M",
                                         "7.5Kg", "01-Mar-2026");
        QCOMPARE(open.count(), 1);
        QCOMPARE(open.at(0).at(0).toString(), QString("Rex"));
        QCOMPARE(open.at(0).at(8).toString(), QString("01-Mar-2026"));
        QSignalSpy confirmed(m_patientView.get(), SIGNAL(qmlSelectionConfirmed(bool)));
        QSignalSpy fromImport(m_patientView.get(), SIGNAL(qmlSelectionConfirmedFromImport(bool)));
        bridge().patientSelectionConfirmed(true, false);
        bridge().patientSelectionConfirmed(false, true);
        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(confirmed.at(0).at(0).toBool(), true);
        QCOMPARE(fromImport.count(), 1);
        QCOMPARE(fromImport.at(0).at(0).toBool(), false);
    }

    void imagesAreBound()
    {
        createPatient("Pictured");
        const QString odd = "C:/pics/O'Brien's dog; drop table x.png";
        QVERIFY(bridge().storeImage(odd));
        QVERIFY(bridge().storeImage("second.png"));
        QCOMPARE(bridge().patientFlows().retrieveImages(), QStringList({odd, "second.png"}));
    }

    void saveAsPdfWritesTheReport()
    {
        const int id = createPatient("Müller");
        const int ecg = m_app.makeRecording(id, 12);
        bridge().selectNShowPatient(id, ecg);
        const QString folder = m_tmp.filePath("reports");
        QVERIFY(QDir().mkpath(folder));
        QSignalSpy alert(bottom(), SIGNAL(qmlAlertBoxExportError(QString)));
        bridge().saveAsPdf(QUrl::fromLocalFile(folder));
        QCOMPARE(alert.count(), 0);
        QCOMPARE(ui("busyIndicatorRunning").toBool(), false);
        const QStringList pdfs = QDir(folder).entryList({"*.pdf"});
        QCOMPARE(pdfs.size(), 1);
        QVERIFY(pdfs.first().startsWith("Müller_"));
        QProcess info;
        info.start("pdfinfo", {QDir(folder).filePath(pdfs.first())});
        QVERIFY(info.waitForFinished(20000));
        const QString out = QString::fromUtf8(info.readAllStandardOutput());
        QCOMPARE(info.exitCode(), 0);
        QVERIFY2(out.contains(QRegularExpression("Pages:\\s+[1-9]")), qPrintable(out));
        QVERIFY2(out.contains("(A4)"), qPrintable(out));

        // A report asked for while a queued answer is about to show another
        // recording is the report of that recording, named for it: the
        // answer runs while the busy indicator comes up, before the report
        // is taken.
        const int other = createPatient("Zoë");
        const int otherEcg = m_app.makeRecording(other, 40);
        // At 25 mm/s the 12 s recording prints one page, the 40 s one two.
        bridge().setViewerParams(1, 10, 25, false, false, false, false, true);
        bridge().selectNShowPatient(id, ecg);
        QMetaObject::invokeMethod(
            &bridge(), [this, other, otherEcg] { bridge().selectNShowPatient(other, otherEcg); },
            Qt::QueuedConnection);
        const QString switched = m_tmp.filePath("switched");
        QVERIFY(QDir().mkpath(switched));
        bridge().saveAsPdf(QUrl::fromLocalFile(switched));
        QCOMPARE(alert.count(), 0);
        const QString expected = "Zoë_" + QFileInfo(fileOf(otherEcg)).baseName() + ".pdf";
        QCOMPARE(QDir(switched).entryList({"*.pdf"}), QStringList{expected});
        auto pagesOf = [](const QString& path) {
            QProcess p;
            p.start("pdfinfo", {path});
            p.waitForFinished(20000);
            const QRegularExpressionMatch m =
                QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromUtf8(p.readAllStandardOutput()));
            return m.hasMatch() ? m.captured(1).toInt() : -1;
        };
        const QString direct = m_tmp.filePath("direct");
        QVERIFY(QDir().mkpath(direct));
        bridge().saveAsPdf(QUrl::fromLocalFile(direct));
        const int otherPages = pagesOf(QDir(direct).filePath(expected));
        QVERIFY(otherPages > 0);
        QCOMPARE(pagesOf(QDir(switched).filePath(expected)), otherPages);
        QCOMPARE(otherPages, 2);

        // A folder that can't be written, and no recording at all: the alert.
        bridge().saveAsPdf(QUrl::fromLocalFile(m_tmp.filePath("missing/deeper")));
        QCOMPARE(alert.count(), 1);
        const int empty = createPatient("Empty");
        bridge().selectNShowPatient(empty, -1);
        bridge().saveAsPdf(QUrl::fromLocalFile(folder));
        QCOMPARE(alert.count(), 2);
        QCOMPARE(QDir(folder).entryList({"*.pdf"}).size(), 1);
    }
};

QTEST_MAIN(TstPatientFlows)
#include "tst_patientflows.moc"
