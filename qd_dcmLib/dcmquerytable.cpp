#include "dcmquerytable.h"

#include "dcmwvfpluginorv.h"
#include "debuglog.h"
#include "fileecg.h"
#include "sqlutil.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <charconv>
#include <cmath>
#include <algorithm>

namespace DcmQueryValues {

std::int64_t timeStamp(const std::string& dateTime)
{
    if (dateTime.size() < 8)
        return 0;
    std::string time;
    for (size_t i = 8; i < dateTime.size() && time.size() < 6; ++i) {
        if (dateTime[i] < '0' || dateTime[i] > '9')
            break;
        time += dateTime[i];
    }
    time.resize(6, '0');
    const std::int64_t seconds = CFileEcg::utcSecondsOf(dateTime.substr(0, 8) + time);
    return seconds > 0 ? seconds : 0;
}

int speciesNumber(const std::string& species)
{
    static const char* const names[] = {"equine", "canine", "feline", "other", "Alpaca",
                                        "Avian", "Cow", "Ferret", "Goat", "GuineaPig",
                                        "Lizard", "Llama", "Porcine", "Primate", "Rabbit",
                                        "Reptile", "Rodent", "Sheep", "Small Mammal", "Snake"};
    // ASCII case folding only: the process locale must not change the match.
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (int i = 0; i < 20; ++i) {
        const std::string name = names[i];
        if (name.size() == species.size()
            && std::equal(name.begin(), name.end(), species.begin(),
                          [&](char a, char b) { return lower(a) == lower(b); }))
            return i + 1;
    }
    return 0;
}

int sexNumber(const std::string& sex, const std::string& neutered)
{
    // The import's rule, so that a patient from a list row and one from a file agree.
    const int code = CDcmWvfPluginOrv::genderCodeOf(sex, neutered);
    return code >= 1 && code <= 4 ? code : 0;
}

double weight(const std::string& text)
{
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos)
        return 0;
    if (text[begin] == '+')
        ++begin;
    double value = 0;
    // from_chars reads the C form whatever the process locale is; like atof
    // it takes the number at the front and ignores what follows.
    const auto result = std::from_chars(text.data() + begin, text.data() + text.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value) || value < 0)
        return 0;
    const float single = static_cast<float>(value);
    if (!std::isfinite(single))
        return 0;
    return QString::number(single, 'g', 6).toDouble();
}

}

QString CDcmQueryTable::tableName(bool worklist)
{
    return worklist ? QStringLiteral("worklistTable") : QStringLiteral("pacsTable");
}

int CDcmQueryTable::replaceRows(const QSqlDatabase& db, bool worklist, CDcmFindScu& scu,
                                std::string& errorText)
{
    const QString table = tableName(worklist);
    auto failed = [&](const std::string& what, const QSqlError& error) {
        errorText = "CDcmQueryTable::replaceRows() " + what + " " + table.toStdString()
            + " failed, error=" + error.text().toStdString();
        debugLogError(errorText);
        return -1;
    };

    // The delete and the inserts stand or fall together: a failure keeps the
    // rows of the last query that was written whole.
    CDbTransaction transaction(db);
    if (!transaction.isActive())
        return failed("begin on", db.lastError());
    QSqlQuery query(db);
    if (!query.exec("delete from " + table))
        return failed("delete from", query.lastError());

    int idx = 0;
    if (scu.firstResponse()) {
        if (!query.prepare("insert into " + table
                           + " (idx, extId, tsStudy, patientName, ownerFirst, ownerLast, accno, "
                             "sUuid, species, breed, sex, birthdate, weight, weightUnit) values "
                             "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)"))
            return failed("prepare insert into", query.lastError());
        auto text = [](const std::string& s) {
            return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
        };
        NsCDcmFindScu::TResponseRecord r;
        while (scu.nextResponse(&r)) {
            query.bindValue(0, idx);
            query.bindValue(1, text(r.patientId));
            query.bindValue(2, qint64(DcmQueryValues::timeStamp(r.studyDateTime)));
            query.bindValue(3, text(r.patientName));
            query.bindValue(4, text(r.ownerFirst));
            query.bindValue(5, text(r.ownerLast));
            query.bindValue(6, text(r.accessionNumber));
            query.bindValue(7, text(r.studyInstanceUid));
            query.bindValue(8, DcmQueryValues::speciesNumber(r.species));
            query.bindValue(9, text(r.breed));
            query.bindValue(10, DcmQueryValues::sexNumber(r.sex, r.sexNeutered));
            query.bindValue(11, qint64(r.birthDate.empty()
                                           ? 0
                                           : DcmQueryValues::timeStamp(r.birthDate.substr(0, 8))));
            query.bindValue(12, DcmQueryValues::weight(r.weight));
            if (!query.exec())
                return failed("insert into", query.lastError());
            ++idx;
        }
    }
    query.finish();
    if (!transaction.commit())
        return failed("commit on", db.lastError());
    return idx;
}

int runDcmQueryJob(const DcmQueryRequest& request, const QSqlDatabase& db,
                   std::string& errorText, int* rowsWritten, DcmFailure* failure)
{
    int rows = 0;
    CDcmFindScu scu(10000, request.applicationType);
    scu.setTimeouts(request.acseTimeout, request.dimseTimeout);
    scu.setLimits(request.totalSeconds, request.maxBytes);
    scu.setCancel(request.cancel);
    const int result = request.worklist
        ? scu.getWorklist(request.host, request.port, request.calledAeTitle,
                          request.callingAeTitle, request.patientId, request.patientName,
                          request.ownerFirst, request.ownerLast)
        : scu.getPacsEcgList(request.host, request.port, request.calledAeTitle,
                             request.callingAeTitle, request.patientId, request.patientName,
                             request.ownerFirst, request.ownerLast);
    int code = result;
    DcmFailure why = scu.failure();
    if (result >= 1) {
        errorText = "findScu(remoteIp=" + request.host + ", remotePort="
            + toStdString(request.port) + ", remoteAeTitle=" + request.calledAeTitle
            + ", localAeTitle=" + request.callingAeTitle + ", externalId=" + request.patientId
            + ") returned " + scu.getLastError();
        debugLogError(errorText);
    } else {
        std::string tableError;
        rows = CDcmQueryTable::replaceRows(db, request.worklist, scu, tableError);
        if (rows < 0) {
            rows = 0;
            errorText = tableError;
            code = kDcmErrResultTable;
            why.kind = DcmFailureKind::Other;
        }
    }
    if (failure)
        *failure = why;
    debugLog(2, "number response lines returned by getWmlList() is " + toStdString(rows));
    if (rowsWritten)
        *rowsWritten = rows;
    return code;
}
