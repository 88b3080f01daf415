#include "importexport.h"

#include "dbman.h"
#include "dcmexportpatient.h"
#include "dcmfile.h"
#include "debuglog.h"
#include "ecgbuffer.h"
#include "exportpaths.h"
#include "fileecg.h"
#include "fileman.h"
#include "patientflows.h"
#include "patientman.h"
#include "qmlitems.h"
#include "replacequestion.h"
#include "settingsman.h"
#include "uitexts.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <filesystem>
#include <system_error>

using namespace qml;

namespace {

// What a destination looked like before it was written, so that a failure
// removes only what was written.
struct Destination
{
    explicit Destination(const QString& path) : path(path)
    {
        const QFileInfo info(path);
        existed = info.exists();
        size = info.size();
        modified = info.lastModified();
    }

    void removeIfWritten() const
    {
        const QFileInfo now(path);
        const bool untouched = existed && now.exists() && now.size() == size && now.lastModified() == modified;
        if (now.exists() && !untouched && !QFile::remove(path))
            debugLogError("CQmlInterface: unable to remove the partial file " + path.toStdString());
    }

    QString path;
    bool existed = false;
    qint64 size = 0;
    QDateTime modified;
};

// Birth dates are kept as seconds of midnight UTC; the header holds the date alone.
std::int64_t birthdateOfHeader(const std::string& text)
{
    const QDate date = QDate::fromString(QString::fromStdString(text), QStringLiteral("d.M.yyyy"));
    if (!date.isValid())
        return 0;
    const qint64 seconds = QDateTime(date, QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
    return seconds < 0 ? 0 : seconds;
}

// The recording's own file is never a destination, whatever the folder and name.
bool isSameFile(const QString& a, const QString& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(std::filesystem::path(a.toStdU16String()),
                                       std::filesystem::path(b.toStdU16String()), ec)
           && !ec;
}

} // namespace

ImportExport::ImportExport(QmlItems& items, const EngineParts& engine, PatientFlows& patients,
                           ReplaceQuestion& replaceQuestion)
    : m_items(items), m_engine(engine), m_patients(patients), m_replaceQuestion(replaceQuestion)
{
}

void ImportExport::exportFailed()
{
    m_items.invoke<C::QmlAlertBoxExportError>(QString());
    debugLogError("Export Failed !!!!");
}

bool ImportExport::writeBackShownRecording()
{
    CEcgBuffer& buffer = m_engine.files->ecgBuffer();
    if (!buffer.writeBackTypes())
        return false;
    CFileEcg* file = buffer.getFileEcg();
    return !file || !file->isOpen() || file->writeBackChanges();
}

void ImportExport::exportEcg(const QUrl& exportUrl, const QString& agreedReplace)
{
    if (!m_engine.files) {
        debugLogError("Export Failed !!!!");
        return;
    }
    if (m_engine.importHandOver)
        m_engine.importHandOver->temporaryPath.clear();
    const QString name = exportPatientName();
    const QString fileName = m_engine.files->currentFileName();
    const QString folder = exportpaths::localPathOf(exportUrl);
    if (fileName.isEmpty() || folder.isEmpty()) {
        exportFailed();
        return;
    }
    const QString source = m_engine.files->dataFolder() + fileName;
    if (refusedForExport(source))
        return;
    const QString destination = exportpaths::exportDataPath(folder, name, fileName);
    debugLog(2, "CQmlInterface::exportEcg() " + source.toStdString() + " to " + destination.toStdString());
    if (isSameFile(source, destination)) {
        debugLogError("CQmlInterface::exportEcg() refusing to export the recording onto itself");
        exportFailed();
        return;
    }
    // Beat types changed in the view belong to the exported file.
    if (!writeBackShownRecording()) {
        exportFailed();
        return;
    }
    const auto outcome = stagedwrite::writeFile(destination, destination == agreedReplace, [&](const QString& staging) {
        return m_engine.files->ecgBuffer().copyEcgFile(source.toStdString(), staging.toStdString(), false, nullptr)
               >= 0;
    });
    placed(outcome, exportUrl, false, destination);
}

void ImportExport::exportDcm(const QUrl& exportUrl, const QString& agreedReplace)
{
    if (!m_engine.files || !m_engine.patients) {
        debugLogError("Export Failed !!!!");
        return;
    }
    const QString fileName = m_engine.files->currentFileName();
    const QString folder = exportpaths::localPathOf(exportUrl);
    if (fileName.isEmpty() || folder.isEmpty()) {
        exportFailed();
        return;
    }
    const QString source = m_engine.files->dataFolder() + fileName;
    if (refusedForExport(source))
        return;
    const QString destination = exportpaths::exportDicomPath(folder, exportPatientName(), fileName);
    debugLog(2, "CQmlInterface::exportDcm() " + source.toStdString() + " to " + destination.toStdString());
    if (isSameFile(source, destination)) {
        debugLogError("CQmlInterface::exportDcm() refusing to export the recording onto itself");
        exportFailed();
        return;
    }
    if (!writeBackShownRecording()) {
        exportFailed();
        return;
    }

    // The recording's own patient as it is now, not the one on screen; a
    // recording without a patient names none.
    DcmExportPatient patient;
    if (!loadExportPatient(CDbMan::threadDatabase(), fileName, patient)) {
        exportFailed();
        return;
    }
    CDcmFile dcm;
    dcm.setPatient(patient);
    // The study this recording was made in, the one a PACS send names too.
    dcm.studyInstanceUid = m_engine.files->currentStudyUid();

    const auto outcome = stagedwrite::writeFile(destination, destination == agreedReplace, [&](const QString& staging) {
        return dcm.ecgToDicomConversion(source, staging, m_engine.settings->dcmInstitutionName) == 0;
    });
    if (outcome == stagedwrite::Outcome::Failed && !dcm.refusalReason.isEmpty()) {
        m_items.invoke<C::QmlAlertBoxFileReadError>(uitexts::refusedRecording(dcm.refusalReason));
        return;
    }
    placed(outcome, exportUrl, true, destination);
}

bool ImportExport::refusedForExport(const QString& source)
{
    // A file that is no recording is not passed on as one, not even as a copy.
    const std::string refusal = CFileEcg::refusalOf(source.toStdString());
    if (refusal.empty())
        return false;
    debugLogError("CQmlInterface: export of " + source.toStdString() + " refused: " + refusal);
    m_items.invoke<C::QmlAlertBoxFileReadError>(uitexts::refusedRecording(QString::fromStdString(refusal)));
    return true;
}

QString ImportExport::exportPatientName() const
{
    return m_engine.patients ? m_engine.patients->patientName : QString();
}

void ImportExport::placed(stagedwrite::Outcome outcome, const QUrl& exportUrl, bool dicom, const QString& path)
{
    if (outcome == stagedwrite::Outcome::Exists) {
        m_replaceQuestion.ask(dicom ? ReplaceQuestion::Kind::ExportDcm : ReplaceQuestion::Kind::ExportEcg,
                              exportUrl, path);
        return;
    }
    if (outcome != stagedwrite::Outcome::Written) {
        exportFailed();
        return;
    }
    const QFileInfo info(path);
    debugLog(2, "CQmlInterface: exported " + path.toStdString());
    m_items.invoke<C::QmlAlertBoxFileSaved>(info.fileName(), QDir::toNativeSeparators(info.absolutePath()));
}

void ImportExport::getExportFileName()
{
    if (!m_engine.files) {
        debugLogError("No File currently open, failed to export");
        return;
    }
    const QString fileName = m_engine.files->currentFileName();
    if (fileName.isEmpty()) {
        debugLogError("No Filename set, failed to export");
        return;
    }
    // The names the files are written under, the patient's name in front.
    const QString name = exportPatientName();
    m_items.set<P::ExportDataFileName>(exportpaths::exportDataName(name, fileName));
    m_items.set<P::ExportDicomFileName>(exportpaths::exportDicomName(name, fileName));
}

void ImportExport::importEcg(const QUrl& url)
{
    const QString path = exportpaths::localPathOf(url);
    debugLog(4, "CQmlInterface::importEcg() " + path.toStdString());
    switch (exportpaths::importKindOf(path)) {
    case exportpaths::ImportKind::Recording:
        importRecording(path);
        break;
    case exportpaths::ImportKind::Dicom:
        importDicom(path);
        break;
    case exportpaths::ImportKind::Unreadable:
        debugLogError("CQmlInterface::importEcg() can't be opened: " + path.toStdString());
        refuseImport(QStringLiteral("It can't be opened: check that it still exists and that you may read it."));
        break;
    default:
        debugLogError("CQmlInterface::importEcg() not a recording: " + path.toStdString());
        refuseImport(QStringLiteral("It is neither an ECG recording nor a DICOM file."));
        break;
    }
}

void ImportExport::importDcm(const QUrl& url)
{
    importEcg(url);
}

void ImportExport::refuseImport(const QString& reason)
{
    // Nothing is left for an assignment to copy.
    if (m_engine.importHandOver)
        *m_engine.importHandOver = ImportHandOver();
    m_items.set<P::BusyIndicatorRunning>(false);
    m_items.set<P::FromImport>(false);
    m_items.invoke<C::QmlAlertBoxFileReadError>(reason);
}

void ImportExport::importRecording(const QString& path)
{
    // The user's file is only read, never changed.
    CFileEcg file;
    if (!file.openFileReadOnly(path.toStdString())) {
        refuseImport();
        return;
    }
    if (file.getRecordCount() <= 0) {
        debugLogError("CQmlInterface::importEcg() no samples in " + path.toStdString());
        file.close();
        refuseImport();
        return;
    }
    ImportHandOver handed{path, QString(), 0, {}};
    PatientFormValues& patient = handed.patient;
    patient.name = QString::fromStdString(file.patientName);
    patient.ownerFirst = QString::fromStdString(file.ownerFirstName);
    patient.ownerLast = QString::fromStdString(file.ownerLastName);
    patient.extId = QString::fromStdString(file.extPatientId);
    patient.species = file.speciesCode;
    patient.sex = file.genderCode;
    patient.birthdate = birthdateOfHeader(file.patientBirthdate);
    patient.weightUnit = m_engine.settings->weightUnitIsPound;
    handed.startTime = file.recordingTime;
    file.close();

    m_patients.lookUpSpecies(patient, false);
    handOver(handed);
}

void ImportExport::importDicom(const QString& path)
{
    m_items.set<P::BusyIndicatorRunning>(true);
    const QString tmpFolder = QDir(m_engine.files->dataFolder()).filePath(QStringLiteral("tmp"));
    QString baseName = exportpaths::safeFileNamePart(QFileInfo(path).completeBaseName());
    if (baseName.isEmpty() || baseName == QLatin1String(".."))
        baseName = QStringLiteral("import");
    const QString tmpPath = QDir(tmpFolder).filePath(baseName + QStringLiteral(".ecg"));

    // A refused import leaves the data folder as it was.
    const Destination converted(tmpPath);
    CDcmFile dcm;
    if (!QDir().mkpath(tmpFolder) || !dcm.dicomToEcgConversion(QUrl::fromLocalFile(path), tmpPath)) {
        debugLogError("error opening file");
        converted.removeIfWritten();
        refuseImport(dcm.refusalReason);
        return;
    }
    CFileEcg file;
    bool opened = file.openFileReadOnly(tmpPath.toStdString());
    const qint64 startTime = file.recordingTime;
    if (opened) {
        opened = file.getRecordCount() > 0;
        file.close();
    }
    if (!opened || !m_items.ensureBound(Item::PatientView)) {
        debugLogError("error opening file");
        QFile::remove(tmpPath);
        refuseImport();
        return;
    }

    ImportHandOver handed{tmpPath, tmpPath, startTime, {}};
    PatientFormValues& patient = handed.patient;
    patient.name = dcm.patientName;
    patient.extId = dcm.patientId;
    patient.ownerFirst = dcm.ownerFirstName;
    patient.ownerLast = dcm.ownerLastName;
    patient.sex = dcm.genderCode;
    patient.birthdate = dcm.birthTs;
    // Decimals stay: a small cat weighs less than a kilogram.
    patient.weight = dcm.weight.trimmed().toFloat();
    patient.weightUnit = 0;
    patient.speciesName = dcm.speciesDescription;
    patient.breed = dcm.breedDescription;

    m_patients.lookUpSpecies(patient, true);
    handOver(handed);
    m_items.set<P::BusyIndicatorRunning>(false);
}

void ImportExport::handOver(const ImportHandOver& handed)
{
    if (m_engine.importHandOver)
        *m_engine.importHandOver = handed;
    if (!m_items.ensureBound(Item::PatientView))
        return;
    if (m_items.isBound(Item::ToolsView)) {
        m_items.set<P::ToolsOpenedAccordion>(3);
        m_items.set<P::ToolsVisible>(false);
    }
    m_items.set<P::PatEditExistingPatient>(false);
    m_items.set<P::PatVisible>(true);
    m_items.set<P::PatOpenedAccordion>(3);
    m_items.set<P::PatHeaderLabel>(QStringLiteral("New Patient ?"));
    m_items.set<P::PatNumberOfEcgsToPatient>(-1);
    m_items.set<P::FromImport>(true);
    // The form shows the file's patient; the current patient stays the shown one.
    m_patients.populateDrawerForImport(handed.patient);
    m_items.invoke<C::PatDoReload>();
}
