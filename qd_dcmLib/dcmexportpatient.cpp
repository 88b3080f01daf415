#include "dcmexportpatient.h"

#include "dcmscheduler.h"
#include "patientman.h"
#include "sqlexec.h"

#include <QSqlQuery>
#include <QVariant>

namespace {
std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}
} // namespace

TWaveformParams DcmExportPatient::params(const QString& studyUid) const
{
    TWaveformParams p;
    p.patientName = utf8(patientName);
    p.ownerLastName = utf8(ownerLastName);
    p.ownerFirstName = utf8(ownerFirstName);
    p.patientId = utf8(patientId);
    CDcmWvfPluginOrv::setSexOf(genderCode, p);
    p.patientBirthDate = CDcmWvfPluginOrv::birthDateOf(birthTs);
    p.speciesDescription = utf8(speciesDescription);
    p.breedDescription = utf8(breedDescription);
    p.weight = utf8(weight);
    p.studyInstanceUid = utf8(studyUid);
    return p;
}

bool loadExportPatient(const QSqlDatabase& db, const QString& fileName, DcmExportPatient& patient)
{
    const char* const where = "loadExportPatient()";
    patient = DcmExportPatient();
    QSqlQuery q(db);
    if (!runQuery(q, QStringLiteral("select patientId from ecgTable where fileName=? and patientId!=0"),
                  {fileName}, where))
        return false;
    if (!q.next())
        return true; // no patient: the object names none
    PatientRecord row;
    const RowRead read = readPatientRecord(db, q.value(0).toInt(), row, where);
    if (read != RowRead::Found)
        return read == RowRead::Missing; // a patient gone names none
    patient.patientName = row.name;
    patient.ownerLastName = row.ownerLast;
    patient.ownerFirstName = row.ownerFirst;
    patient.patientId = row.extId;
    patient.genderCode = row.sex;
    patient.birthTs = row.birthdate;
    if (row.species != 0)
        patient.speciesDescription = QString::fromStdString(CDcmWvfPluginOrv::speciesDescriptionOf(row.species));
    patient.breedDescription = row.breed;
    patient.weight = CDcmScheduler::weightInKg(row.weight, row.weightUnit);
    return true;
}
