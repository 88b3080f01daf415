#include <QtTest>
#include <QTemporaryDir>

#include "dcmmovescu.h"
#include "dcmquerytestutil.h"
#include "dicomrig.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/oflog/oflog.h>

using namespace dicomrig;
using namespace querytest;

// The worklist, the PACS query and the fetch against Orthanc, a PACS that
// keeps the veterinary attributes and matches Modalities in Study.
class TestDcmOrthanc : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void worklistWithAnimalFields();
    void pacsListsOnlyEcgStudies();
    void fetchFromOrthanc();
    void nameAloneFindsPatientsWithoutOwner_data();
    void nameAloneFindsPatientsWithoutOwner();

private:
    QTemporaryDir m_dir;
    CDbMan* m_db = nullptr;
    ToolPeer m_orthanc;
    quint16 m_localPort = 0;
    QString m_ecgStudy;
    QString m_ecgInstance;
};

namespace {

QString uidOf(const QString& path, const DcmTagKey& tag)
{
    DcmFileFormat file;
    if (file.loadFile(QFile::encodeName(path).constData()).bad())
        return {};
    OFString uid;
    file.getDataset()->findAndGetOFString(tag, uid);
    return QString::fromLatin1(uid.c_str());
}

qint64 utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

}

void TestDcmOrthanc::initTestCase()
{
    if (!ToolPeer::orthancInstalled())
        QSKIP("Orthanc with its worklist plug-in is not installed (tools/install-deps)");
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
    QVERIFY(m_dir.isValid());
    int from = 0, to = 0;
    QDir(m_dir.path()).mkdir("db");
    m_db = new CDbMan(m_dir.filePath("db"), from, to);
    QVERIFY2(m_db->isOk(), qPrintable(m_db->errorText()));

    m_localPort = freePort();
    QVERIFY(m_orthanc.startOrthanc(m_dir.path(), "ORTHANC", {{"MALVORANT", m_localPort}}));

    // The archive: an ECG study with a veterinary patient, and a CT study.
    const QString ecg = m_dir.filePath("ecg.dcm");
    const QString ct = m_dir.filePath("ct.dcm");
    m_ecgInstance = writeEcgFile(ecg);
    QVERIFY(!m_ecgInstance.isEmpty());
    QVERIFY(!writeEcgFile(ct, UID_CTImageStorage).isEmpty());
    QCOMPARE(runTool("dcmodify", {"-nb", "-i", "(0010,2201)=Canine", "-i", "(0010,2292)=Beagle",
                                  "-i", "(0010,1030)=31.50", ecg}),
             0);
    QCOMPARE(runTool("dcmodify", {"-nb", "-m", "(0008,0060)=CT", "-m", "(0010,0020)=P-0099", ct}), 0);
    m_ecgStudy = uidOf(ecg, DCM_StudyInstanceUID);
    QCOMPARE(runTool("storescu", {"-aec", "ORTHANC", "127.0.0.1", QString::number(m_orthanc.port()),
                                  ecg, ct}),
             0);
}

void TestDcmOrthanc::cleanupTestCase()
{
    m_orthanc.stop();
    delete m_db;
    m_db = nullptr;
}

void TestDcmOrthanc::worklistWithAnimalFields()
{
    const QString folder = m_orthanc.worklistFolder();
    QVERIFY(writeKeysFile(folder + "/a.wl",
                          worklistItem({"SpecificCharacterSet=ISO_IR 192",
                                        "PatientName=Åström^Fjällräv", "PatientID=W1",
                                        "ResponsiblePerson=Åström^Märta",
                                        "PatientSpeciesDescription=Canine",
                                        "PatientBreedDescription=Spitz", "PatientSex=F",
                                        "PatientBirthDate=20200229", "PatientWeight=8.250"})));
    QVERIFY(writeKeysFile(folder + "/b.wl",
                          worklistItem({"PatientName=Bauer^Mieze", "PatientID=W2",
                                        "AccessionNumber=ACC2", "PatientSpeciesDescription=feline",
                                        "PatientSex=M", "StudyInstanceUID=1.2.826.0.1.3680043.2.1.2"})));
    const JobResult r = runOnWorker(request(true, m_orthanc.port(), m_orthanc.aeTitle()));
    QCOMPARE(r.code, 0);
    QStringList rows = tableRows("worklistTable",
                                 "extId, patientName, ownerFirst, ownerLast, species, breed, sex, "
                                 "birthdate, weight, tsStudy, sUuid");
    rows.sort();
    const QString day = QString::number(utc(2026, 1, 15));
    QCOMPARE(rows, (QStringList{"W1|Fjällräv|Märta|Åström|2|Spitz|2|"
                                    + QString::number(utc(2020, 2, 29)) + "|8.25|" + day
                                    + "|1.2.826.0.1.3680043.2.1.1",
                                "W2|Mieze||Bauer|3||1|0|0|" + day + "|1.2.826.0.1.3680043.2.1.2"}));
}

void TestDcmOrthanc::pacsListsOnlyEcgStudies()
{
    const JobResult r = runOnWorker(request(false, m_orthanc.port(), m_orthanc.aeTitle()));
    QCOMPARE(r.code, 0);
    QCOMPARE(tableRows("pacsTable", "idx, extId, patientName, ownerLast, accno, sUuid, species, "
                                    "breed, sex, birthdate, weight, tsStudy"),
             (QStringList{QString("0|P-0042|Miller|Rex|ACC0001|%1|2|Beagle|1|%2|31.5|%3")
                              .arg(m_ecgStudy)
                              .arg(utc(2019, 3, 1))
                              .arg(utc(2026, 1, 15, 10, 15, 30))}));
}

void TestDcmOrthanc::fetchFromOrthanc()
{
    QTemporaryDir out;
    {
        CDcmMoveScu scu;
        scu.setTimeouts(10, 10);
        QCOMPARE(scu.getFile("dcm_o", "127.0.0.1", m_orthanc.port(), "ORTHANC", "MALVORANT",
                             m_localPort, out.path().toStdString(), m_ecgStudy.toStdString()),
                 0);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{"dcm_o"});
        QCOMPARE(uidOf(out.filePath("dcm_o"), DCM_SOPInstanceUID), m_ecgInstance);
    }
    {
        // An AE title Orthanc does not know as a destination: nothing comes.
        QTemporaryDir other;
        CDcmMoveScu scu;
        scu.setTimeouts(10, 10);
        QCOMPARE(scu.getFile("dcm_x", "127.0.0.1", m_orthanc.port(), "ORTHANC", "STRANGER",
                             freePort(), other.path().toStdString(), m_ecgStudy.toStdString()),
                 0);
        QCOMPARE(QDir(other.path()).entryList(QDir::Files), QStringList{});
        QVERIFY(!scu.getLastError().empty());
    }
}

// The animal's name alone finds a patient stored without owner surname (as
// our export writes one) and one with, on the worklist and the PACS list;
// the neutered state comes along into the sex code.
void TestDcmOrthanc::nameAloneFindsPatientsWithoutOwner_data()
{
    QTest::addColumn<bool>("worklist");
    QTest::newRow("worklist") << true;
    QTest::newRow("PACS list") << false;
}

void TestDcmOrthanc::nameAloneFindsPatientsWithoutOwner()
{
    QFETCH(bool, worklist);
    // name, patient id, neutered
    const QList<QStringList> patients{{"Minka", "M1", "ALTERED"}, {"Smith^Minka", "M2", "UNALTERED"},
                                      {"Minkamann^Rex", "M3", ""}};
    for (int i = 0; i < patients.size(); ++i) {
        const QStringList& p = patients[i];
        const QString uid = QString("1.2.826.0.1.3680043.2.7.%1").arg(i);
        if (worklist) {
            QStringList keys{"PatientName=" + p[0], "PatientID=" + p[1], "PatientSex=F",
                             "StudyInstanceUID=" + uid};
            if (!p[2].isEmpty())
                keys << "PatientSexNeutered=" + p[2];
            QVERIFY(writeKeysFile(QString("%1/minka%2.wl").arg(m_orthanc.worklistFolder()).arg(i),
                                  worklistItem(keys)));
            continue;
        }
        const QString file = m_dir.filePath(QString("minka%1.dcm").arg(i));
        QVERIFY(!writeEcgFile(file).isEmpty());
        QStringList args{"-nb", "-m", "(0010,0010)=" + p[0], "-m", "(0010,0020)=" + p[1], "-m",
                         "(0010,0040)=F", "-m", "(0020,000d)=" + uid};
        if (!p[2].isEmpty())
            args << "-i" << "(0010,2203)=" + p[2];
        QCOMPARE(runTool("dcmodify", args << file), 0);
        QCOMPARE(runTool("storescu", {"-aec", "ORTHANC", "127.0.0.1", QString::number(m_orthanc.port()), file}),
                 0);
    }
    DcmQueryRequest r = request(worklist, m_orthanc.port(), m_orthanc.aeTitle());
    r.patientName = "Minka";
    QCOMPARE(runOnWorker(r).code, 0);
    QStringList rows = tableRows(worklist ? "worklistTable" : "pacsTable", "extId, ownerLast, patientName, sex");
    rows.sort();
    QCOMPARE(rows, (QStringList{"M1||Minka|4", "M2|Smith|Minka|2"}));
}

QTEST_GUILESS_MAIN(TestDcmOrthanc)
#include "tst_dcmorthanc.moc"
