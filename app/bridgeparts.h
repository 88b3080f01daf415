#ifndef MALVORANT_BRIDGEPARTS_H
#define MALVORANT_BRIDGEPARTS_H

#include <QtCharts/QAbstractSeries>

#include <QString>

#include <array>
#include <cstdint>

struct AppFolders;
class CDbMan;
class CFileMan;
class CPatientMan;
class CSettingsMan;

// A patient's values as the patient form shows them. An import hands over
// those of the patient its file names, which is no patient of the database
// until the user saves the form.
struct PatientFormValues
{
    QString name;
    QString extId;
    QString ownerFirst;
    QString ownerLast;
    int species = 0;
    QString speciesName;
    int speciesListIdx = 0;
    int sex = 0;
    std::int64_t birthdate = 0;
    QString breed;
    int breedListIdx = -1;
    float weight = 0.0f;
    int weightUnit = 0;
};

// What an import leaves for the assignment of the new recording: the .ecg file
// to copy, a temporary file to remove after the copy (empty, or the source
// itself), the recording time of the imported file (Unix seconds, 0 = none),
// and the file's patient. An empty source path means there is nothing to
// assign. The current patient is never touched by an import: a cancelled one
// leaves the program as it was.
struct ImportHandOver
{
    QString sourcePath;
    QString temporaryPath;
    qint64 startTime = 0;
    PatientFormValues patient;
};

// The engine the bridge owns, as the units see it. Plain pointers: the bridge
// creates these once and they end with the process.
struct EngineParts
{
    const AppFolders* folders = nullptr;
    CDbMan* db = nullptr;
    CSettingsMan* settings = nullptr;
    CPatientMan* patients = nullptr;
    CFileMan* files = nullptr;
    ImportHandOver* importHandOver = nullptr;
};

// The program's own version and build, as published and logged.
inline constexpr char kAppVersion[] = "8.0.2";
inline constexpr char kAppBuild[] = "078";

#endif
