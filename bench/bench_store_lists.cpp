// The store at clinic size: 100,000 patients and 100,000 recordings, then the
// list queries the QML lists run and a settings save.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "dbman.h"
#include "settingsman.h"
#include "sqlquerymodel.h"
#include "sqlutil.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
const int kPatients = 100000;
const int kRecordings = 100000;
const int kRuns = 7;

void print(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Median of several runs, in milliseconds.
double medianMs(const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// What a list shows first: the query, the row count and the first screen of rows.
void showList(CSqlQueryModel& model, const std::function<void(CSqlQueryModel&)>& setQuery)
{
    setQuery(model);
    if (model.lastError().isValid()) {
        std::fprintf(stderr, "query failed: %s\n", qPrintable(model.lastError().text()));
        std::exit(1);
    }
    const int rows = model.rowCount();
    const QList<int> roles = model.roleNames().keys();
    for (int r = 0; r < std::min(rows, 30); ++r)
        for (int role : roles)
            model.data(model.index(r, 0), role);
}

QString name(QRandomGenerator& rng)
{
    static const char* const syllables[] = {"ba", "lo", "ri", "ne", "ko", "sa", "mi", "tu", "el", "da"};
    QString s;
    const int n = 2 + rng.bounded(3);
    for (int i = 0; i < n; ++i)
        s += QLatin1String(syllables[rng.bounded(10)]);
    s[0] = s[0].toUpper();
    return s;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    int from = -1, to = -1;
    CDbMan db(dir.path() + "/", from, to);
    if (!db.isOk()) {
        std::fprintf(stderr, "%s\n", qPrintable(db.errorText()));
        return 1;
    }
    CSettingsMan settings("MalvorantQml", db.database(), from, to);
    QSqlDatabase& h = *db.database();
    QRandomGenerator rng(42);

    QElapsedTimer fill;
    fill.start();
    {
        CDbTransaction t(h);
        QSqlQuery q(h);
        q.prepare("insert into speciesTable values (?, ?, 0)");
        for (int i = 0; i <= 20; ++i) {
            q.addBindValue(i);
            q.addBindValue(QString("Species %1").arg(i));
            q.exec();
        }
        q.prepare("insert into patientTable (patientName, extId, ownerFirst, ownerLast, species, sex, "
                  "birthdate, breed, weight, weightUnit, tsLastChanged) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (int i = 0; i < kPatients; ++i) {
            q.addBindValue(name(rng));
            q.addBindValue(QString("P%1").arg(i));
            q.addBindValue(name(rng));
            q.addBindValue(name(rng));
            q.addBindValue(rng.bounded(21));
            q.addBindValue(rng.bounded(5));
            q.addBindValue(rng.bounded(400000000) + 1000000000);
            q.addBindValue(QString("Breed"));
            q.addBindValue(rng.bounded(400) / 10.0);
            q.addBindValue(rng.bounded(2));
            q.addBindValue(1700000000);
            if (!q.exec()) {
                std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
                return 1;
            }
        }
        q.prepare("insert into ecgTable (patientId, ecgTime, fileSize, fileName, qvlCaseStatus, tsLastChanged) "
                  "values (?, ?, ?, ?, ?, ?)");
        for (int i = 0; i < kRecordings; ++i) {
            const int patient = 1 + rng.bounded(kPatients);
            const int time = 1600000000 + rng.bounded(100000000);
            q.addBindValue(patient);
            q.addBindValue(time);
            q.addBindValue(30000);
            q.addBindValue(QString("%1_%2_20240101_120000.ecg").arg(patient).arg(i + 1));
            q.addBindValue(rng.bounded(10));
            q.addBindValue(time);
            if (!q.exec()) {
                std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
                return 1;
            }
        }
        if (!t.commit())
            return 1;
    }
    print("store_fill_200k_rows", fill.nsecsElapsed() / 1e6, "ms");

    CSqlQueryModel model;
    print("patient_list", medianMs([&] {
              showList(model, [](CSqlQueryModel& m) {
                  m.setQuery("SELECT * FROM patientViewQmlKx order by patientName COLLATE NOCASE asc, extId asc");
              });
          }),
          "ms");
    print("patient_search", medianMs([&] {
              showList(model, [](CSqlQueryModel& m) {
                  m.setBoundQuery("SELECT * FROM patientViewQmlKx where patientName like ? or extId like ? "
                                  "order by patientName COLLATE NOCASE asc, extId asc",
                                  {"%Balo%", "%Balo%"});
              });
          }),
          "ms");
    print("recording_list", medianMs([&] {
              showList(model, [](CSqlQueryModel& m) {
                  m.setQuery("SELECT * FROM ecgViewQmlKx order by studyDate desc");
              });
          }),
          "ms");
    print("recording_list_patient", medianMs([&] {
              showList(model, [](CSqlQueryModel& m) {
                  m.setBoundQuery("SELECT * FROM ecgViewQmlKx where patientId=? order by studyDate desc",
                                  {QVariant(4711)});
              });
          }),
          "ms");
    // Scrolling to the end: every row of the recording list fetched.
    print("recording_list_all_rows", medianMs([&] {
              model.setQuery("SELECT * FROM ecgViewQmlKx order by studyDate desc");
              while (model.canFetchMore())
                  model.fetchMore();
              if (model.rowCount() != kRecordings)
                  std::exit(1);
          }),
          "ms");
    print("settings_save", medianMs([&] {
              settings.gain += 1;
              settings.qvlPwd = "secret";
              if (!settings.saveSettings(0x1 | 0x2 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80 | 0x100))
                  std::exit(1);
          }),
          "ms");
    return 0;
}
