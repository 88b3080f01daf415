#include "dcmexportpatient.h"

#include "dcmscheduler.h"
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
    patient = DcmExportPatient();
    QSqlQuery q(db);
    if (!runQuery(q,
                  QStringLiteral("select t2.patientName, t2.ownerLast, t2.ownerFirst, t2.extId, t2.sex, "
                                 "t2.birthdate, t2.species, t2.breed, t2.weight, t2.weightUnit "
                                 "from ecgTable t1 join patientTable t2 on t2.patientId=t1.patientId "
                                 "where t1.fileName=? and t1.patientId!=0"),
                  {fileName}, "loadExportPatient()"))
        return false;
    if (!q.next())
        return true; // no patient: the object names none
    patient.patientName = q.value(0).toString();
    patient.ownerLastName = q.value(1).toString();
    patient.ownerFirstName = q.value(2).toString();
    patient.patientId = q.value(3).toString();
    patient.genderCode = q.value(4).toInt();
    patient.birthTs = q.value(5).toLongLong();
    if (const int species = q.value(6).toInt(); species != 0)
        patient.speciesDescription = QString::fromStdString(CDcmWvfPluginOrv::speciesDescriptionOf(species));
    patient.breedDescription = q.value(7).toString();
    patient.weight = CDcmScheduler::weightInKg(q.value(8), q.value(9));
    return true;
}
